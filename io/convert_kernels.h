// Colour kernels of the mode conversion, internal to the IO library.
//
// Every kernel rewrites one tile held in two interleaved maps: source channel k of
// pixel x in a row is sample x * srcStep + k (16-bit samples: two bytes, low byte
// first); the kernel reads the colour channels from srcOffset (1 when the source
// has alpha, else 0) and writes red, green, blue at dstOffset (1 when alpha stays).
// Each kernel has a plain per-pixel reference (the arithmetic as written, one pixel
// at a time) and a fast tile loop; the two give the same bytes for every input.
#pragma once

#include "image/Image.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace convert {

// One tile: steps in samples, row strides in bytes, width and height in pixels.
struct TileArgs {
    const unsigned char* src;
    int srcStep;
    int srcRowStride;
    int srcOffset;
    unsigned char* dst;
    int dstStep;
    int dstRowStride;
    int dstOffset;
    int width;
    int height;
};

enum class Kernel {
    GreyExpand8,  // IM_GRAY -> RGB
    GreyExpand16, // IM_GRAY16 -> RGB, high byte
    Palette,      // IM_INDEXED -> RGB
    Hls,
    Hsv,
    Ycc,
};

// The three colour tables of the palette kernel, built from a colour table: entries
// at or above colorCount stay black.
struct PaletteTables {
    unsigned char red[256];
    unsigned char green[256];
    unsigned char blue[256];
    std::uint32_t packed[256]; // red, green, blue, 0 in memory order
    explicit PaletteTables(CLut const& lut);
};

// Constant tables, 256 entries indexed by a sample value.
extern const std::array<std::int16_t, 256> kHue;       // (3 i + 1) div 2: 0 to 383
extern const std::array<std::int16_t, 256> kCrToRed;   // (91881 (i - 128) + 32768) >> 16
extern const std::array<std::int16_t, 256> kCbToBlue;  // (116130 (i - 128) + 32768) >> 16
extern const std::array<std::int32_t, 256> kCrToGreen; // -46802 (i - 128)
extern const std::array<std::int32_t, 256> kCbToGreen; // -22554 (i - 128) + 32768

// Per-pixel references: the arithmetic exactly as stated, results in rgb[0..2].
void ReferenceHls(int hue, int lightness, int saturation, unsigned char rgb[3]);
void ReferenceHsv(int hue, int saturation, int value, unsigned char rgb[3]);
void ReferenceYcc(int y, int cb, int cr, unsigned char rgb[3]);

// Plain tile kernel: the per-pixel references, one pixel at a time.
void ReferenceKernel(Kernel kernel, TileArgs const& tile, PaletteTables const* palette);
// The tile kernel the conversion runs.
void FastKernel(Kernel kernel, TileArgs const& tile, PaletteTables const* palette);

// Loops for processors with AVX-512 VBMI (convert_kernels_vbmi.cpp), built on
// x86-64 with GCC or Clang; FastKernel uses them where Available().
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CONVERT_VBMI_BUILT 1
namespace vbmi {
bool Available();
// Channels of n three-sample pixels into three arrays, and back.
void Split3(const unsigned char* s, int n, unsigned char* c0, unsigned char* c1, unsigned char* c2);
void Join3(unsigned char* d, int n, const unsigned char* r, const unsigned char* g, const unsigned char* b);
// Tiles of one sample in (palette) or three (the others) and three out, no alpha.
void PaletteRows(TileArgs const& tile, PaletteTables const& palette);
void YccRows(TileArgs const& tile);
void HsvRows(TileArgs const& tile);
void HlsRows(TileArgs const& tile);
// dst[i] = the high byte of 16-bit sample i of src (low byte first), count samples;
// stream: with streaming stores, for targets far larger than the caches.
void HighBytes(const unsigned char* src, unsigned char* dst, size_t count, bool stream);
} // namespace vbmi
#endif

} // namespace convert
