// CBmpIO: reads and writes Windows bitmap files.
//
// File layout (all fields little-endian):
//   file header, 14 bytes (absent in a packed DIB, the stream overloads)
//     0  2  "BM"                      2  4  file size
//     6  4  reserved                 10  4  pixel data offset from the file start
//   info header, 40 bytes or longer (size in its first field)
//     0  4  header size               4  4  width (signed)
//     8  4  height (signed; positive: rows bottom-up)
//    12  2  planes                   14  2  bit count: 1, 4, 8, 16, 24 or 32
//    16  4  compression: 0 none, 1 RLE8, 2 RLE4, 3 bit fields (16 and 32 bits)
//    20  4  image size               24  4  horizontal resolution, pixels per metre
//    28  4  vertical resolution      32  4  colours used (0: 2^bit count)
//    36  4  colours important
//    40 16  red, green, blue, alpha masks (headers of 52 bytes and more hold the
//           first three, of 56 and more all four; a 40-byte header with compression
//           3 is followed by the three colour masks)
//   colour table (bit counts 1, 4, 8): 4 bytes an entry, blue, green, red, reserved
//   pixel data: rows bottom-up, each padded to a multiple of 4 bytes, or RLE (rle.h)
//
// Pixels move through an interleaved strip buffer of at most 256 rows, one read (or
// write) and one SetBuf (or GetBuf) per strip, so working memory is bounded by the
// strip, not the image. 8- and 24-bit rows go straight between the file and the
// strip buffer, whose row stride equals the file's padded row size; the buffer is
// addressed bottom-up so that the file's row order needs no copy.
#include "bmp/BmpIO.h"

#include "bmp/rle.h"
#include "bmp/rows.h"
#include "image/Planes.h"
#include "io/codec_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace {

constexpr int kFileHeaderBytes = 14;
constexpr int kInfoHeaderBytes = 40;
constexpr int kLongestInfoHeader = 124; // BITMAPV5HEADER
constexpr int kStripRows = 256;
// Width and height are at least 1 and below this.
constexpr int kSizeLimit = 32767;

// Pixels per metre -> dots per inch. One unit in the last place above the double
// nearest 0.0254, so that every whole pixels-per-metre value from 0 to 40000 comes
// back unchanged through kDpiToPpm and truncation.
constexpr double kPpmToDpi = 0x1.a027525460aa7p-6; // 0.025400000000000002
// Dots per inch -> pixels per metre: the double nearest 1 / 0.0254.
constexpr double kDpiToPpm = 0x1.3af5ebd7af5ecp+5; // 39.37007874015748

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

uint16_t Le16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

int32_t Le32s(const unsigned char* p)
{
    return static_cast<int32_t>(Le32(p));
}

void Put16(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void Put32(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// Padded bytes of one file row.
size_t FileRowBytes(int width, int bitCount)
{
    return (static_cast<size_t>(width) * bitCount + 31) / 32 * 4;
}

// Reads exactly count bytes; false on a short read.
bool ReadAll(CFile& file, void* buffer, size_t count)
{
    return file.Read(buffer, static_cast<UINT>(count)) == count;
}

// Skips count bytes forward (nothing for count <= 0: the reader never seeks back).
void SkipForward(CFile& file, long long count)
{
    if (count > 0)
        file.Seek(count, CFile::current);
}

// Replaces every sample of the map's rows by greyOf[sample] (the red component of
// the colour table entry the sample indexes).
void MapToGrey(CPixMap& map, const unsigned char* greyOf)
{
    PlaneDesc const& d = map.plane[0];
    for (int r = 0; r < map.height; ++r) {
        unsigned char* s = d.data + static_cast<long>(r) * d.rowStride;
        for (int x = 0; x < map.width; ++x, s += d.step)
            *s = greyOf[*s];
    }
}

// Points the map's plane 0 at its own buffer bottom-up for `rows` rows (row 0 of
// the map is buffer row rows - 1), for transfers of file-ordered rows.
struct BottomUp {
    BottomUp(CPixMap& map, int rows) : map_(map), data_(map.plane[0].data), stride_(map.plane[0].rowStride)
    {
        map.height = rows;
        map.plane[0].data = data_ + static_cast<long>(rows - 1) * stride_;
        map.plane[0].rowStride = -stride_;
    }
    ~BottomUp()
    {
        map_.plane[0].data = data_;
        map_.plane[0].rowStride = stride_;
    }
    CPixMap& map_;
    unsigned char* data_;
    int stride_;
};

// What ReadRows needs to know about the file's pixels.
struct PixelFormat {
    int bitCount;
    const unsigned char* greyOf; // IM_GRAY: index -> grey; null otherwise
    bmp::PixelMasks masks;       // 16 and 32 bits
    bool bgrx;                   // 32 bits with the usual byte masks
};

// Uncompressed pixel data: strips of file rows, bottom strip first.
bool ReadRows(CFile& file, CImage& image, CPixMap& strip, PixelFormat const& format, CIO::IOError& error)
{
    const int width = image.Width();
    const int height = image.Height();
    const int bitCount = format.bitCount;
    const size_t rowBytes = FileRowBytes(width, bitCount);
    const int stripRows = std::min(kStripRows, height);
    unsigned char* const mapBase = strip.plane[0].data;
    const size_t mapStride = static_cast<size_t>(strip.plane[0].rowStride);
    // 8 and 24 bits: file rows are the map's rows, padding included.
    const bool direct = (bitCount == 8 || bitCount == 24) && mapStride == rowBytes;

    std::unique_ptr<unsigned char[]> block;
    if (!direct) {
        try {
            block.reset(new unsigned char[rowBytes * stripRows]);
        } catch (std::bad_alloc const&) {
            error = CIO::IOERR_NO_MEMORY;
            return false;
        }
    }
    unsigned char identity[256];
    for (int i = 0; i < 256; ++i)
        identity[i] = static_cast<unsigned char>(i);
    const unsigned char* value = format.greyOf ? format.greyOf : identity;

    for (int done = 0; done < height; done += stripRows) {
        const int n = std::min(stripRows, height - done);
        unsigned char* const dst = direct ? mapBase : block.get();
        if (!ReadAll(file, dst, rowBytes * n)) {
            error = CIO::IOERR_BAD_FORMAT;
            return false;
        }
        if (direct) {
            if (bitCount == 24) {
                for (int r = 0; r < n; ++r)
                    bmp::SwapRedBlue(mapBase + r * mapStride, static_cast<size_t>(width));
            } else if (format.greyOf) {
                strip.height = n;
                MapToGrey(strip, format.greyOf);
            }
        } else {
            // File row r of the block is map row r; the map goes to the image bottom-up.
            for (int r = 0; r < n; ++r) {
                const unsigned char* src = block.get() + r * rowBytes;
                unsigned char* out = mapBase + r * mapStride;
                switch (bitCount) {
                case 1: bmp::Unpack1(src, width, out, value); break;
                case 4: bmp::Unpack4(src, width, out, value); break;
                case 8:
                    for (int x = 0; x < width; ++x)
                        out[x] = value[src[x]];
                    break;
                default:
                    if (format.bgrx && format.masks.alpha.mask)
                        bmp::Unpack32Bgra(src, width, out);
                    else if (format.bgrx)
                        bmp::Unpack32Bgrx(src, width, out);
                    else
                        bmp::UnpackMasked(src, width, bitCount / 8, format.masks, out);
                    break;
                }
            }
        }
        BottomUp bottomUp(strip, n);
        image.SetBuf(0, height - done - n, strip, MM_CLIP, 1);
    }
    error = CIO::IOERR_NONE;
    return true;
}

// Owns the image under construction until it is handed to the caller.
struct ImageHolder {
    ~ImageHolder() { delete image; }
    CImage* Release()
    {
        CImage* p = image;
        image = nullptr;
        return p;
    }
    CImage* image = nullptr;
};

// The shared reader of both Load overloads. Failures it detects itself close the
// file; an exception (a read or seek error) leaves closing to the file's owner.
CImage* ReadBitmap(CFile& file, bool fileHeader, CIO::IOError& error)
{
    CLut table;
    ImageHolder holder;
    auto fail = [&](CIO::IOError code) -> CImage* {
        file.Abort();
        error = code;
        return nullptr;
    };
    try {
        unsigned char header[kFileHeaderBytes];
        unsigned char info[kLongestInfoHeader] = {};
        long long consumed = 0; // bytes read or skipped since the start of the file (or DIB)
        if (fileHeader) {
            if (!ReadAll(file, header, kFileHeaderBytes))
                return fail(CIO::IOERR_BAD_FORMAT);
            consumed = kFileHeaderBytes;
        }
        if (!ReadAll(file, info, kInfoHeaderBytes))
            return fail(CIO::IOERR_BAD_FORMAT);
        consumed += kInfoHeaderBytes;

        const uint32_t headerSize = Le32(info);
        const int32_t width = Le32s(info + 4);
        const int32_t height = Le32s(info + 8);
        const int bitCount = Le16(info + 14);
        const uint32_t compression = Le32(info + 16);
        const int32_t ppm = Le32s(info + 24);
        const int32_t colorsUsed = Le32s(info + 32);
        const double dpi = static_cast<double>(ppm) * kPpmToDpi;

        // The 12-byte OS/2 core header and other short headers have another layout.
        if (headerSize < kInfoHeaderBytes)
            return fail(CIO::IOERR_BAD_FORMAT);
        if (width < 1 || width >= kSizeLimit || height < 1 || height >= kSizeLimit)
            return fail(CIO::IOERR_BAD_FORMAT);
        if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
            return fail(CIO::IOERR_BAD_FORMAT);
        const bool tableImage = bitCount <= 8;
        // RLE needs a colour table to index; bit fields exist for 16 and 32 bits only.
        const bool compressionFits = compression == kRgb || ((compression == kRle8 || compression == kRle4) && tableImage) ||
                                     (compression == kBitFields && (bitCount == 16 || bitCount == 32));
        if (!compressionFits)
            return fail(CIO::IOERR_BAD_FORMAT);

        // The rest of a longer header: masks, colour space (not used).
        if (headerSize > kInfoHeaderBytes) {
            const uint32_t kept = std::min<uint32_t>(headerSize, kLongestInfoHeader);
            if (!ReadAll(file, info + kInfoHeaderBytes, kept - kInfoHeaderBytes))
                return fail(CIO::IOERR_BAD_FORMAT);
            SkipForward(file, static_cast<long long>(headerSize) - kept);
            consumed += headerSize - kInfoHeaderBytes;
        }

        PixelFormat format{};
        format.bitCount = bitCount;
        if (bitCount == 16) {
            format.masks.red.Set(0x7C00); // 5-5-5
            format.masks.green.Set(0x03E0);
            format.masks.blue.Set(0x001F);
        } else if (bitCount == 32) {
            format.masks.red.Set(0x00FF0000);
            format.masks.green.Set(0x0000FF00);
            format.masks.blue.Set(0x000000FF);
        }
        if (compression == kBitFields) {
            unsigned char masks[16] = {};
            if (headerSize >= 52) {
                std::memcpy(masks, info + 40, headerSize >= 56 ? 16 : 12);
            } else {
                if (!ReadAll(file, masks, 12))
                    return fail(CIO::IOERR_BAD_FORMAT);
                consumed += 12;
            }
            format.masks.red.Set(Le32(masks));
            format.masks.green.Set(Le32(masks + 4));
            format.masks.blue.Set(Le32(masks + 8));
            format.masks.alpha.Set(Le32(masks + 12));
        }
        format.bgrx = bitCount == 32 && format.masks.red.mask == 0x00FF0000 && format.masks.green.mask == 0x0000FF00 &&
                      format.masks.blue.mask == 0x000000FF &&
                      (format.masks.alpha.mask == 0 || format.masks.alpha.mask == 0xFF000000);

        // Colour table: at most 2^bit count entries are used; a surplus is skipped.
        int count = 0;
        bool grey = true;
        unsigned char greyOf[256] = {};
        if (tableImage) {
            if (colorsUsed < 0)
                return fail(CIO::IOERR_BAD_FORMAT);
            const int maxCount = 1 << bitCount;
            count = colorsUsed == 0 ? maxCount : std::min(colorsUsed, maxCount);
            unsigned char entries[256 * 4];
            if (!ReadAll(file, entries, static_cast<size_t>(count) * 4))
                return fail(CIO::IOERR_BAD_FORMAT);
            consumed += count * 4;
            const long long surplus = (static_cast<long long>(colorsUsed) - count) * 4;
            SkipForward(file, surplus);
            consumed += std::max(0LL, surplus);
            for (int i = 0; i < count; ++i) {
                const unsigned char* e = entries + 4 * i;
                grey = grey && e[0] == e[1] && e[1] == e[2];
                LutColor& c = table[i];
                c.red = e[2];
                c.green = e[1];
                c.blue = e[0];
            }
            // A black-and-white pair reads as white for index 0 and black for index 1,
            // whichever order the file uses (white, black tables pass unchanged).
            if (count == 2 && grey && table[0].red == 0 && table[1].red == 255)
                std::swap(table[0], table[1]);
            CLut const& entriesRead = table; // the constant form leaves colorCount alone
            for (int i = 0; i < 256; ++i)
                greyOf[i] = entriesRead[i].red;
        } else if (!fileHeader && colorsUsed > 0) {
            // A packed DIB of more than 8 bits may still carry a table (for display
            // on palette devices) between the header and the pixels.
            SkipForward(file, static_cast<long long>(colorsUsed) * 4);
            consumed += static_cast<long long>(colorsUsed) * 4;
        }

        // A file gives the pixel data offset; a packed DIB's pixels follow directly.
        if (fileHeader)
            SkipForward(file, static_cast<long long>(Le32(header + 10)) - consumed);

        IMAGE_MODE mode;
        if (tableImage)
            mode = grey ? IM_GRAY : IM_INDEXED;
        else if (format.masks.alpha.mask != 0)
            mode = IM_RGB | IM_ALPHA;
        else
            mode = IM_RGB;

        // Uncompressed pixels have a known size: refuse a file too short for them
        // before allocating the image.
        if (compression == kRgb || compression == kBitFields) {
            const long long need = static_cast<long long>(FileRowBytes(width, bitCount)) * height;
            const long long left = static_cast<long long>(file.GetLength()) - static_cast<long long>(file.GetPosition());
            if (left < need)
                return fail(CIO::IOERR_BAD_FORMAT);
        }

        try {
            holder.image = new CImage(mode, width, height, dpi);
        } catch (std::bad_alloc const&) {
            return fail(CIO::IOERR_NO_MEMORY);
        }
        CImage& image = *holder.image;
        if (mode == IM_INDEXED)
            image.SetLut(table);

        // The strip buffer: an interleaved map in the image's mode over a block that
        // is not cleared first (every sample handed to the image is written before).
        std::unique_ptr<CPixMap> strip;
        std::unique_ptr<unsigned char[]> stripStore;
        try {
            int rows = std::min(kStripRows, height);
            if (compression == kRle8 || compression == kRle4)
                rows += bmp::RleSlackRows(CPixMap::RowStride(8, width));
            strip.reset(new CPixMap(mode, width, 0, true));
            stripStore.reset(new unsigned char[static_cast<size_t>(strip->plane[0].rowStride) * rows]);
            strip->plane[0].data = stripStore.get();
            strip->height = rows;
        } catch (std::bad_alloc const&) {
            return fail(CIO::IOERR_NO_MEMORY);
        }

        const unsigned char* greyMap = mode == IM_GRAY ? greyOf : nullptr;
        format.greyOf = greyMap;
        bool ok;
        if (compression == kRle8)
            ok = bmp::DecodeRle8(file, image, *strip, greyMap, error);
        else if (compression == kRle4)
            ok = bmp::DecodeRle4(file, image, *strip, greyMap, error);
        else
            ok = ReadRows(file, image, *strip, format, error);
        if (!ok) {
            file.Abort();
            return nullptr;
        }
    } catch (...) {
        // A read or seek error of the file object, or an allocation failure.
        error = CIO::IOERR_NO_MEMORY;
        return nullptr;
    }
    error = CIO::IOERR_NONE;
    return holder.Release();
}

// ---- writer ----

// What the stream writer tells the file writer for the file header.
struct WrittenBytes {
    uint32_t table = 0;
    uint32_t pixels = 0;
};

// Uncompressed rows, bottom strip first: GetBuf fills the strip buffer bottom-up,
// so the buffer holds file-ordered rows whose stride is the file's row size.
bool WriteRows(CFile& file, CImage& image, CPixMap& strip, int bitCount, CIO::IOError& error)
{
    const int width = image.Width();
    const int height = image.Height();
    const int stripRows = std::min(kStripRows, height);
    const size_t rowBytes = FileRowBytes(width, bitCount);
    unsigned char* const base = strip.plane[0].data;
    for (int done = 0; done < height; done += stripRows) {
        const int n = std::min(stripRows, height - done);
        {
            BottomUp bottomUp(strip, n);
            image.GetBuf(0, height - done - n, strip, MM_CLIP, 1);
        }
        if (bitCount == 24) {
            for (int r = 0; r < n; ++r)
                bmp::SwapRedBlue(base + r * rowBytes, static_cast<size_t>(width));
        }
        file.Write(base, static_cast<UINT>(rowBytes * n));
    }
    error = CIO::IOERR_NONE;
    return true;
}

bool WriteRle8(CFile& file, CImage& image, CPixMap& strip, uint32_t& counter, CIO::IOError& error)
{
    const int width = image.Width();
    const int height = image.Height();
    const int stripRows = std::min(kStripRows, height);
    std::unique_ptr<unsigned char[]> block;
    try {
        block.reset(new unsigned char[stripRows * bmp::Rle8RowBound(width)]);
    } catch (std::bad_alloc const&) {
        error = CIO::IOERR_NO_MEMORY;
        return false;
    }
    PlaneDesc const& d = strip.plane[0];
    for (int done = 0; done < height; done += stripRows) {
        const int n = std::min(stripRows, height - done);
        strip.height = n;
        image.GetBuf(0, height - done - n, strip, MM_CLIP, 1);
        size_t used = 0;
        for (int r = n - 1; r >= 0; --r)
            used += bmp::EncodeRle8Row(d.data + static_cast<long>(r) * d.rowStride, width, block.get() + used);
        file.Write(block.get(), static_cast<UINT>(used));
        counter += static_cast<uint32_t>(used);
    }
    static const unsigned char endOfBitmap[2] = {0, 1};
    file.Write(endOfBitmap, 2);
    counter += 2;
    error = CIO::IOERR_NONE;
    return true;
}

// Header, table and pixels of a packed DIB at the file's position.
bool WriteBitmap(CFile& file, CImage& image, bool rle, CIO::IOError& error, WrittenBytes& written)
{
    const IMAGE_MODE mode = image.GetMode();
    int bitCount;
    int tableCount = 0;
    unsigned char table[256 * 4] = {};
    if (mode == IM_GRAY) {
        bitCount = 8;
        tableCount = 256;
        for (int i = 0; i < 256; ++i)
            table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = static_cast<unsigned char>(i);
    } else if (mode == IM_INDEXED) {
        bitCount = 8;
        CLut lut = image.GetLut();
        tableCount = std::clamp(lut.GetColors(), 0, 256);
        for (int i = 0; i < tableCount; ++i) {
            LutColor const& c = lut[i];
            table[4 * i] = c.blue;
            table[4 * i + 1] = c.green;
            table[4 * i + 2] = c.red;
        }
    } else if (mode == IM_RGB) {
        bitCount = 24;
        rle = false;
    } else {
        error = CIO::IOERR_UNSUPPORTED_MODE;
        return false;
    }

    const int width = std::max(image.Width(), 0);
    const int height = std::max(image.Height(), 0);
    const size_t rowBytes = FileRowBytes(width, bitCount);
    // Every size must fit the file's 32-bit fields, RLE's worst case included.
    const unsigned long long pixelBound =
        rle ? static_cast<unsigned long long>(height) * bmp::Rle8RowBound(width) + 2
            : static_cast<unsigned long long>(rowBytes) * height;
    if (pixelBound + kFileHeaderBytes + kInfoHeaderBytes + 4 * 256 > std::numeric_limits<uint32_t>::max()) {
        error = CIO::IOERR_UNSUPPORTED_MODE;
        return false;
    }

    // Truncated toward zero; NaN and values beyond the field's range are clamped.
    const double ppmValue = image.GetDpi() * kDpiToPpm;
    int32_t ppm = 0;
    if (ppmValue >= 2147483647.0)
        ppm = std::numeric_limits<int32_t>::max();
    else if (ppmValue <= -2147483648.0)
        ppm = std::numeric_limits<int32_t>::min();
    else if (!std::isnan(ppmValue))
        ppm = static_cast<int32_t>(ppmValue);

    unsigned char info[kInfoHeaderBytes] = {};
    Put32(info, kInfoHeaderBytes);
    Put32(info + 4, static_cast<uint32_t>(width));
    Put32(info + 8, static_cast<uint32_t>(height));
    Put16(info + 12, 1);
    Put16(info + 14, static_cast<uint32_t>(bitCount));
    Put32(info + 16, rle ? kRle8 : kRgb);
    Put32(info + 20, static_cast<uint32_t>(rowBytes * height));
    Put32(info + 24, static_cast<uint32_t>(ppm));
    Put32(info + 28, static_cast<uint32_t>(ppm));
    Put32(info + 32, static_cast<uint32_t>(tableCount));
    // Header and table write errors are not caught here: they reach the caller.
    file.Write(info, kInfoHeaderBytes);
    if (tableCount > 0)
        file.Write(table, static_cast<UINT>(4 * tableCount));
    written.table = static_cast<uint32_t>(4 * tableCount);
    written.pixels = 0;
    if (width == 0 || height == 0) {
        error = CIO::IOERR_NONE;
        return true;
    }

    try {
        // Rows of the strip buffer are exactly the file's padded rows.
        CPixMap strip(mode, width, std::min(kStripRows, height), true);
        if (rle)
            return WriteRle8(file, image, strip, written.pixels, error);
        written.pixels = static_cast<uint32_t>(rowBytes * height);
        return WriteRows(file, image, strip, bitCount, error);
    } catch (...) {
        // A write error (a full disk among them) or an allocation failure.
        error = CIO::IOERR_NO_MEMORY;
        return false;
    }
}

} // namespace

CImage* CBmpIO::Load(CString const& path, CIO::IOError& error)
{
    CFile file;
    CFileException failure;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone, &failure)) {
        error = OpenErrorFromCause(failure.m_cause);
        return nullptr;
    }
    return ReadBitmap(file, true, error);
}

CImage* CBmpIO::Load(CFile& file, CIO::IOError& error)
{
    return ReadBitmap(file, false, error);
}

bool CBmpIO::Save(CFile& file, CImage& image, bool rle, CIO::IOError& error)
{
    WrittenBytes written;
    return WriteBitmap(file, image, rle, error, written);
}

// Written under a temporary name beside the target and renamed over it only when
// complete: a failed save leaves an existing file unchanged and nothing new behind.
bool CBmpIO::Save(CString const& path, CImage& image, bool rle, CIO::IOError& error)
{
    CAtomicFile file;
    CFileException failure;
    if (!file.Create(path, &failure)) {
        error = failure.m_cause == CFileException::diskFull ? CIO::IOERR_NO_MEMORY : CIO::IOERR_CREATE_FAILED;
        return false;
    }
    file.Seek(kFileHeaderBytes, CFile::begin);
    WrittenBytes written;
    if (!WriteBitmap(file, image, rle, error, written)) {
        file.Discard();
        return false;
    }
    unsigned char header[kFileHeaderBytes] = {'B', 'M'};
    const uint32_t offset = kFileHeaderBytes + kInfoHeaderBytes + written.table;
    Put32(header + 2, offset + written.pixels);
    Put32(header + 10, offset);
    file.Seek(0, CFile::begin);
    file.Write(header, kFileHeaderBytes);
    file.Commit();
    error = CIO::IOERR_NONE;
    return true;
}
