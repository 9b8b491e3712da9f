// RLE8 and RLE4 decoding of BMP pixel data (item layout in rle.h).
//
// Rows are built bottom-up into the strip buffer: strip row k holds image row
// stripBottom - k. A strip is handed to the image when it holds min(256, height)
// complete rows, when a delta moves up (the rows so far, the current one if begun),
// at the end of the bitmap, and when the top row is complete -- after which the rest
// of the stream is not read, so nothing can land outside the image. Rows a delta
// skips are never transferred and keep the image's initial 0; pixels of transferred
// rows that no item sets are 0 because the strip is cleared after every transfer.
#include "bmp/rle.h"

#include "image/Planes.h"

#include <algorithm>
#include <memory>
#include <new>

namespace bmp {
namespace {

// The RLE input block. Bytes not yet consumed are p[0..avail); a refill seeks back
// over them and reads the block anew from there, so items straddling the end of a
// block are read again rather than moved.
class RleInput {
public:
    explicit RleInput(CFile& file) : file_(file), block_(new unsigned char[kRleBlockBytes]) {}

    // True when n bytes are available at Data().
    bool Need(unsigned n)
    {
        if (avail_ >= n)
            return true;
        if (avail_ > 0)
            file_.Seek(-static_cast<LONGLONG>(avail_), CFile::current);
        avail_ = file_.Read(block_.get(), kRleBlockBytes);
        p_ = block_.get();
        return avail_ >= n;
    }
    const unsigned char* Data() const { return p_; }
    void Consume(unsigned n)
    {
        p_ += n;
        avail_ -= n;
    }
    // Leaves the file just after the consumed bytes.
    void Finish()
    {
        if (avail_ > 0)
            file_.Seek(-static_cast<LONGLONG>(avail_), CFile::current);
        avail_ = 0;
    }

private:
    CFile& file_;
    std::unique_ptr<unsigned char[]> block_;
    const unsigned char* p_ = nullptr;
    unsigned avail_ = 0;
};

template <bool kFourBit>
bool Decode(CFile& file, CImage& image, CPixMap& strip, const unsigned char* greyOf, CIO::IOError& error)
{
    std::unique_ptr<RleInput> input;
    try {
        input.reset(new RleInput(file));
    } catch (std::bad_alloc const&) {
        error = CIO::IOERR_NO_MEMORY;
        return false;
    }
    RleInput& in = *input;

    const int width = image.Width();
    const int height = image.Height();
    const int stripRows = std::min(256, height);
    unsigned char* const base = strip.plane[0].data;
    const int stride = strip.plane[0].rowStride;

    int y = height - 1;       // current image row
    int stripBottom = y;      // image row of strip row 0
    int x = 0;                // current column
    unsigned char* row = base; // strip row of y

    unsigned char identity[256];
    if (!greyOf) {
        for (int i = 0; i < 256; ++i)
            identity[i] = static_cast<unsigned char>(i);
    }
    const unsigned char* value = greyOf ? greyOf : identity;

    // Hands strip rows 0 .. count - 1 (image rows stripBottom down to
    // stripBottom - count + 1) to the image, addressing the strip bottom-up, then
    // clears them for the next strip.
    auto transfer = [&](int count) {
        if (count <= 0)
            return;
        strip.height = count;
        strip.plane[0].data = base + static_cast<long>(count - 1) * stride;
        strip.plane[0].rowStride = -stride;
        image.SetBuf(0, stripBottom - count + 1, strip, MM_CLIP, 1);
        strip.plane[0].data = base;
        strip.plane[0].rowStride = stride;
        FillBytes(base, 0, static_cast<unsigned>(count) * static_cast<unsigned>(stride));
    };
    auto fail = [&]() {
        error = CIO::IOERR_BAD_FORMAT;
        return false;
    };
    auto done = [&]() {
        in.Finish();
        error = CIO::IOERR_NONE;
        return true;
    };

    for (;;) {
        if (!in.Need(2))
            return fail();
        const unsigned m = in.Data()[0];
        const unsigned v = in.Data()[1];
        in.Consume(2);

        if (m > 0) { // encoded run
            if (static_cast<int>(m) > width - x)
                return fail();
            if (kFourBit) {
                FillPlane8(row + x, 2, 0, value[v >> 4], (m + 1) / 2, 1);
                FillPlane8(row + x + 1, 2, 0, value[v & 15], m / 2, 1);
            } else {
                FillBytes(row + x, value[v], m);
            }
            x += static_cast<int>(m);
            continue;
        }
        switch (v) {
        case 0: // end of line
            --y;
            x = 0;
            if (stripBottom - y == stripRows || y < 0) {
                transfer(stripBottom - y);
                if (y < 0) // top row complete: whatever follows is ignored
                    return done();
                stripBottom = y;
            }
            row = base + static_cast<long>(stripBottom - y) * stride;
            break;
        case 1: // end of bitmap
            transfer(stripBottom - y + (x > 0 ? 1 : 0));
            return done();
        case 2: { // delta
            if (!in.Need(2))
                return fail();
            const int dx = in.Data()[0];
            const int dy = in.Data()[1];
            in.Consume(2);
            if (dy > 0) {
                if (y - dy < 0)
                    return fail();
                transfer(stripBottom - y + (x > 0 ? 1 : 0));
                stripBottom = y = y - dy;
                row = base;
            }
            if (dx > 0) {
                if (x + dx >= width)
                    return fail();
                x += dx;
            }
            break;
        }
        default: { // literal run of v pixels
            const unsigned n = v;
            unsigned bytes = kFourBit ? (n + 1) / 2 : n;
            bytes += bytes & 1;
            if (!in.Need(bytes))
                return fail();
            if (static_cast<int>(n) > width - x)
                return fail();
            const unsigned char* src = in.Data();
            unsigned char* dst = row + x;
            if (kFourBit) {
                for (unsigned i = 0; i < n; ++i) {
                    const unsigned byte = src[i >> 1];
                    dst[i] = value[(i & 1) ? (byte & 15) : (byte >> 4)];
                }
            } else if (greyOf) {
                for (unsigned i = 0; i < n; ++i)
                    dst[i] = greyOf[src[i]];
            } else {
                CopyBytes(dst, src, n);
            }
            x += static_cast<int>(n);
            in.Consume(bytes);
            break;
        }
        }
    }
}

} // namespace

bool DecodeRle8(CFile& file, CImage& image, CPixMap& strip, const unsigned char* greyOf, CIO::IOError& error)
{
    return Decode<false>(file, image, strip, greyOf, error);
}

bool DecodeRle4(CFile& file, CImage& image, CPixMap& strip, const unsigned char* greyOf, CIO::IOError& error)
{
    return Decode<true>(file, image, strip, greyOf, error);
}

} // namespace bmp
