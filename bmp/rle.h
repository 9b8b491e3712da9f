// BMP run-length coding, internal to the Bmp library.
//
// An RLE stream is a sequence of byte pairs (count m, value v), rows bottom-up:
//   m > 0          m pixels of value v (RLE8) or of v's two nibbles alternating,
//                  high nibble first (RLE4)
//   0 0            end of line        0 1   end of bitmap
//   0 2 dx dy      move right dx and up dy pixels
//   0 n (n >= 3)   n literal pixels follow (RLE8: n bytes; RLE4: ceil(n / 2) bytes),
//                  padded to an even byte count
// The writer produces RLE8 only; the reader decodes both.
#pragma once

#include "image/Image.h"
#include "io/IO.h"
#include "platform/File.h"

#include <cstddef>
#include <cstring>

namespace bmp {

// RLE input is read in blocks of this many bytes.
constexpr unsigned kRleBlockBytes = 0x30000;

// The decoders write short runs and literals with fixed-size stores that may reach
// this many bytes past a row's last pixel: the strip buffer needs that much slack
// after its last full row.
constexpr int kOvershoot = 32;

// Rows to add to a strip of row stride `rowStride` bytes for that slack.
inline int RleSlackRows(int rowStride)
{
    return rowStride > 0 ? (kOvershoot + rowStride - 1) / rowStride : 1;
}

struct Run {
    bool repeat; // a repeat run (count, value) rather than a literal run
    int length;  // pixels, 1 to 255; literal runs are at least 3 long
};

// The run that starts at p[0], with `remaining` (>= 1) pixels left in the row. A
// literal run stops before two equal neighbours but keeps the first of them: the
// pixels a b e e f give the literal a b e, then runs from the second e on.
inline Run FindRun(const unsigned char* p, int remaining)
{
    if (remaining <= 1)
        return Run{true, 1};
    const int limit = remaining < 255 ? remaining : 255;
    int i = 2;
    if (p[0] == p[1]) {
        while (i < limit && p[i] == p[0])
            ++i;
        return Run{true, i};
    }
    while (i < limit && p[i] != p[i - 1])
        ++i;
    if (i == 2)
        return Run{true, 1};
    return Run{false, i};
}

// Worst case of EncodeRle8Row: two bytes per pixel plus the end-of-line pair.
inline size_t Rle8RowBound(int width)
{
    return 2 * static_cast<size_t>(width) + 2;
}

// Encodes one row of 8-bit pixels, end-of-line pair included; returns the bytes written.
inline size_t EncodeRle8Row(const unsigned char* row, int width, unsigned char* out)
{
    unsigned char* o = out;
    for (int x = 0; x < width;) {
        const Run run = FindRun(row + x, width - x);
        if (run.repeat) {
            *o++ = static_cast<unsigned char>(run.length);
            *o++ = row[x];
        } else {
            *o++ = 0;
            *o++ = static_cast<unsigned char>(run.length);
            std::memcpy(o, row + x, static_cast<size_t>(run.length));
            o += run.length;
            if (run.length & 1)
                *o++ = 0;
        }
        x += run.length;
    }
    *o++ = 0;
    *o++ = 0;
    return static_cast<size_t>(o - out);
}

// Decode an RLE8 (compression 1) or RLE4 (compression 2) stream from the file's
// current position into image, through strip (the reader's interleaved 8-bit strip
// buffer, image width x min(256, height) rows plus RleSlackRows more). greyOf, when not null, maps each
// decoded index to the stored sample (IM_GRAY images); otherwise indices are stored.
// Pixels the stream never sets stay 0. Data after the top row is complete is not
// read. On success the file is left just after the last item used.
bool DecodeRle8(CFile& file, CImage& image, CPixMap& strip, const unsigned char* greyOf, CIO::IOError& error);
bool DecodeRle4(CFile& file, CImage& image, CPixMap& strip, const unsigned char* greyOf, CIO::IOError& error);

} // namespace bmp
