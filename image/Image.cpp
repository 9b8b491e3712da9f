// The image library: CImage construction and tile transfer, CLut and CColor.
//
// The pixel store is interleaved and top-down with rows packed (no padding), so that
// an interleaved map in the image's mode -- what conversion, the codecs and the
// transforms mostly exchange -- moves row by row with memcpy. Planar maps are split
// and joined one pass per row.
#include "image/Image.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// ---- CLut ----

CLut::CLut(CLut const& other) : colorCount(other.colorCount)
{
    std::memcpy(entries, other.entries, sizeof entries);
}

CLut& CLut::operator=(CLut const& other)
{
    if (this != &other) {
        std::memcpy(entries, other.entries, sizeof entries);
        colorCount = other.colorCount;
    }
    return *this;
}

LutColor& CLut::operator[](unsigned index)
{
    index &= 0xFF;
    if (colorCount < static_cast<int>(index) + 1)
        colorCount = static_cast<int>(index) + 1;
    return entries[index];
}

LutColor const& CLut::operator[](unsigned index) const
{
    return entries[index & 0xFF];
}

// ---- CColor ----

CColor::CColor(colorName name) : mode(IM_RGB), color{0, 0, 0, 0, 0, 0, 0, 0}
{
    auto rgb = [this](unsigned char r, unsigned char g, unsigned char b) {
        color[0] = r;
        color[1] = g;
        color[2] = b;
    };
    switch (name) {
    case CN_TRANSPARENT: mode = IM_RGB | IM_ALPHA; break;
    case CN_WHITE: rgb(255, 255, 255); break;
    case CN_RED: rgb(255, 0, 0); break;
    case CN_GREEN: rgb(0, 255, 0); break;
    case CN_BLUE: rgb(0, 0, 255); break;
    case CN_GRAY: rgb(128, 128, 128); break;
    case CN_BLACK:
    default: break;
    }
}

CColor::CColor(CColor const& other) : mode(other.mode)
{
    std::memcpy(color, other.color, sizeof color);
}

CColor& CColor::operator=(CColor const& other)
{
    mode = other.mode;
    std::memmove(color, other.color, sizeof color);
    return *this;
}

CColor::CColor(IMAGE_MODE m, const unsigned char* components, int count) : mode(m), color{0, 0, 0, 0, 0, 0, 0, 0}
{
    if (components && count > 0)
        std::memcpy(color, components, static_cast<size_t>(std::min(count, 8)));
}

// ---- CImage ----

namespace {

// Where plane p of a map lives: interleaved maps address every channel through
// descriptor 0 plus the channel's byte offset.
struct PlaneView {
    unsigned char* data;
    long step;      // bytes between horizontal neighbours
    long rowStride; // bytes between rows
};

PlaneView ViewOf(CPixMap const& map, int p, int bytesPerSample)
{
    if (map.interleaved) {
        PlaneDesc const& d = map.plane[0];
        return PlaneView{d.data ? d.data + p * bytesPerSample : nullptr, static_cast<long>(d.step) * bytesPerSample,
                         d.rowStride};
    }
    PlaneDesc const& d = map.plane[p];
    return PlaneView{d.data, static_cast<long>(d.step) * bytesPerSample, d.rowStride};
}

// The rectangle of a transfer that lies inside the image, in image coordinates.
struct Span {
    int x0, x1, y0, y1;
    bool Empty() const { return x0 >= x1 || y0 >= y1; }
};

Span Clip(int x, int y, int w, int h, int width, int height)
{
    long long x0 = std::max<long long>(x, 0), y0 = std::max<long long>(y, 0);
    long long x1 = std::min<long long>(static_cast<long long>(x) + w, width);
    long long y1 = std::min<long long>(static_cast<long long>(y) + h, height);
    if (x1 < x0)
        x1 = x0;
    if (y1 < y0)
        y1 = y0;
    return Span{static_cast<int>(x0), static_cast<int>(x1), static_cast<int>(y0), static_cast<int>(y1)};
}

void StoreSample(unsigned char* d, unsigned value, int bytes)
{
    d[0] = static_cast<unsigned char>(value);
    if (bytes == 2)
        d[1] = static_cast<unsigned char>(value >> 8);
}

// Fills columns [c0, c1) of map row r of plane view v with value.
void FillRun(PlaneView const& v, int r, int c0, int c1, unsigned value, int bytes)
{
    unsigned char* d = v.data + static_cast<long>(r) * v.rowStride + c0 * v.step;
    for (int c = c0; c < c1; ++c, d += v.step)
        StoreSample(d, value, bytes);
}

// Image-store rows -> map plane, or back (toImage), for `count` pixels of `rows` rows.
template <bool toImage>
void MovePlaneSamples(unsigned char* imageRow, size_t imageRowBytes, int planes, int p, int bytes, PlaneView const& v,
                      unsigned char* mapRow, int count, int rows)
{
    const long imageStep = static_cast<long>(planes) * bytes;
    for (int r = 0; r < rows; ++r, imageRow += imageRowBytes, mapRow += v.rowStride) {
        unsigned char* s = imageRow + p * bytes;
        unsigned char* m = mapRow;
        if (bytes == 1) {
            if (v.step == 1) {
                for (int x = 0; x < count; ++x, s += imageStep) {
                    if (toImage)
                        *s = m[x];
                    else
                        m[x] = *s;
                }
            } else {
                for (int x = 0; x < count; ++x, s += imageStep, m += v.step) {
                    if (toImage)
                        *s = *m;
                    else
                        *m = *s;
                }
            }
        } else {
            for (int x = 0; x < count; ++x, s += imageStep, m += v.step) {
                if (toImage) {
                    s[0] = m[0];
                    s[1] = m[1];
                } else {
                    m[0] = s[0];
                    m[1] = s[1];
                }
            }
        }
    }
}

// Splits interleaved 8-bit pixels into planes (or joins them, toImage) in one pass
// per row; for planar maps with step 1 and two to four planes.
template <bool toImage, int P>
void MovePlanar8(unsigned char* imageRow, size_t imageRowBytes, PlaneView const* views, int x0map, int y0map, int count,
                 int rows)
{
    unsigned char* rowsOf[P];
    for (int p = 0; p < P; ++p)
        rowsOf[p] = views[p].data + static_cast<long>(y0map) * views[p].rowStride + x0map;
    for (int r = 0; r < rows; ++r, imageRow += imageRowBytes) {
        const unsigned char* s = imageRow;
        unsigned char* si = imageRow;
        for (int x = 0; x < count; ++x) {
            for (int p = 0; p < P; ++p) {
                if (toImage)
                    si[x * P + p] = rowsOf[p][x];
                else
                    rowsOf[p][x] = s[x * P + p];
            }
        }
        for (int p = 0; p < P; ++p)
            rowsOf[p] += views[p].rowStride;
    }
}

// Large stores are filled once right after allocation (by a codec or a conversion).
// With 4 KiB pages that first touch costs one page fault per 4 KiB, which dominates
// loading or converting a large image (on virtual machines a fault costs ~10 us),
// so large stores ask for transparent huge pages.
//
// Stores of kMappedStore bytes and more, which the C library would map on their
// own anyway, are mapped here: on a 2 MiB boundary and rounded up to whole 2 MiB,
// so that every fault brings in 2 MiB, including the first and last, which an
// unaligned block takes 4 KiB at a time. Fresh anonymous pages are zero. Smaller
// stores come from calloc, whose heap hands freed blocks back to the next image
// without faulting them in again; of those, the ones of kAdvisedStore bytes and
// more get the advice on their aligned interior.
const size_t kHugePage = size_t{1} << 21;
const size_t kAdvisedStore = 4 * kHugePage;
const size_t kMappedStore = 16 * kHugePage;

void AdviseHugePages(unsigned char* block, size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes < kAdvisedStore)
        return;
    const uintptr_t first = (reinterpret_cast<uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t last = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kHugePage - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE); // advice only
#else
    (void)block;
    (void)bytes;
#endif
}

size_t MappedLength(size_t bytes)
{
    return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

// A zeroed block of at least bytes (>= kMappedStore), or nullptr.
unsigned char* MapStore(size_t bytes)
{
#if defined(__linux__)
    if (bytes > SIZE_MAX - 2 * kHugePage)
        return nullptr;
    const size_t length = MappedLength(bytes);
    void* block = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        return nullptr;
    // Keep the 2 MiB-aligned length bytes; give back the slack on either side.
    const uintptr_t begin = reinterpret_cast<uintptr_t>(block);
    const uintptr_t aligned = (begin + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > begin)
        munmap(block, aligned - begin);
    const uintptr_t end = begin + length + kHugePage;
    if (end > aligned + length)
        munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
#if defined(MADV_HUGEPAGE)
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE); // advice only
#endif
    return reinterpret_cast<unsigned char*>(aligned);
#else
    (void)bytes;
    return nullptr;
#endif
}

void UnmapStore(unsigned char* block, size_t bytes)
{
#if defined(__linux__)
    munmap(block, MappedLength(bytes));
#else
    (void)block;
    (void)bytes;
#endif
}

} // namespace

CImage::CImage(IMAGE_MODE m, int w, int h, double resolution)
    : mode(m), width(w), height(h), planes(ModePlaneCount(m)), dpi(resolution), storeOwned(false), storeMapped(false),
      store(nullptr)
{
    size_t rowBytes = StoreRowBytes();
    if (rowBytes == 0 || h < 1)
        return;
    if (rowBytes > SIZE_MAX / static_cast<size_t>(h))
        throw std::bad_alloc();
    const size_t bytes = rowBytes * static_cast<size_t>(h);
    if (bytes >= kMappedStore) {
        store = MapStore(bytes);
        storeMapped = store != nullptr;
    }
    if (!store) {
        store = static_cast<unsigned char*>(std::calloc(bytes, 1));
        if (!store)
            throw std::bad_alloc();
        AdviseHugePages(store, bytes);
    }
    storeOwned = true;
}

void CImage::FreeStore()
{
    if (storeMapped)
        UnmapStore(store, StoreRowBytes() * static_cast<size_t>(height));
    else
        std::free(store);
    store = nullptr;
    storeOwned = false;
    storeMapped = false;
}

size_t CImage::StoreRowBytes() const
{
    if (width < 1 || planes < 1)
        return 0;
    return static_cast<size_t>(width) * static_cast<size_t>(planes) * static_cast<size_t>(GetBitsPerPlane() / 8);
}

void CImage::GetBuf(int x, int y, CPixMap& map, maskMethod method, int /*flag*/)
{
    const int bits = GetBitsPerPlane();
    if (map.width <= 0 || map.height <= 0 || (bits != 8 && bits != 16) || map.bits != bits)
        return;
    const int bytes = bits / 8;
    const int count = std::min(map.planes, planes);
    PlaneView views[4];
    for (int p = 0; p < count; ++p)
        views[p] = ViewOf(map, p, bytes);

    const Span in = Clip(x, y, map.width, map.height, width, height);

    // Samples outside the image: the mask colour (method 1) or 0 (method 3).
    if (method != MM_CLIP) {
        for (int p = 0; p < count; ++p) {
            if (!views[p].data)
                continue;
            unsigned value = 0;
            if (method == MM_MASK_COLOR) {
                const unsigned char* c = maskColor.GetColor();
                value = bytes == 1 ? c[p] : static_cast<unsigned>(c[2 * p] | (c[2 * p + 1] << 8));
            }
            for (int r = 0; r < map.height; ++r) {
                long long iy = static_cast<long long>(y) + r;
                if (in.Empty() || iy < in.y0 || iy >= in.y1) {
                    FillRun(views[p], r, 0, map.width, value, bytes);
                } else {
                    FillRun(views[p], r, 0, in.x0 - x, value, bytes);
                    FillRun(views[p], r, in.x1 - x, map.width, value, bytes);
                }
            }
        }
    }
    if (in.Empty() || !store)
        return;

    const size_t rowBytes = StoreRowBytes();
    unsigned char* imageRow = store + static_cast<size_t>(in.y0) * rowBytes + static_cast<size_t>(in.x0) * planes * bytes;
    const int mx = in.x0 - x, my = in.y0 - y, n = in.x1 - in.x0, rows = in.y1 - in.y0;

    if (map.interleaved && count == planes && map.plane[0].data && map.plane[0].step == planes) {
        unsigned char* d = map.plane[0].data + static_cast<long>(my) * map.plane[0].rowStride + static_cast<long>(mx) * planes * bytes;
        const size_t len = static_cast<size_t>(n) * planes * bytes;
        for (int r = 0; r < rows; ++r, imageRow += rowBytes, d += map.plane[0].rowStride)
            std::memcpy(d, imageRow, len);
        return;
    }
    bool planar8 = !map.interleaved && bytes == 1 && count == planes;
    for (int p = 0; planar8 && p < count; ++p)
        planar8 = views[p].data && views[p].step == 1;
    if (planar8 && planes == 3) {
        MovePlanar8<false, 3>(imageRow, rowBytes, views, mx, my, n, rows);
        return;
    }
    if (planar8 && planes == 4) {
        MovePlanar8<false, 4>(imageRow, rowBytes, views, mx, my, n, rows);
        return;
    }
    for (int p = 0; p < count; ++p) {
        if (!views[p].data)
            continue;
        unsigned char* m = views[p].data + static_cast<long>(my) * views[p].rowStride + mx * views[p].step;
        MovePlaneSamples<false>(imageRow, rowBytes, planes, p, bytes, views[p], m, n, rows);
    }
}

void CImage::SetBuf(int x, int y, CPixMap& map, maskMethod /*method*/, int /*flag*/)
{
    const int bits = GetBitsPerPlane();
    if (map.width <= 0 || map.height <= 0 || (bits != 8 && bits != 16) || map.bits != bits || !store)
        return;
    const int bytes = bits / 8;
    const int count = std::min(map.planes, planes);
    const Span in = Clip(x, y, map.width, map.height, width, height);
    if (in.Empty())
        return;
    PlaneView views[4];
    for (int p = 0; p < count; ++p)
        views[p] = ViewOf(map, p, bytes);

    const size_t rowBytes = StoreRowBytes();
    unsigned char* imageRow = store + static_cast<size_t>(in.y0) * rowBytes + static_cast<size_t>(in.x0) * planes * bytes;
    const int mx = in.x0 - x, my = in.y0 - y, n = in.x1 - in.x0, rows = in.y1 - in.y0;

    if (map.interleaved && count == planes && map.plane[0].data && map.plane[0].step == planes) {
        const unsigned char* s =
            map.plane[0].data + static_cast<long>(my) * map.plane[0].rowStride + static_cast<long>(mx) * planes * bytes;
        const size_t len = static_cast<size_t>(n) * planes * bytes;
        for (int r = 0; r < rows; ++r, imageRow += rowBytes, s += map.plane[0].rowStride)
            std::memcpy(imageRow, s, len);
        return;
    }
    bool planar8 = !map.interleaved && bytes == 1 && count == planes;
    for (int p = 0; planar8 && p < count; ++p)
        planar8 = views[p].data && views[p].step == 1;
    if (planar8 && planes == 3) {
        MovePlanar8<true, 3>(imageRow, rowBytes, views, mx, my, n, rows);
        return;
    }
    if (planar8 && planes == 4) {
        MovePlanar8<true, 4>(imageRow, rowBytes, views, mx, my, n, rows);
        return;
    }
    for (int p = 0; p < count; ++p) {
        if (!views[p].data)
            continue;
        unsigned char* m = views[p].data + static_cast<long>(my) * views[p].rowStride + mx * views[p].step;
        MovePlaneSamples<true>(imageRow, rowBytes, planes, p, bytes, views[p], m, n, rows);
    }
}
