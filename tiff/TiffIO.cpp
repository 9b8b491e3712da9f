// CTiffIO: TIFF files through libtiff.
//
// Load (first page): unsigned 8- and 16-bit samples of greyscale (min-is-black or
// min-is-white), RGB and 8-bit palette images, stripped or tiled, contiguous or
// planar, with any compression libtiff decodes, read sample for sample:
//
//   photometric          bits   samples            mode
//   MINISBLACK/WHITE     8/16   1 [+ extra]        IM_GRAY / IM_GRAY16
//   RGB                  8/16   3 [+ extra]        IM_RGB / IM_RGB16
//   PALETTE              8      1 [+ extra]        IM_INDEXED (16-bit colours >> 8)
//
// A first extra sample that is associated or unassociated alpha gives IM_ALPHA
// (associated alpha is divided out: CImage alpha is straight); other extra samples
// are dropped. Anything else libtiff can render (CMYK, YCbCr, CIE Lab, 1/2/4-bit
// samples...) goes through its RGBA renderer and becomes IM_RGB (IM_RGB|IM_ALPHA
// with alpha). XResolution gives the dpi (per cm x 2.54; 0 when absent or without
// unit); ImageDescription is the text.
//
// Save: IM_GRAY, IM_GRAY16, IM_RGB, IM_RGB16, IM_INDEXED, each with or without
// IM_ALPHA (an unassociated extra sample), Deflate-compressed, contiguous strips,
// the dpi as XResolution/YResolution per inch, a non-empty text as ImageDescription.
//
// libtiff's messages go to per-handle handlers that record errors and print nothing;
// any error during a load makes the file IOERR_BAD_FORMAT. Files are read into
// memory and written from memory, so that the save can go through CAtomicFile.
#include "tiff/TiffIO.h"

#include "io/codec_file.h"

#include "platform/File.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <tiffio.h>

namespace {

// Decompression bomb guard: images above 2^28 pixels are refused before pixel memory
// is allocated, and no single libtiff allocation may exceed 1 GiB.
const unsigned long long kMaxPixels = 1ULL << 28;
const tmsize_t kMaxSingleAlloc = tmsize_t(1) << 30;
const unsigned long long kMaxFileBytes = 1ULL << 31;
// No codec libtiff ships expands its data by more than this factor on real images
// (Deflate tops out near 1032, LZW near 2700): a page whose strips or tiles hold
// fewer bytes than its decoded size / kMaxExpansion is damaged or a bomb.
const unsigned long long kMaxExpansion = 1ULL << 14;
// Rows of one written strip: about 256 KiB of samples, at least one row.
const long kStripBytes = 256 * 1024;

static_assert(sizeof(uint16_t) == 2, "16-bit samples");

// ---- memory streams for TIFFClientOpen ----

struct MemoryStream {
    std::vector<unsigned char>* bytes; // grows when writing
    toff_t pos = 0;
    bool failed = false;                // a message of error level was reported
};

tmsize_t StreamRead(thandle_t h, void* buffer, tmsize_t size)
{
    MemoryStream* s = static_cast<MemoryStream*>(h);
    if (size <= 0 || s->pos >= s->bytes->size())
        return 0;
    const size_t n = std::min<size_t>(static_cast<size_t>(size), s->bytes->size() - static_cast<size_t>(s->pos));
    std::memcpy(buffer, s->bytes->data() + s->pos, n);
    s->pos += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t StreamWrite(thandle_t h, void* buffer, tmsize_t size)
{
    MemoryStream* s = static_cast<MemoryStream*>(h);
    if (size <= 0)
        return 0;
    try {
        const size_t end = static_cast<size_t>(s->pos) + static_cast<size_t>(size);
        if (end > s->bytes->size())
            s->bytes->resize(end);
    } catch (std::bad_alloc const&) {
        return -1;
    }
    std::memcpy(s->bytes->data() + s->pos, buffer, static_cast<size_t>(size));
    s->pos += static_cast<toff_t>(size);
    return size;
}

toff_t StreamSeek(thandle_t h, toff_t offset, int whence)
{
    MemoryStream* s = static_cast<MemoryStream*>(h);
    long long base = whence == SEEK_CUR ? static_cast<long long>(s->pos)
                     : whence == SEEK_END ? static_cast<long long>(s->bytes->size())
                                          : 0;
    long long target = base + static_cast<long long>(offset);
    if (whence != SEEK_SET && static_cast<long long>(offset) < 0 && target < 0)
        return static_cast<toff_t>(-1);
    if (target < 0 || target > (1LL << 40))
        return static_cast<toff_t>(-1);
    s->pos = static_cast<toff_t>(target);
    return s->pos;
}

int StreamClose(thandle_t)
{
    return 0;
}

toff_t StreamSize(thandle_t h)
{
    return static_cast<MemoryStream*>(h)->bytes->size();
}

int StreamMap(thandle_t, void**, toff_t*)
{
    return 0;
}

void StreamUnmap(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char*, const char*, va_list)
{
    static_cast<MemoryStream*>(user)->failed = true;
    return 1; // handled: nothing reaches the process-wide handler
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

TiffPtr OpenStream(MemoryStream& stream, const char* mode)
{
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options)
        return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxSingleAlloc);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &stream);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &stream);
    return TiffPtr(TIFFClientOpenExt("memory", mode, &stream, StreamRead, StreamWrite, StreamSeek, StreamClose,
                                     StreamSize, StreamMap, StreamUnmap, options.get()));
}


// ---- reading ----

// How the samples of one pixel in the file map onto the image's channels.
struct Layout {
    IMAGE_MODE mode;
    int bytes;         // 1 or 2 per sample
    int fileSamples;   // samples per pixel in the file
    int channels;      // image channels (alpha first)
    int source[4];     // file sample index of each image channel
    bool invert;       // min-is-white: colour samples are inverted
    bool associated;   // alpha is premultiplied in the file
    bool separate;     // PLANARCONFIG_SEPARATE
};

// Straight alpha from premultiplied samples, in an interleaved row of `channels`
// samples (of `bytes` each, low byte first) per pixel with alpha at 0.
void Unpremultiply(unsigned char* row, int count, int channels, int bytes)
{
    const unsigned long maxValue = bytes == 1 ? 255 : 65535;
    auto load = [bytes](const unsigned char* p) -> unsigned long { return bytes == 1 ? p[0] : p[0] | (p[1] << 8); };
    for (int x = 0; x < count; ++x, row += channels * bytes) {
        const unsigned long a = load(row);
        for (int c = 1; c < channels; ++c) {
            unsigned char* s = row + c * bytes;
            const unsigned long v = a == 0 ? 0 : std::min(maxValue, (load(s) * maxValue + a / 2) / a);
            s[0] = static_cast<unsigned char>(v);
            if (bytes == 2)
                s[1] = static_cast<unsigned char>(v >> 8);
        }
    }
}

// Copies one decoded block (a strip or a tile, `blockWidth` pixels per row in the
// buffer) into `map`. For planar files `sample` names the one sample the block
// holds; for contiguous ones it is -1.
void ScatterBlock(Layout const& L, const unsigned char* block, long blockRowBytes, int sample, CPixMap& map)
{
    const int samplesInBlock = sample < 0 ? L.fileSamples : 1;
    for (int r = 0; r < map.height; ++r) {
        const unsigned char* in = block + r * blockRowBytes;
        unsigned char* out = map.plane[0].data + static_cast<long>(r) * map.plane[0].rowStride;
        for (int c = 0; c < L.channels; ++c) {
            int from;
            if (sample < 0)
                from = L.source[c];
            else if (L.source[c] == sample)
                from = 0;
            else
                continue;
            const bool invert = L.invert && !(ModeHasAlpha(L.mode) && c == 0);
            if (L.bytes == 1) {
                const unsigned char* s = in + from;
                unsigned char* d = out + c;
                for (int x = 0; x < map.width; ++x, s += samplesInBlock, d += L.channels)
                    *d = invert ? static_cast<unsigned char>(255 - *s) : *s;
            } else {
                const unsigned char* s = in + 2 * from;
                unsigned char* d = out + 2 * c;
                for (int x = 0; x < map.width; ++x, s += 2 * samplesInBlock, d += 2 * L.channels) {
                    uint16_t v;
                    std::memcpy(&v, s, 2); // host order, as libtiff delivers it
                    if (invert)
                        v = static_cast<uint16_t>(65535 - v);
                    d[0] = static_cast<unsigned char>(v);
                    d[1] = static_cast<unsigned char>(v >> 8);
                }
            }
        }
    }
}

void FinishBlock(Layout const& L, CPixMap& map)
{
    if (!L.associated)
        return;
    for (int r = 0; r < map.height; ++r) {
        unsigned char* row = map.plane[0].data + static_cast<long>(r) * map.plane[0].rowStride;
        Unpremultiply(row, map.width, L.channels, L.bytes);
    }
}

// Reads every strip or tile of the page into image. False on any decode failure.
bool ReadBlocks(TIFF* tif, Layout const& L, CImage& image, MemoryStream const& stream)
{
    const int width = image.Width(), height = image.Height();
    const bool tiled = TIFFIsTiled(tif) != 0;
    uint32_t blockW = static_cast<uint32_t>(width), blockH = 0;
    if (tiled) {
        if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &blockW) || !TIFFGetField(tif, TIFFTAG_TILELENGTH, &blockH))
            return false;
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &blockH);
        blockH = std::min<uint32_t>(blockH, static_cast<uint32_t>(height));
    }
    if (blockW == 0 || blockH == 0)
        return false;
    const tmsize_t blockSize = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
    const int samplesInBlock = L.separate ? 1 : L.fileSamples;
    const long blockRowBytes = static_cast<long>(blockW) * samplesInBlock * L.bytes;
    if (blockSize <= 0 || static_cast<unsigned long long>(blockRowBytes) * blockH > static_cast<unsigned long long>(blockSize))
        return false;
    // Not zeroed: libtiff fills what it decodes, and a short decode fails below.
    std::unique_ptr<unsigned char[]> block(new unsigned char[static_cast<size_t>(blockSize)]);
    CPixMap map(L.mode, static_cast<int>(std::min<uint32_t>(blockW, static_cast<uint32_t>(width))),
                static_cast<int>(blockH), true);

    const int planes = L.separate ? L.fileSamples : 1;
    for (uint32_t y = 0; y < static_cast<uint32_t>(height); y += blockH) {
        for (uint32_t x = 0; x < static_cast<uint32_t>(width); x += blockW) {
            map.width = static_cast<int>(std::min<uint32_t>(blockW, static_cast<uint32_t>(width) - x));
            map.height = static_cast<int>(std::min<uint32_t>(blockH, static_cast<uint32_t>(height) - y));
            for (int p = 0; p < planes; ++p) {
                const int sample = L.separate ? p : -1;
                if (L.separate && std::find(L.source, L.source + L.channels, p) == L.source + L.channels)
                    continue; // a dropped extra sample
                const uint16_t plane = static_cast<uint16_t>(L.separate ? p : 0);
                tmsize_t got;
                if (tiled)
                    got = TIFFReadEncodedTile(tif, TIFFComputeTile(tif, x, y, 0, plane), block.get(), blockSize);
                else
                    got = TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, y, plane), block.get(), blockSize);
                if (got < 0 || stream.failed)
                    return false;
                // A short strip at the bottom holds fewer rows; anything shorter is damage.
                if (got < blockRowBytes * (tiled ? static_cast<long>(blockH) : map.height))
                    return false;
                ScatterBlock(L, block.get(), blockRowBytes, sample, map);
            }
            FinishBlock(L, map);
            image.SetBuf(static_cast<int>(x), static_cast<int>(y), map, MM_CLIP, 1);
        }
    }
    return true;
}

// The RGBA renderer for every layout read not sample for sample.
bool ReadRendered(TIFF* tif, bool alpha, CImage& image, MemoryStream const& stream)
{
    const int width = image.Width(), height = image.Height();
    std::vector<uint32_t> raster(static_cast<size_t>(width) * static_cast<size_t>(height));
    if (!TIFFReadRGBAImageOriented(tif, static_cast<uint32_t>(width), static_cast<uint32_t>(height), raster.data(),
                                   ORIENTATION_TOPLEFT, 1) ||
        stream.failed)
        return false;
    const int channels = alpha ? 4 : 3;
    CPixMap map(image.GetMode(), width, 1, true);
    for (int y = 0; y < height; ++y) {
        const uint32_t* in = raster.data() + static_cast<size_t>(y) * width;
        unsigned char* out = map.plane[0].data;
        for (int x = 0; x < width; ++x, out += channels) {
            const uint32_t p = in[x];
            unsigned char* rgb = out + (alpha ? 1 : 0);
            if (alpha)
                out[0] = static_cast<unsigned char>(TIFFGetA(p));
            rgb[0] = static_cast<unsigned char>(TIFFGetR(p));
            rgb[1] = static_cast<unsigned char>(TIFFGetG(p));
            rgb[2] = static_cast<unsigned char>(TIFFGetB(p));
        }
        if (alpha)
            Unpremultiply(map.plane[0].data, width, 4, 1); // the renderer premultiplies
        image.SetBuf(0, y, map, MM_CLIP, 1);
    }
    return true;
}

// True when the strips or tiles hold enough bytes to decode into the page.
bool PlausibleDataSize(TIFF* tif, uint32_t width, uint32_t height, uint16_t spp, uint16_t bits)
{
    const unsigned long long decoded = static_cast<unsigned long long>(width) * height * spp * bits / 8;
    const unsigned long long needed = decoded / kMaxExpansion;
    const uint32_t blocks = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    unsigned long long stored = 0;
    for (uint32_t i = 0; i < blocks && stored <= needed; ++i)
        stored += TIFFGetStrileByteCount(tif, i);
    return stored > needed;
}

double ReadDpi(TIFF* tif)
{
    float x = 0;
    uint16_t unit = RESUNIT_INCH;
    if (!TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) || !(x > 0) || !std::isfinite(x))
        return 0.0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_INCH)
        return x;
    if (unit == RESUNIT_CENTIMETER)
        return x * 2.54;
    return 0.0;
}

// Decodes the current page; null with error set on failure.
CImage* ReadPage(TIFF* tif, MemoryStream const& stream, CIO::IOError& error, CString* text)
{
    error = CIO::IOERR_BAD_FORMAT;
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, spp = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    uint16_t compression = COMPRESSION_NONE;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height))
        return nullptr;
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF ||
        static_cast<unsigned long long>(width) * height > kMaxPixels)
        return nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        photometric = spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (!TIFFIsCODECConfigured(compression) || spp == 0 || bits == 0)
        return nullptr;
    if (!PlausibleDataSize(tif, width, height, spp, bits))
        return nullptr;

    uint16_t extraCount = 0;
    uint16_t* extraKinds = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds);
    const bool hasAlphaKind = extraCount > 0 && extraKinds &&
                              (extraKinds[0] == EXTRASAMPLE_ASSOCALPHA || extraKinds[0] == EXTRASAMPLE_UNASSALPHA);

    Layout L{};
    int colour = 0;
    IMAGE_MODE model = IM_GRAY;
    const bool wholeBytes = (bits == 8 || bits == 16) && format == SAMPLEFORMAT_UINT;
    if (wholeBytes && (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE)) {
        colour = 1;
        model = bits == 8 ? IM_GRAY : IM_GRAY16;
    } else if (wholeBytes && photometric == PHOTOMETRIC_RGB) {
        colour = 3;
        model = bits == 8 ? IM_RGB : IM_RGB16;
    } else if (bits == 8 && format == SAMPLEFORMAT_UINT && photometric == PHOTOMETRIC_PALETTE) {
        colour = 1;
        model = IM_INDEXED;
    }

    std::unique_ptr<CImage> image;
    const double dpi = ReadDpi(tif);
    if (colour > 0 && spp >= colour) {
        const bool alpha = hasAlphaKind && spp > colour;
        L.mode = alpha ? model | IM_ALPHA : model;
        L.bytes = bits / 8;
        L.fileSamples = spp;
        L.channels = colour + (alpha ? 1 : 0);
        for (int c = 0; c < colour; ++c)
            L.source[c + (alpha ? 1 : 0)] = c;
        if (alpha)
            L.source[0] = colour;
        L.invert = photometric == PHOTOMETRIC_MINISWHITE;
        L.associated = alpha && extraKinds[0] == EXTRASAMPLE_ASSOCALPHA;
        L.separate = planar == PLANARCONFIG_SEPARATE && spp > 1;
        error = CIO::IOERR_NO_MEMORY;
        image.reset(new CImage(L.mode, static_cast<int>(width), static_cast<int>(height), dpi));
        if (model == IM_INDEXED) {
            uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
            error = CIO::IOERR_BAD_FORMAT;
            if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
                return nullptr;
            CLut lut;
            for (unsigned i = 0; i < 256; ++i)
                lut[i] = LutColor{static_cast<unsigned char>(red[i] >> 8), static_cast<unsigned char>(green[i] >> 8),
                                  static_cast<unsigned char>(blue[i] >> 8)};
            image->SetLut(lut);
        }
        error = CIO::IOERR_BAD_FORMAT;
        if (!ReadBlocks(tif, L, *image, stream))
            return nullptr;
    } else {
        char message[1024];
        if (!TIFFRGBAImageOK(tif, message))
            return nullptr;
        const bool alpha = hasAlphaKind;
        error = CIO::IOERR_NO_MEMORY;
        image.reset(new CImage(alpha ? IM_RGB | IM_ALPHA : IM_RGB, static_cast<int>(width), static_cast<int>(height), dpi));
        error = CIO::IOERR_BAD_FORMAT;
        if (!ReadRendered(tif, alpha, *image, stream))
            return nullptr;
    }
    if (stream.failed)
        return nullptr;
    if (text) {
        const char* description = nullptr;
        *text = TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &description) && description ? CString(description)
                                                                                         : CString();
    }
    error = CIO::IOERR_NONE;
    return image.release();
}

// ---- writing ----

// Writes the image as a one-page TIFF into stream; false on any libtiff failure.
bool WritePage(MemoryStream& stream, CImage& image, CString const& text)
{
    const IMAGE_MODE mode = image.GetMode();
    const IMAGE_MODE model = ModeColorModel(mode);
    const bool alpha = ModeHasAlpha(mode);
    const int colour = model == IM_RGB || model == IM_RGB16 ? 3 : 1;
    const int channels = colour + (alpha ? 1 : 0);
    const int bytes = ModeBitsPerSample(mode) / 8;
    const int width = image.Width(), height = image.Height();

    TiffPtr tif = OpenStream(stream, "w");
    if (!tif)
        return false;
    TIFF* t = tif.get();
    const long rowBytes = static_cast<long>(width) * channels * bytes;
    const uint32_t rowsPerStrip = static_cast<uint32_t>(std::max<long>(1, std::min<long>(height, kStripBytes / rowBytes)));
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(8 * bytes));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(channels));
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                 model == IM_INDEXED ? PHOTOMETRIC_PALETTE : colour == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    if (model != IM_INDEXED)
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (alpha) {
        uint16_t kind = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    if (model == IM_INDEXED) {
        std::vector<uint16_t> red(256), green(256), blue(256);
        const CLut lut = image.GetLut();
        for (unsigned i = 0; i < 256; ++i) {
            red[i] = static_cast<uint16_t>(lut[i].red * 257);
            green[i] = static_cast<uint16_t>(lut[i].green * 257);
            blue[i] = static_cast<uint16_t>(lut[i].blue * 257);
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    const double dpi = image.GetDpi();
    if (dpi > 0 && std::isfinite(dpi)) {
        TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(dpi));
        TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(dpi));
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }
    if (!text.IsEmpty())
        TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, text.GetString());
    if (stream.failed)
        return false;

    // Image channels (alpha first) to file order (alpha last), strip by strip.
    CPixMap map(mode, width, static_cast<int>(rowsPerStrip), true);
    std::vector<unsigned char> strip(static_cast<size_t>(rowBytes) * rowsPerStrip);
    uint32_t index = 0;
    for (int y = 0; y < height; y += static_cast<int>(rowsPerStrip), ++index) {
        map.height = std::min(static_cast<int>(rowsPerStrip), height - y);
        image.GetBuf(0, y, map, MM_CLIP, 1);
        for (int r = 0; r < map.height; ++r) {
            const unsigned char* in = map.plane[0].data + static_cast<long>(r) * map.plane[0].rowStride;
            unsigned char* out = strip.data() + static_cast<size_t>(r) * rowBytes;
            if (!alpha) {
                std::memcpy(out, in, static_cast<size_t>(rowBytes));
                continue;
            }
            const int px = channels * bytes;
            for (int x = 0; x < width; ++x, in += px, out += px) {
                std::memcpy(out, in + bytes, static_cast<size_t>(colour * bytes));
                std::memcpy(out + colour * bytes, in, static_cast<size_t>(bytes));
            }
        }
        if (TIFFWriteEncodedStrip(t, index, strip.data(), static_cast<tmsize_t>(rowBytes) * map.height) < 0)
            return false;
    }
    if (!TIFFWriteDirectory(t))
        return false;
    tif.reset(); // TIFFClose flushes
    return !stream.failed;
}

} // namespace

CImage* CTiffIO::Load(CString const& path, CIO::IOError& error, CString* text)
{
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(path, bytes, kMaxFileBytes, error))
        return nullptr;
    MemoryStream stream;
    stream.bytes = &bytes;
    try {
        TiffPtr tif = OpenStream(stream, "rm");
        if (!tif) {
            error = CIO::IOERR_BAD_FORMAT;
            return nullptr;
        }
        return ReadPage(tif.get(), stream, error, text);
    } catch (std::bad_alloc const&) {
        error = CIO::IOERR_NO_MEMORY;
        return nullptr;
    }
}

bool CTiffIO::Save(CString const& path, CImage& image, CIO::IOError& error, CString const& text)
{
    switch (ModeColorModel(image.GetMode())) {
    case IM_GRAY:
    case IM_GRAY16:
    case IM_RGB:
    case IM_RGB16:
    case IM_INDEXED: break;
    default: error = CIO::IOERR_UNSUPPORTED_MODE; return false;
    }
    if (image.Width() < 1 || image.Height() < 1) {
        error = CIO::IOERR_UNSUPPORTED_MODE; // TIFF holds at least one pixel
        return false;
    }
    std::vector<unsigned char> bytes;
    MemoryStream stream;
    stream.bytes = &bytes;
    try {
        if (!WritePage(stream, image, text)) {
            error = CIO::IOERR_NO_MEMORY; // libtiff fails on valid input only when memory runs out
            return false;
        }
    } catch (std::bad_alloc const&) {
        error = CIO::IOERR_NO_MEMORY;
        return false;
    }

    return WriteWholeFile(path, bytes.data(), bytes.size(), error);
}
