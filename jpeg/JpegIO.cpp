// CJpegIO: JPEG files through libjpeg-turbo.
//
// Load: 8-bit greyscale gives IM_GRAY; YCbCr and RGB give IM_RGB; CMYK and YCCK are
// decoded as CMYK and turned into IM_RGB (Adobe files store inverted inks). The JFIF
// density gives the dpi (dots per cm x 2.54; 0 when the file has no unit); the first
// COM marker is the text. Save: IM_GRAY and IM_RGB, quality 1 to 100 (else 75), the
// dpi as JFIF density in dots per inch, a non-empty text as one COM marker.
//
// libjpeg reports errors by calling error_exit, which must not return: ours longjmps
// back into the one function per direction that holds the setjmp (RunDecoder,
// RunEncoder). Those functions keep their state in a caller-owned struct and have
// no local objects with destructors, so the jump skips nothing. Nothing is printed:
// output_message is silent, and warnings that mean damaged data end the decode.
#include "jpeg/JpegIO.h"

#include "io/codec_file.h"

#include "platform/File.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// Decompression bomb guard: images above 2^28 pixels (16384 x 16384) are refused
// before any pixel memory is allocated, and libjpeg's own working memory (the
// coefficient buffers of progressive files) is capped at 1 GiB.
const unsigned long long kMaxPixels = 1ULL << 28;
const long kMaxDecoderMemory = 1L << 30;
// Files above 1 GiB are refused unread.
const unsigned long long kMaxFileBytes = 1ULL << 30;
// Rows per strip handed to SetBuf / taken from GetBuf.
const int kStripRows = 16;
// A COM marker holds at most 65533 bytes; longer text is cut there.
const size_t kMaxComment = 65533;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

// Warnings (level -1) that mean the entropy-coded data is damaged or cut short end
// the decode; benign ones (unknown JFIF version, extraneous bytes, bad ICC) do not.
void EmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
        ErrorExit(cinfo);
    default: cinfo->err->num_warnings++; break;
    }
}

void OutputMessage(j_common_ptr) {}

void InstallErrorManager(ErrorManager& err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
}


// ---- decoding ----

struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    bool created = false;
    CIO::IOError error = CIO::IOERR_BAD_FORMAT; // what a longjmp means
    std::unique_ptr<CImage> image;
    std::unique_ptr<CPixMap> strip;
    JSAMPARRAY cmykRows = nullptr; // libjpeg pool memory, freed by jpeg_destroy
    bool cmyk = false;
    CString comment;
    bool wantComment = false;

    Decoder() { std::memset(&cinfo, 0, sizeof cinfo); }
    ~Decoder()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

void StartImage(Decoder& d)
{
    jpeg_decompress_struct& c = d.cinfo;
    const IMAGE_MODE mode = c.out_color_space == JCS_GRAYSCALE ? IM_GRAY : IM_RGB;
    double dpi = 0.0;
    if (c.saw_JFIF_marker && c.X_density > 0) {
        if (c.density_unit == 1)
            dpi = c.X_density;
        else if (c.density_unit == 2)
            dpi = c.X_density * 2.54;
    }
    d.image.reset(new CImage(mode, static_cast<int>(c.output_width), static_cast<int>(c.output_height), dpi));
    d.strip.reset(new CPixMap(mode, static_cast<int>(c.output_width), kStripRows, true));
}

void TakeComment(Decoder& d)
{
    for (jpeg_saved_marker_ptr m = d.cinfo.marker_list; m; m = m->next) {
        if (m->marker == JPEG_COM) {
            d.comment = CString(reinterpret_cast<const char*>(m->data), static_cast<int>(m->data_length));
            return;
        }
    }
}

// Adobe CMYK files store inverted inks (255 = no ink); plain CMYK stores ink.
void CmykToRgb(Decoder& d, int rows)
{
    const bool inverted = d.cinfo.saw_Adobe_marker;
    const int width = static_cast<int>(d.cinfo.output_width);
    for (int r = 0; r < rows; ++r) {
        const JSAMPLE* s = d.cmykRows[r];
        unsigned char* out = d.strip->plane[0].data + static_cast<long>(r) * d.strip->plane[0].rowStride;
        for (int x = 0; x < width; ++x, s += 4, out += 3) {
            unsigned c = s[0], m = s[1], y = s[2], k = s[3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                y = 255 - y;
                k = 255 - k;
            }
            out[0] = static_cast<unsigned char>((c * k + 127) / 255);
            out[1] = static_cast<unsigned char>((m * k + 127) / 255);
            out[2] = static_cast<unsigned char>((y * k + 127) / 255);
        }
    }
}

// Returns true with d.image filled, or false with d.error set. The only function of
// the decoder that holds a setjmp.
bool RunDecoder(Decoder& d, const unsigned char* data, size_t size)
{
    if (setjmp(d.err.jump))
        return false;
    d.cinfo.err = &d.err.pub;
    d.created = true;
    jpeg_create_decompress(&d.cinfo);
    d.cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    jpeg_mem_src(&d.cinfo, data, static_cast<unsigned long>(size));
    if (d.wantComment)
        jpeg_save_markers(&d.cinfo, JPEG_COM, 0xFFFF);
    jpeg_read_header(&d.cinfo, TRUE);
    if (d.wantComment)
        TakeComment(d);

    jpeg_decompress_struct& c = d.cinfo;
    if (static_cast<unsigned long long>(c.image_width) * c.image_height > kMaxPixels)
        return false;
    switch (c.jpeg_color_space) {
    case JCS_GRAYSCALE: c.out_color_space = JCS_GRAYSCALE; break;
    case JCS_CMYK:
    case JCS_YCCK:
        c.out_color_space = JCS_CMYK;
        d.cmyk = true;
        break;
    default: c.out_color_space = JCS_RGB; break;
    }
    jpeg_start_decompress(&c);
    if (c.output_components != (d.cmyk ? 4 : c.out_color_space == JCS_GRAYSCALE ? 1 : 3))
        return false;

    d.error = CIO::IOERR_NO_MEMORY;
    StartImage(d); // may throw std::bad_alloc: no libjpeg frame lies in between
    d.error = CIO::IOERR_BAD_FORMAT;
    if (d.cmyk)
        d.cmykRows = (*c.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&c), JPOOL_IMAGE, c.output_width * 4,
                                            kStripRows);

    JSAMPROW rows[kStripRows];
    while (c.output_scanline < c.output_height) {
        const int top = static_cast<int>(c.output_scanline);
        const int count = static_cast<int>(std::min<JDIMENSION>(kStripRows, c.output_height - c.output_scanline));
        for (int r = 0; r < count; ++r)
            rows[r] = d.cmyk ? d.cmykRows[r] : d.strip->plane[0].data + static_cast<long>(r) * d.strip->plane[0].rowStride;
        int done = 0;
        while (done < count) {
            const JDIMENSION n = jpeg_read_scanlines(&c, rows + done, static_cast<JDIMENSION>(count - done));
            if (n == 0)
                return false; // the memory source never suspends; no progress means a broken stream
            done += static_cast<int>(n);
        }
        if (d.cmyk)
            CmykToRgb(d, count);
        d.strip->height = count;
        d.image->SetBuf(0, top, *d.strip, MM_CLIP, 1);
    }
    jpeg_finish_decompress(&c);
    return true;
}

// ---- encoding ----

struct Encoder {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    bool created = false;
    unsigned char* output = nullptr; // malloc'd by jpeg_mem_dest
    unsigned long outputSize = 0;
    std::unique_ptr<CPixMap> strip;

    Encoder() { std::memset(&cinfo, 0, sizeof cinfo); }
    ~Encoder()
    {
        if (created)
            jpeg_destroy_compress(&cinfo);
        std::free(output);
    }
};

// The only function of the encoder that holds a setjmp; writes the file into memory.
bool RunEncoder(Encoder& e, CImage& image, int quality, CString const& text)
{
    if (setjmp(e.err.jump))
        return false;
    e.cinfo.err = &e.err.pub;
    e.created = true;
    jpeg_create_compress(&e.cinfo);
    jpeg_compress_struct& c = e.cinfo;
    jpeg_mem_dest(&c, &e.output, &e.outputSize);
    const bool grey = image.GetMode() == IM_GRAY;
    c.image_width = static_cast<JDIMENSION>(image.Width());
    c.image_height = static_cast<JDIMENSION>(image.Height());
    c.input_components = grey ? 1 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    c.write_JFIF_header = TRUE;
    const double dpi = image.GetDpi();
    if (dpi > 0) {
        const long density = std::lround(std::min(dpi, 65535.0));
        c.density_unit = 1;
        c.X_density = c.Y_density = static_cast<UINT16>(density < 1 ? 1 : density);
    } else {
        c.density_unit = 0;
        c.X_density = c.Y_density = 1;
    }
    jpeg_start_compress(&c, TRUE);
    if (!text.IsEmpty()) {
        const size_t n = std::min(static_cast<size_t>(text.GetLength()), kMaxComment);
        jpeg_write_marker(&c, JPEG_COM, reinterpret_cast<const JOCTET*>(text.GetString()), static_cast<unsigned>(n));
    }
    JSAMPROW rows[kStripRows];
    while (c.next_scanline < c.image_height) {
        const int top = static_cast<int>(c.next_scanline);
        const int count = static_cast<int>(std::min<JDIMENSION>(kStripRows, c.image_height - c.next_scanline));
        e.strip->height = count;
        image.GetBuf(0, top, *e.strip, MM_CLIP, 1);
        for (int r = 0; r < count; ++r)
            rows[r] = e.strip->plane[0].data + static_cast<long>(r) * e.strip->plane[0].rowStride;
        int done = 0;
        while (done < count) {
            const JDIMENSION n = jpeg_write_scanlines(&c, rows + done, static_cast<JDIMENSION>(count - done));
            if (n == 0)
                return false;
            done += static_cast<int>(n);
        }
    }
    jpeg_finish_compress(&c);
    return true;
}

} // namespace

CImage* CJpegIO::Load(CString const& path, CIO::IOError& error, CString* text)
{
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(path, bytes, kMaxFileBytes, error))
        return nullptr;
    Decoder d;
    InstallErrorManager(d.err);
    d.wantComment = text != nullptr;
    bool ok;
    try {
        ok = RunDecoder(d, bytes.data(), bytes.size());
    } catch (std::bad_alloc const&) {
        error = CIO::IOERR_NO_MEMORY;
        return nullptr;
    }
    if (!ok) {
        error = d.error;
        return nullptr;
    }
    if (text)
        *text = d.comment;
    error = CIO::IOERR_NONE;
    return d.image.release();
}

bool CJpegIO::Save(CString const& path, CImage& image, int quality, CIO::IOError& error, CString const& text)
{
    const IMAGE_MODE mode = image.GetMode();
    if (mode != IM_GRAY && mode != IM_RGB) {
        error = CIO::IOERR_UNSUPPORTED_MODE;
        return false;
    }
    // JPEG holds 1 to 65500 pixels per side.
    if (image.Width() < 1 || image.Height() < 1 || image.Width() > JPEG_MAX_DIMENSION ||
        image.Height() > JPEG_MAX_DIMENSION) {
        error = CIO::IOERR_UNSUPPORTED_MODE;
        return false;
    }
    if (quality < 1 || quality > 100)
        quality = 75;

    Encoder e;
    InstallErrorManager(e.err);
    try {
        e.strip.reset(new CPixMap(mode, image.Width(), kStripRows, true));
        if (!RunEncoder(e, image, quality, text)) {
            error = CIO::IOERR_NO_MEMORY; // libjpeg fails on valid input only when memory runs out
            return false;
        }
    } catch (std::bad_alloc const&) {
        error = CIO::IOERR_NO_MEMORY;
        return false;
    }

    return WriteWholeFile(path, e.output, e.outputSize, error);
}
