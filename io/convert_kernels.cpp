// Colour kernels of the mode conversion: grey expansion, palette lookup, HLS, HSV
// and Y/Cb/Cr to 8-bit RGB, each as a per-pixel reference and a fast tile loop.
//
// Hue runs over 384 positions (1.5 x the 8-bit sample, rounded half up): six sectors
// of 64. Y/Cb/Cr is the JFIF conversion in 16.16 fixed point.
#include "io/convert_kernels.h"

#include <algorithm>
#include <cstring>

namespace convert {

namespace {

template <typename T, typename F>
constexpr std::array<T, 256> MakeTable(F entry)
{
    std::array<T, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[static_cast<size_t>(i)] = static_cast<T>(entry(i));
    return t;
}

// Arithmetic shift right of a possibly negative value, rounding down, without
// relying on the implementation's >> of negative numbers.
constexpr std::int32_t FloorShift16(std::int64_t v)
{
    return static_cast<std::int32_t>(v >= 0 ? v / 65536 : -((-v + 65535) / 65536));
}

inline unsigned char Clamp255(int v)
{
    return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
}

} // namespace

const std::array<std::int16_t, 256> kHue = MakeTable<std::int16_t>([](int i) { return (3 * i + 1) / 2; });
const std::array<std::int16_t, 256> kCrToRed =
    MakeTable<std::int16_t>([](int i) { return FloorShift16(91881LL * (i - 128) + 32768); });
const std::array<std::int16_t, 256> kCbToBlue =
    MakeTable<std::int16_t>([](int i) { return FloorShift16(116130LL * (i - 128) + 32768); });
const std::array<std::int32_t, 256> kCrToGreen = MakeTable<std::int32_t>([](int i) { return -46802 * (i - 128); });
const std::array<std::int32_t, 256> kCbToGreen =
    MakeTable<std::int32_t>([](int i) { return -22554 * (i - 128) + 32768; });

PaletteTables::PaletteTables(CLut const& lut)
{
    std::fill(std::begin(red), std::end(red), 0);
    std::fill(std::begin(green), std::end(green), 0);
    std::fill(std::begin(blue), std::end(blue), 0);
    const int count = std::min(lut.GetColors(), 256);
    for (int i = 0; i < count; ++i) {
        LutColor const& c = lut[static_cast<unsigned>(i)];
        red[i] = c.red;
        green[i] = c.green;
        blue[i] = c.blue;
    }
    for (int i = 0; i < 256; ++i) {
        const unsigned char bytes[4] = {red[i], green[i], blue[i], 0};
        std::memcpy(&packed[i], bytes, 4);
    }
}

// ---- per-pixel references ----

void ReferenceHls(int hue, int lightness, int saturation, unsigned char rgb[3])
{
    const int h = kHue[static_cast<size_t>(hue)];
    const int L = lightness, S = saturation;
    if (S == 0) {
        rgb[0] = rgb[1] = rgb[2] = static_cast<unsigned char>(L);
        return;
    }
    // m2 reaches 256 for L 128, S 255; such a component is stored as 255.
    const int m2 = L <= 128 ? (L * (255 + S)) / 255 : L + S - (L * S) / 255;
    const int m1 = 2 * L - m2;
    const int d = m2 - m1;
    int r, g, b;
    switch (h / 64) {
    case 0: r = m2; g = m1 + (d * h) / 64; b = m1; break;
    case 1: r = m1 + (d * (128 - h)) / 64; g = m2; b = m1; break;
    case 2: r = m1; g = m2; b = m1 + (d * (h - 128)) / 64; break;
    case 3: r = m1; g = m1 + (d * (256 - h)) / 64; b = m2; break;
    case 4: r = m1 + (d * (h - 256)) / 64; g = m1; b = m2; break;
    default: r = m2; g = m1; b = m1 + (d * (384 - h)) / 64; break;
    }
    rgb[0] = static_cast<unsigned char>(std::min(r, 255));
    rgb[1] = static_cast<unsigned char>(std::min(g, 255));
    rgb[2] = static_cast<unsigned char>(std::min(b, 255));
}

void ReferenceHsv(int hue, int saturation, int value, unsigned char rgb[3])
{
    const int h = kHue[static_cast<size_t>(hue)];
    const int S = saturation, V = value;
    if (S == 0) {
        rgb[0] = rgb[1] = rgb[2] = static_cast<unsigned char>(V);
        return;
    }
    const int f = h % 64;
    const int p = ((255 - S) * V) / 255;
    const int q = ((255 - (f * S) / 63) * V) / 255;
    const int t = ((255 - ((63 - f) * S) / 63) * V) / 255;
    int r, g, b;
    switch (h / 64) {
    case 0: r = V; g = t; b = p; break;
    case 1: r = q; g = V; b = p; break;
    case 2: r = p; g = V; b = t; break;
    case 3: r = p; g = q; b = V; break;
    case 4: r = t; g = p; b = V; break;
    default: r = V; g = p; b = q; break;
    }
    rgb[0] = static_cast<unsigned char>(r);
    rgb[1] = static_cast<unsigned char>(g);
    rgb[2] = static_cast<unsigned char>(b);
}

void ReferenceYcc(int y, int cb, int cr, unsigned char rgb[3])
{
    rgb[0] = Clamp255(y + kCrToRed[static_cast<size_t>(cr)]);
    rgb[1] = Clamp255(y + FloorShift16(static_cast<std::int64_t>(kCbToGreen[static_cast<size_t>(cb)]) +
                                       kCrToGreen[static_cast<size_t>(cr)]));
    rgb[2] = Clamp255(y + kCbToBlue[static_cast<size_t>(cb)]);
}

void ReferenceKernel(Kernel kernel, TileArgs const& t, PaletteTables const* palette)
{
    const int bytes = kernel == Kernel::GreyExpand16 ? 2 : 1;
    for (int row = 0; row < t.height; ++row) {
        const unsigned char* s = t.src + static_cast<long>(row) * t.srcRowStride;
        unsigned char* d = t.dst + static_cast<long>(row) * t.dstRowStride;
        for (int x = 0; x < t.width; ++x) {
            const unsigned char* px = s + static_cast<long>(x * t.srcStep + t.srcOffset) * bytes;
            unsigned char* out = d + x * t.dstStep + t.dstOffset;
            switch (kernel) {
            case Kernel::GreyExpand8: out[0] = out[1] = out[2] = px[0]; break;
            case Kernel::GreyExpand16: out[0] = out[1] = out[2] = px[1]; break;
            case Kernel::Palette:
                out[0] = palette->red[px[0]];
                out[1] = palette->green[px[0]];
                out[2] = palette->blue[px[0]];
                break;
            case Kernel::Hls: ReferenceHls(px[0], px[1], px[2], out); break;
            case Kernel::Hsv: ReferenceHsv(px[0], px[1], px[2], out); break;
            case Kernel::Ycc: ReferenceYcc(px[0], px[1], px[2], out); break;
            }
        }
    }
}

// ---- fast tile loops ----
//
// The steps are template arguments (source 1 to 4 samples, target 3 or 4), so that
// the inner loops index with constants.

namespace {

struct GreyOp8 {
    void operator()(const unsigned char* px, unsigned char* out) const { out[0] = out[1] = out[2] = px[0]; }
};

struct GreyOp16 {
    void operator()(const unsigned char* px, unsigned char* out) const { out[0] = out[1] = out[2] = px[1]; }
};

struct PaletteOp {
    PaletteTables const* p;
    void operator()(const unsigned char* px, unsigned char* out) const
    {
        const unsigned v = px[0];
        out[0] = p->red[v];
        out[1] = p->green[v];
        out[2] = p->blue[v];
    }
};

// ---- colour rows in three passes ----
//
// HLS, HSV and YCC run a row at a time through small arrays: split the channels,
// compute with branch-free integer arithmetic over whole arrays (which the compiler
// turns into vector code), then select and interleave the results. Divisions by
// constants become the compiler's multiply-high sequences on 16-bit lanes.

const int kChunk = 256;

// The array passes are built three times on x86-64, for AVX-512 (x86-64-v4), for
// AVX2 and for the baseline, and the loader picks one per machine; where the
// processor has AVX-512 VBMI, FastKernel runs the loops of convert_kernels_vbmi.cpp
// instead (three-sample pixels, palette and grey expansion). The tests also
// build the kernels with CONVERT_BASELINE_ONLY (the code machines without AVX2
// run) and with CONVERT_AVX2_ONLY.
#if defined(CONVERT_BASELINE_ONLY)
#define CONVERT_CLONES
#elif defined(CONVERT_AVX2_ONLY)
#define CONVERT_CLONES __attribute__((target("avx2")))
#elif defined(__x86_64__) && (defined(__clang__) ? __clang_major__ >= 14 : defined(__GNUC__))
#define CONVERT_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#if defined(CONVERT_VBMI_BUILT)
#define CONVERT_VBMI 1
#endif
#else
#define CONVERT_CLONES
#endif

// 16-bit lanes throughout: every intermediate below fits in 16 bits.
inline std::uint16_t Div255(std::uint16_t x)
{
    return static_cast<std::uint16_t>(x / 255u);
}

inline std::uint16_t Div63(std::uint16_t x)
{
    return static_cast<std::uint16_t>(x / 63u);
}

// Channel split and join for 3- and 4-sample pixels (channels 0 to 2 of each).
#define CONVERT_SPLIT(name, step)                                                                                  \
    CONVERT_CLONES void name(const unsigned char* __restrict s, int n, unsigned char* __restrict c0,               \
                             unsigned char* __restrict c1, unsigned char* __restrict c2)                           \
    {                                                                                                              \
        for (int x = 0; x < n; ++x) {                                                                              \
            c0[x] = s[x * step];                                                                                   \
            c1[x] = s[x * step + 1];                                                                               \
            c2[x] = s[x * step + 2];                                                                               \
        }                                                                                                          \
    }
#define CONVERT_JOIN(name, step)                                                                                   \
    CONVERT_CLONES void name(unsigned char* __restrict d, int n, const unsigned char* __restrict r,                \
                             const unsigned char* __restrict g, const unsigned char* __restrict b)                 \
    {                                                                                                              \
        for (int x = 0; x < n; ++x) {                                                                              \
            d[x * step] = r[x];                                                                                    \
            d[x * step + 1] = g[x];                                                                                \
            d[x * step + 2] = b[x];                                                                                \
        }                                                                                                          \
    }
CONVERT_SPLIT(Split3, 3)
CONVERT_SPLIT(Split4, 4)
CONVERT_JOIN(Join3, 3)
CONVERT_JOIN(Join4, 4)

// Sector s places top, middle and bottom as (top, middle, bottom), (middle, top,
// bottom), (bottom, top, middle), (bottom, middle, top), (middle, bottom, top),
// (top, bottom, middle) in red, green, blue.
CONVERT_CLONES void Place(int n, const unsigned char* __restrict sector, const unsigned char* __restrict top,
           const unsigned char* __restrict mid, const unsigned char* __restrict bottom, unsigned char* __restrict r,
           unsigned char* __restrict g, unsigned char* __restrict b)
{
    // Branch-free: byte masks from comparisons, so that the loop runs as vector code.
    for (int x = 0; x < n; ++x) {
        const unsigned char s = sector[x];
        const unsigned char T = top[x], M = mid[x], B = bottom[x];
        const unsigned char rT = static_cast<unsigned char>(-((s == 0) | (s == 5)));
        const unsigned char rM = static_cast<unsigned char>(-((s == 1) | (s == 4)));
        const unsigned char gT = static_cast<unsigned char>(-((s == 1) | (s == 2)));
        const unsigned char gM = static_cast<unsigned char>(-((s == 0) | (s == 3)));
        const unsigned char bT = static_cast<unsigned char>(-((s == 3) | (s == 4)));
        const unsigned char bM = static_cast<unsigned char>(-((s == 2) | (s == 5)));
        r[x] = static_cast<unsigned char>((T & rT) | (M & rM) | (B & ~(rT | rM)));
        g[x] = static_cast<unsigned char>((T & gT) | (M & gM) | (B & ~(gT | gM)));
        b[x] = static_cast<unsigned char>((T & bT) | (M & bM) | (B & ~(bT | bM)));
    }
}

struct RowBuffers {
    alignas(32) unsigned char c0[kChunk], c1[kChunk], c2[kChunk];
    alignas(32) unsigned char sector[kChunk], k[kChunk];
    alignas(32) unsigned char top[kChunk], mid[kChunk], bottom[kChunk];
    alignas(32) unsigned char r[kChunk], g[kChunk], b[kChunk];
};

// HLS: in every sector one component is m2, one m1 and one m1 + (d x k) div 64.
// m2 = L + L*S div 255 for L <= 128 (the same as L (255 + S) div 255), else
// L + S - L*S div 255; it reaches 256 only for L 128, S 255, stored as 255.
CONVERT_CLONES void HlsChunk(RowBuffers& w, int n)
{
    // Hue h = (3 H + 1) div 2 in sector h div 64 at f = h mod 64: the ramp k runs
    // up (f) in even sectors and down (64 - f) in odd ones.
    for (int x = 0; x < n; ++x) {
        const std::uint16_t h = static_cast<std::uint16_t>((3 * w.c0[x] + 1) >> 1);
        const std::uint16_t sector = static_cast<std::uint16_t>(h >> 6), f = h & 63;
        w.sector[x] = static_cast<unsigned char>(sector);
        w.k[x] = static_cast<unsigned char>(sector & 1 ? 64 - f : f);
    }
    for (int x = 0; x < n; ++x) {
        const std::uint16_t L = w.c1[x], S = w.c2[x];
        const std::uint16_t ls = Div255(static_cast<std::uint16_t>(L * S));
        const std::uint16_t m2 = static_cast<std::uint16_t>(L <= 128 ? L + ls : L + S - ls);
        const std::uint16_t m1 = static_cast<std::uint16_t>(2 * L - m2);
        const std::uint16_t mid = static_cast<std::uint16_t>(m1 + (static_cast<std::uint16_t>((m2 - m1) * w.k[x]) >> 6));
        w.top[x] = static_cast<unsigned char>(m2 > 255 ? 255 : m2);
        w.mid[x] = static_cast<unsigned char>(mid > 255 ? 255 : mid);
        w.bottom[x] = static_cast<unsigned char>(m1);
    }
    Place(n, w.sector, w.top, w.mid, w.bottom, w.r, w.g, w.b);
}

// HSV: one component is V, one p and one q or t, where q and t share the form
// ((255 - (g x S) div 63) x V) div 255 with g = f (q) or 63 - f (t).
CONVERT_CLONES void HsvChunk(RowBuffers& w, int n)
{
    // g is 63 - f (t) in even sectors and f (q) in odd ones.
    for (int x = 0; x < n; ++x) {
        const std::uint16_t h = static_cast<std::uint16_t>((3 * w.c0[x] + 1) >> 1);
        const std::uint16_t sector = static_cast<std::uint16_t>(h >> 6), f = h & 63;
        w.sector[x] = static_cast<unsigned char>(sector);
        w.k[x] = static_cast<unsigned char>(sector & 1 ? f : 63 - f);
    }
    for (int x = 0; x < n; ++x) {
        const std::uint16_t S = w.c1[x], V = w.c2[x], g = w.k[x];
        w.bottom[x] = static_cast<unsigned char>(Div255(static_cast<std::uint16_t>((255 - S) * V)));
        const std::uint16_t gs = Div63(static_cast<std::uint16_t>(g * S));
        w.mid[x] = static_cast<unsigned char>(Div255(static_cast<std::uint16_t>((255 - gs) * V)));
    }
    Place(n, w.sector, w.c2, w.mid, w.bottom, w.r, w.g, w.b);
}

inline unsigned char ClampByte(int v)
{
    return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// YCC: the table entries computed in place (the tables cache these very
// expressions); >> of a negative int is an arithmetic shift.
CONVERT_CLONES void YccChunk(RowBuffers& w, int n)
{
    for (int x = 0; x < n; ++x) {
        const int Y = w.c0[x], cb = w.c1[x] - 128, cr = w.c2[x] - 128;
        w.r[x] = ClampByte(Y + ((91881 * cr + 32768) >> 16));
        w.g[x] = ClampByte(Y + ((-22554 * cb + 32768 - 46802 * cr) >> 16));
        w.b[x] = ClampByte(Y + ((116130 * cb + 32768) >> 16));
    }
}

template <int SrcStep, int DstStep>
void ColourRows(TileArgs const& t, void (*chunk)(RowBuffers&, int))
{
    RowBuffers w;
    auto split = SrcStep == 3 ? Split3 : Split4;
    auto join = DstStep == 3 ? Join3 : Join4;
#if defined(CONVERT_VBMI)
    if (vbmi::Available()) {
        split = SrcStep == 3 ? vbmi::Split3 : Split4;
        join = DstStep == 3 ? vbmi::Join3 : Join4;
    }
#endif
    for (int row = 0; row < t.height; ++row) {
        const unsigned char* s = t.src + static_cast<long>(row) * t.srcRowStride + t.srcOffset;
        unsigned char* d = t.dst + static_cast<long>(row) * t.dstRowStride + t.dstOffset;
        for (int x0 = 0; x0 < t.width; x0 += kChunk) {
            const int n = std::min(kChunk, t.width - x0);
            split(s + x0 * SrcStep, n, w.c0, w.c1, w.c2);
            chunk(w, n);
            join(d + x0 * DstStep, n, w.r, w.g, w.b);
        }
    }
}

void ColourKernel(TileArgs const& t, void (*chunk)(RowBuffers&, int))
{
    switch (t.srcStep * 8 + t.dstStep) {
    case 3 * 8 + 3: ColourRows<3, 3>(t, chunk); return;
    case 4 * 8 + 3: ColourRows<4, 3>(t, chunk); return;
    case 4 * 8 + 4: ColourRows<4, 4>(t, chunk); return;
    case 3 * 8 + 4: ColourRows<3, 4>(t, chunk); return;
    default: break;
    }
    // Any other layout: the per-pixel references.
    Kernel k = chunk == HlsChunk ? Kernel::Hls : chunk == HsvChunk ? Kernel::Hsv : Kernel::Ycc;
    ReferenceKernel(k, t, nullptr);
}

template <int SrcStep, int DstStep, int Bytes, typename Op>
void RunTile(TileArgs const& t, Op op)
{
    for (int row = 0; row < t.height; ++row) {
        const unsigned char* s = t.src + static_cast<long>(row) * t.srcRowStride + t.srcOffset * Bytes;
        unsigned char* d = t.dst + static_cast<long>(row) * t.dstRowStride + t.dstOffset;
        for (int x = 0; x < t.width; ++x, s += SrcStep * Bytes, d += DstStep)
            op(s, d);
    }
}

template <int Bytes, typename Op>
void Dispatch(TileArgs const& t, Op op)
{
    const bool dst4 = t.dstStep == 4;
    switch (t.srcStep * 8 + (dst4 ? 4 : 3)) {
    case 1 * 8 + 3: RunTile<1, 3, Bytes>(t, op); return;
    case 2 * 8 + 3: RunTile<2, 3, Bytes>(t, op); return;
    case 2 * 8 + 4: RunTile<2, 4, Bytes>(t, op); return;
    case 3 * 8 + 3: RunTile<3, 3, Bytes>(t, op); return;
    case 4 * 8 + 3: RunTile<4, 3, Bytes>(t, op); return;
    case 4 * 8 + 4: RunTile<4, 4, Bytes>(t, op); return;
    default: break;
    }
    // Any other layout: the same operation with run-time steps.
    for (int row = 0; row < t.height; ++row) {
        const unsigned char* s = t.src + static_cast<long>(row) * t.srcRowStride + t.srcOffset * Bytes;
        unsigned char* d = t.dst + static_cast<long>(row) * t.dstRowStride + t.dstOffset;
        for (int x = 0; x < t.width; ++x, s += t.srcStep * Bytes, d += t.dstStep)
            op(s, d);
    }
}

// One byte in, three out, no alpha: each pixel is one four-byte store of a packed
// table entry whose fourth byte the next pixel overwrites; the last pixel of a row
// stores three bytes, so nothing past the row is touched.
void PackedRows(TileArgs const& t, std::uint32_t const* packed)
{
    for (int row = 0; row < t.height; ++row) {
        const unsigned char* s = t.src + static_cast<long>(row) * t.srcRowStride + t.srcOffset;
        unsigned char* d = t.dst + static_cast<long>(row) * t.dstRowStride + t.dstOffset;
        const int n = t.width;
        for (int x = 0; x + 1 < n; ++x)
            std::memcpy(d + 3 * x, &packed[s[x]], 4);
        if (n > 0)
            std::memcpy(d + 3 * (n - 1), &packed[s[n - 1]], 3);
    }
}

struct GreyPacked {
    std::uint32_t packed[256];
    GreyPacked()
    {
        for (int i = 0; i < 256; ++i) {
            const unsigned char v = static_cast<unsigned char>(i);
            const unsigned char bytes[4] = {v, v, v, 0};
            std::memcpy(&packed[i], bytes, 4);
        }
    }
};

#if defined(CONVERT_VBMI)
// The grey ramp as a colour table: entry i is (i, i, i).
CLut GreyLut()
{
    CLut lut;
    for (unsigned i = 0; i < 256; ++i) {
        const unsigned char v = static_cast<unsigned char>(i);
        lut[i] = LutColor{v, v, v};
    }
    return lut;
}
#endif

} // namespace

void FastKernel(Kernel kernel, TileArgs const& t, PaletteTables const* palette)
{
    const bool packable = t.srcStep == 1 && t.dstStep == 3;
#if defined(CONVERT_VBMI)
    if (packable && (kernel == Kernel::Palette || kernel == Kernel::GreyExpand8) && vbmi::Available()) {
        static const PaletteTables grey(GreyLut());
        vbmi::PaletteRows(t, kernel == Kernel::Palette ? *palette : grey);
        return;
    }
#endif
    if (packable && kernel == Kernel::Palette) {
        PackedRows(t, palette->packed);
        return;
    }
    if (packable && kernel == Kernel::GreyExpand8) {
        static const GreyPacked grey;
        PackedRows(t, grey.packed);
        return;
    }
    switch (kernel) {
    case Kernel::GreyExpand8: Dispatch<1>(t, GreyOp8{}); return;
    case Kernel::GreyExpand16: Dispatch<2>(t, GreyOp16{}); return;
    case Kernel::Palette: Dispatch<1>(t, PaletteOp{palette}); return;
    case Kernel::Hls:
#if defined(CONVERT_VBMI)
        if (t.srcStep == 3 && t.dstStep == 3 && vbmi::Available()) {
            vbmi::HlsRows(t);
            return;
        }
#endif
        ColourKernel(t, HlsChunk);
        return;
    case Kernel::Hsv:
#if defined(CONVERT_VBMI)
        if (t.srcStep == 3 && t.dstStep == 3 && vbmi::Available()) {
            vbmi::HsvRows(t);
            return;
        }
#endif
        ColourKernel(t, HsvChunk);
        return;
    case Kernel::Ycc:
#if defined(CONVERT_VBMI)
        if (t.srcStep == 3 && t.dstStep == 3 && vbmi::Available()) {
            vbmi::YccRows(t);
            return;
        }
#endif
        ColourKernel(t, YccChunk);
        return;
    }
}

} // namespace convert
