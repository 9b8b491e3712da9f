// RLE8 and RLE4 decoding of BMP pixel data (item layout in rle.h).
//
// Rows are built bottom-up into the strip buffer: strip row k holds image row
// stripBottom - k. A strip is handed to the image when it holds min(256, height)
// complete rows, when a delta moves up (the rows so far, the current one if begun),
// at the end of the bitmap, and when the top row is complete -- after which the rest
// of the stream is not read, so nothing can land outside the image. Rows a delta
// skips are never transferred and keep the image's initial 0.
//
// Every pixel of a transferred row is either set by an item or cleared where the
// stream leaves a gap (a delta's skip, a row ended early), so unset pixels are 0 and
// the strip never needs clearing as a whole. Because items fill each row left to
// right and gaps are cleared explicitly, short runs and literals are written with
// fixed-size stores that may run past their end (kOvershoot bytes at most, into
// columns or rows not yet decoded, or into the strip's slack rows): later items or
// gap fills overwrite them before the row is transferred.
#include "bmp/rle.h"

#include "image/Planes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace bmp {
namespace {

// The RLE input block. Bytes not yet consumed are p[0..avail); a refill seeks back
// over them and reads the block anew from there, so items straddling the end of a
// block are read again rather than moved.
class RleInput {
public:
    // kOvershoot bytes of slack: fixed-size literal copies may read past the item
    // (bytes that later items overwrite).
    explicit RleInput(CFile& file) : file_(file), block_(new unsigned char[kRleBlockBytes + kOvershoot])
    {
        std::memset(block_.get() + kRleBlockBytes, 0, kOvershoot);
    }

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
    unsigned Avail() const { return avail_; }
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

    int y = height - 1;        // current image row
    int stripBottom = y;       // image row of strip row 0
    int x = 0;                 // current column
    unsigned char* row = base; // strip row of y

    unsigned char identity[256];
    if (!greyOf) {
        for (int i = 0; i < 256; ++i)
            identity[i] = static_cast<unsigned char>(i);
    }
    const unsigned char* value = greyOf ? greyOf : identity;

    // Clears columns [from, to) of the current row: pixels the stream skips are 0.
    auto clear = [&](int from, int to) {
        if (to > from)
            FillBytes(row + from, 0, static_cast<unsigned>(to - from));
    };
    // Hands strip rows 0 .. count - 1 (image rows stripBottom down to
    // stripBottom - count + 1) to the image, addressing the strip bottom-up.
    auto transfer = [&](int count) {
        if (count <= 0)
            return;
        strip.height = count;
        strip.plane[0].data = base + static_cast<long>(count - 1) * stride;
        strip.plane[0].rowStride = -stride;
        image.SetBuf(0, stripBottom - count + 1, strip, MM_CLIP, 1);
        strip.plane[0].data = base;
        strip.plane[0].rowStride = stride;
    };
    // The rows so far, the current one too when begun (its rest cleared).
    auto flush = [&]() {
        if (x > 0)
            clear(x, width);
        transfer(stripBottom - y + (x > 0 ? 1 : 0));
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

    // Indices stored as they are (RLE8 without grey mapping): runs and literals of up
    // to kOvershoot pixels are decoded without a branch on the item's kind, which in
    // photo-like data alternates unpredictably. Escapes leave to the general path.
    const bool fast = !kFourBit && !greyOf;
    constexpr unsigned kFastNeed = 2 + 256 + kOvershoot; // the longest item and its overread

    for (;;) {
        if (fast && in.Avail() >= kFastNeed) {
            // Locals, not the input object's fields: the pixel stores below may alias
            // anything, and reloading the read position after each would serialise.
            const unsigned char* const start = in.Data();
            const unsigned char* const last = start + (in.Avail() - kFastNeed);
            const unsigned char* p = start;
            unsigned char* const rowStart = row;
            int col = x;
            bool bad = false;
            while (p <= last) {
                const unsigned m = p[0];
                const unsigned v = p[1];
                if (m == 0 && v < 3)
                    break; // end of line, end of bitmap, delta
                const unsigned count = m ? m : v;
                if (static_cast<int>(count) > width - col) {
                    bad = true;
                    break;
                }
                unsigned char* dst = rowStart + col;
                if (count <= static_cast<unsigned>(kOvershoot)) {
                    // 32 bytes of either v repeated or the literal bytes; may overshoot.
                    const uint64_t repeat = m ? ~uint64_t{0} : 0;
                    const uint64_t fill = v * uint64_t{0x0101010101010101};
                    uint64_t words[4];
                    std::memcpy(words, p + 2, sizeof words);
                    for (uint64_t& w : words)
                        w = (fill & repeat) | (w & ~repeat);
                    std::memcpy(dst, words, sizeof words);
                } else if (m) {
                    FillBytes(dst, static_cast<int>(v), m);
                } else {
                    CopyBytes(dst, p + 2, v);
                }
                col += static_cast<int>(count);
                p += m ? 2 : 2 + v + (v & 1);
            }
            in.Consume(static_cast<unsigned>(p - start));
            x = col;
            if (bad)
                return fail();
        }

        if (!in.Need(2))
            return fail();
        const unsigned m = in.Data()[0];
        const unsigned v = in.Data()[1];
        in.Consume(2);

        if (m > 0) { // encoded run
            if (static_cast<int>(m) > width - x)
                return fail();
            unsigned char* dst = row + x;
            if (kFourBit) {
                const unsigned char hi = value[v >> 4], lo = value[v & 15];
                for (unsigned i = 0; i + 1 < m; i += 2) {
                    dst[i] = hi;
                    dst[i + 1] = lo;
                }
                if (m & 1)
                    dst[m - 1] = hi;
            } else if (m <= 16) {
                FillBytes(dst, value[v], 16); // may overshoot: see the top of the file
            } else {
                FillBytes(dst, value[v], m);
            }
            x += static_cast<int>(m);
            continue;
        }
        switch (v) {
        case 0: // end of line
            clear(x, width);
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
            flush();
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
                flush();
                stripBottom = y = y - dy;
                row = base;
                clear(0, std::min(x, width));
            }
            if (dx > 0) {
                if (x + dx >= width)
                    return fail();
                clear(x, x + dx);
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
            } else if (n <= static_cast<unsigned>(kOvershoot)) {
                CopyBytes(dst, src, kOvershoot); // may overshoot: see the top of the file
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
