// CGifIO: decodes the first image of a GIF 87a/89a file into an IM_INDEXED CImage,
// and tells whether a file holds a second image.
//
// File layout (little-endian):
//   header            6   "GIF" "87a" | "89a"
//   screen descriptor 7   width 2, height 2, packed 1 (bit 7 global table, bits 0-2
//                         size code s), background 1, aspect 1
//   global table      3 x 2^(s+1) when packed bit 7 is set: red, green, blue
//   blocks, each introduced by one byte:
//     0x21 extension: label 1, data sub-blocks up to a zero-length one
//     0x2C image descriptor: left 2, top 2, width 2, height 2, packed 1 (bit 7 local
//          table, bit 6 interlaced, bits 0-2 size code), local table, then the image
//          data: minimum code size 1, data sub-blocks holding the LZW code stream
//     0x3B trailer
//     any other byte is passed over on its own
//   data sub-block    size n (0-255), n bytes; n = 0 ends a sequence
//
// Only the first image is decoded; its position, the screen size and the extensions
// are passed over. The image gets the local table, else the global one, with black
// entries past the table's size (all black when the file has neither). Code data that
// ends early gives a partial image whose remaining pixels are index 0.
//
// All working storage belongs to the call, so calls may run on many threads at once.
// Rows go into the image band by band as they are decoded (interlaced rows one by
// one), so that memory beyond the image stays small and fixed.
#include "gif/GifIO.h"

#include "gif/GifInput.h"
#include "gif/GifInternal.h"
#include "gif/lzw.h"
#include "io/codec_file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace gif {
namespace {

struct Screen {
    char version[4] = {0, 0, 0, 0};
    int width = 0;
    int height = 0;
    int globalColors = 0;
    uint8_t global[3 * 256] = {}; // black where the file gives no colour
};

struct ImageHeader {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    int localColors = 0;
    uint8_t local[3 * 256] = {};
};

int Le16(const uint8_t* p)
{
    return p[0] | p[1] << 8;
}

// Entries of a colour table with size code s (0 to 7): 2 to 256.
int TableEntries(int packed)
{
    return 2 << (packed & 7);
}

// Header, screen descriptor and global colour table; false when cut short or not a
// GIF 87a/89a header.
bool ReadScreen(GifInput& in, Screen& screen)
{
    uint8_t h[13];
    if (!in.ReadExactly(h, 6))
        return false;
    if (std::memcmp(h, "GIF", 3) != 0 || (std::memcmp(h + 3, "87a", 3) != 0 && std::memcmp(h + 3, "89a", 3) != 0))
        return false;
    std::memcpy(screen.version, h + 3, 3);
    if (!in.ReadExactly(h + 6, 7))
        return false;
    screen.width = Le16(h + 6);
    screen.height = Le16(h + 8);
    if (h[10] & 0x80) {
        screen.globalColors = TableEntries(h[10]);
        if (!in.ReadExactly(screen.global, 3 * static_cast<size_t>(screen.globalColors)))
            return false;
    }
    return true;
}

enum class Block { Image, Trailer, Cut };

// Walks blocks up to the next image descriptor and reads it with its local table;
// extensions and stray bytes are passed over.
Block NextImage(GifInput& in, ImageHeader& image)
{
    for (;;) {
        int introducer = in.ReadByte();
        if (introducer < 0)
            return Block::Cut;
        if (introducer == 0x3B)
            return Block::Trailer;
        if (introducer == 0x21) {
            if (in.ReadByte() < 0) // the label
                return Block::Cut;
            in.SkipSubBlocks(); // a cut extension ends the walk at the next read
            continue;
        }
        if (introducer != 0x2C)
            continue;
        uint8_t d[9];
        if (!in.ReadExactly(d, 9))
            return Block::Cut;
        image.left = Le16(d);
        image.top = Le16(d + 2);
        image.width = Le16(d + 4);
        image.height = Le16(d + 6);
        image.interlaced = (d[8] & 0x40) != 0;
        image.localColors = 0;
        if (d[8] & 0x80) {
            image.localColors = TableEntries(d[8]);
            if (!in.ReadExactly(image.local, 3 * static_cast<size_t>(image.localColors)))
                return Block::Cut;
        }
        return Block::Image;
    }
}

// Image rows in the order the code stream fills them: top-down, or the four
// interlaced passes (rows 0, 8, 16...; 4, 12...; 2, 6...; 1, 3...), passes that start
// below the image left out.
class RowOrder {
public:
    RowOrder(int height, bool interlaced) : height_(height), interlaced_(interlaced) {}

    int Next()
    {
        static const int kStart[4] = {0, 4, 2, 1};
        static const int kStep[4] = {8, 8, 4, 2};
        int row = y_;
        if (!interlaced_) {
            ++y_;
        } else {
            y_ += kStep[pass_];
            while (y_ >= height_ && pass_ < 3)
                y_ = kStart[++pass_];
        }
        return row;
    }

private:
    int height_;
    bool interlaced_;
    int y_ = 0;
    int pass_ = 0;
};

// Decoded pixels are gathered in a band buffer of whole rows in stream order.
constexpr size_t kBandBytes = 64 * 1024;

struct ImageDeleter {
    void operator()(CImage* image) const { delete image; }
};
using ImagePtr = std::unique_ptr<CImage, ImageDeleter>;

// Decodes the image data after a descriptor into a new image; null with error set
// when the data cannot start or the image cannot be made.
CImage* DecodeImage(GifInput& in, ImageHeader const& header, CLut const& lut, uint64_t maxPixels,
                    CIO::IOError& error)
{
    error = CIO::IOERR_BAD_FORMAT;
    const int minCodeSize = in.ReadByte();
    if (minCodeSize < 0 || minCodeSize > kMaxMinCodeSize)
        return nullptr;
    const size_t width = static_cast<size_t>(header.width);
    const uint64_t total = static_cast<uint64_t>(width) * static_cast<uint64_t>(header.height);
    if (maxPixels && total > maxPixels)
        return nullptr;

    ImagePtr image(new CImage(IM_INDEXED, header.width, header.height, 96.0));
    image->SetLut(lut);

    CodeReader reader(in);
    std::unique_ptr<LzwDecoder> decoder(new LzwDecoder(reader));
    decoder->Start(minCodeSize);

    const size_t bandRows = std::max<size_t>(1, std::min<size_t>(header.height, kBandBytes / width));
    const size_t bandPixels = bandRows * width;
    std::unique_ptr<uint8_t[]> band(new uint8_t[bandPixels + kDecodeSlack]);

    // The map describes rows of the band: width bytes apart, no padding. It owns only
    // the small buffer it was built with.
    CPixMap map(IM_INDEXED, header.width, 1, true);
    map.plane[0].rowStride = header.width;
    RowOrder order(header.height, header.interlaced);
    int nextRow = 0; // top-down only

    auto transfer = [&](uint8_t* pixels, int columns, int rows, int y) {
        map.plane[0].data = pixels;
        map.width = columns;
        map.height = rows;
        image->SetBuf(0, y, map, MM_CLIP, 1);
    };
    // Moves `count` decoded pixels from the front of the band into the image.
    auto flush = [&](size_t count) {
        const int fullRows = static_cast<int>(count / width);
        const int rest = static_cast<int>(count % width);
        if (!header.interlaced) {
            if (fullRows)
                transfer(band.get(), header.width, fullRows, nextRow);
            nextRow += fullRows;
            if (rest)
                transfer(band.get() + fullRows * width, rest, 1, nextRow);
            return;
        }
        for (int r = 0; r < fullRows; ++r)
            transfer(band.get() + r * width, header.width, 1, order.Next());
        if (rest)
            transfer(band.get() + fullRows * width, rest, 1, order.Next());
    };

    uint64_t placed = 0;
    size_t carried = 0; // pixels of the next band already at the front of the buffer
    while (placed < total) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(bandPixels, total - placed));
        size_t have = carried;
        if (have < want)
            have += decoder->Decode(band.get() + have, want - have);
        flush(std::min(have, want));
        if (have < want)
            break; // the code data ended: the remaining pixels stay 0
        placed += want;
        carried = have - want;
        std::memmove(band.get(), band.get() + want, carried);
    }
    error = CIO::IOERR_NONE;
    return image.release();
}

CImage* LoadFrom(ByteSource& source, CIO::IOError& error, uint64_t maxPixels, size_t bufferCapacity)
{
    error = CIO::IOERR_BAD_FORMAT;
    try {
        GifInput in(source, bufferCapacity);
        std::unique_ptr<Screen> screen(new Screen);
        if (!ReadScreen(in, *screen))
            return nullptr;
        std::unique_ptr<ImageHeader> header(new ImageHeader);
        if (NextImage(in, *header) != Block::Image)
            return nullptr;
        // An empty image has no room for its first pixel.
        if (header->width == 0 || header->height == 0)
            return nullptr;
        const bool local = header->localColors > 0;
        const int colors = local ? header->localColors : screen->globalColors;
        const uint8_t* table = local ? header->local : screen->global;
        CLut lut;
        for (int i = 0; i < 256; ++i) {
            LutColor& c = lut[static_cast<unsigned>(i)];
            if (i < colors)
                c = LutColor{table[3 * i], table[3 * i + 1], table[3 * i + 2]};
            else
                c = LutColor{0, 0, 0};
        }
        return DecodeImage(in, *header, lut, maxPixels, error);
    } catch (std::bad_alloc const&) {
        // The image (or the decoder's storage) cannot be allocated.
        error = CIO::IOERR_BAD_FORMAT;
        return nullptr;
    }
}

bool IsAnimatedFrom(ByteSource& source, size_t bufferCapacity)
{
    GifInput in(source, bufferCapacity);
    std::unique_ptr<Screen> screen(new Screen);
    if (!ReadScreen(in, *screen))
        return false;
    std::unique_ptr<ImageHeader> header(new ImageHeader);
    for (int images = 0;;) {
        if (NextImage(in, *header) != Block::Image)
            return false;
        ++images;
        if (images == 2)
            return true;
        // The image data is passed over whole: the code stream never reaches past
        // its terminating sub-block. A minimum code size above 11 cannot be decoded
        // and ends the walk like the end of the file.
        const int minCodeSize = in.ReadByte();
        if (minCodeSize < 0 || minCodeSize > kMaxMinCodeSize)
            return false;
        in.SkipSubBlocks();
    }
}

void ScanFrom(ByteSource& source, Summary& summary, bool& headerOk)
{
    summary = Summary();
    GifInput in(source, GifInput::kMinCapacity);
    std::unique_ptr<Screen> screen(new Screen);
    headerOk = ReadScreen(in, *screen);
    if (!headerOk)
        return;
    summary.version.assign(screen->version, 3);
    summary.screenWidth = screen->width;
    summary.screenHeight = screen->height;
    summary.globalColors = screen->globalColors;
    std::unique_ptr<ImageHeader> header(new ImageHeader);
    for (;;) {
        Block b = NextImage(in, *header);
        if (b == Block::Trailer) {
            summary.trailer = true;
            return;
        }
        if (b == Block::Cut) {
            summary.incomplete = true;
            return;
        }
        FrameInfo f;
        f.left = header->left;
        f.top = header->top;
        f.width = header->width;
        f.height = header->height;
        f.interlaced = header->interlaced;
        f.localColors = header->localColors;
        f.minCodeSize = in.ReadByte();
        summary.frames.push_back(f);
        // Like the animation probe, the walk cannot go past code data it cannot decode.
        if (f.minCodeSize < 0 || f.minCodeSize > kMaxMinCodeSize || !in.SkipSubBlocks()) {
            summary.incomplete = true;
            return;
        }
    }
}

} // namespace

CImage* LoadFromMemory(const uint8_t* data, size_t size, CIO::IOError& error, uint64_t maxPixels,
                       size_t bufferCapacity)
{
    MemorySource source(data, size);
    return LoadFrom(source, error, maxPixels, bufferCapacity);
}

bool IsAnimatedInMemory(const uint8_t* data, size_t size, size_t bufferCapacity)
{
    MemorySource source(data, size);
    return IsAnimatedFrom(source, bufferCapacity);
}

bool ScanMemory(const uint8_t* data, size_t size, Summary& summary)
{
    MemorySource source(data, size);
    bool headerOk = false;
    ScanFrom(source, summary, headerOk);
    return headerOk;
}

bool Scan(CString const& path, Summary& summary, CIO::IOError& error)
{
    CFile file;
    CFileException failure;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone, &failure)) {
        error = OpenErrorFromCause(failure.m_cause);
        return false;
    }
    FileSource source(file);
    bool headerOk = false;
    ScanFrom(source, summary, headerOk);
    file.Abort();
    error = headerOk ? CIO::IOERR_NONE : CIO::IOERR_BAD_FORMAT;
    return headerOk;
}

} // namespace gif

CImage* CGifIO::Load(CString const& path, CIO::IOError& error)
{
    error = CIO::IOERR_NONE;
    CFile file;
    CFileException failure;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone, &failure)) {
        error = OpenErrorFromCause(failure.m_cause);
        return nullptr;
    }
    gif::FileSource source(file);
    CImage* image = gif::LoadFrom(source, error, 0, gif::GifInput::kDefaultCapacity);
    file.Abort();
    return image;
}

bool CGifIO::IsAnimated(CString const& path)
{
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone, nullptr))
        return false;
    gif::FileSource source(file);
    bool animated = false;
    try {
        animated = gif::IsAnimatedFrom(source, gif::GifInput::kDefaultCapacity);
    } catch (std::bad_alloc const&) {
        animated = false;
    }
    file.Abort();
    return animated;
}
