// Row kernels of the BMP codec, internal to the Bmp library: unpacking file rows of
// every bit count into 8-bit samples, and the red/blue exchange of 24-bit rows.
// Each fast kernel has a plain reference beside it; the tests compare the two.
//
// File pixel layouts (little-endian, first pixel first):
//   1 bit   eight pixels per byte, first pixel in the most significant bit
//   4 bits  two pixels per byte, first pixel in the high nibble
//   8 bits  one index per byte
//   16 bits one little-endian word per pixel, channels selected by bit masks
//   24 bits blue, green, red
//   32 bits one little-endian double word per pixel, channels selected by bit masks
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TESSERA_BMP_X86 1
#endif

namespace bmp {

// Exchanges bytes 0 and 2 of each of `pixels` three-byte pixels, in place.
inline void SwapRedBlueReference(unsigned char* p, size_t pixels)
{
    for (size_t i = 0; i < pixels; ++i, p += 3) {
        const unsigned char t = p[0];
        p[0] = p[2];
        p[2] = t;
    }
}

#if TESSERA_BMP_X86
// Five pixels (15 bytes) per 16-byte load; byte 15 is stored back unchanged and
// re-read as the first byte of the next step.
__attribute__((target("ssse3"))) inline void SwapRedBlueSsse3(unsigned char* p, size_t pixels)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    size_t i = 0;
    // 16-byte loads may touch one byte past the five pixels: stop while 6 remain.
    for (; i + 6 <= pixels; i += 5, p += 15) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_shuffle_epi8(v, order));
    }
    SwapRedBlueReference(p, pixels - i);
}

inline bool HaveSsse3()
{
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}
#endif

inline void SwapRedBlue(unsigned char* p, size_t pixels)
{
#if TESSERA_BMP_X86
    if (HaveSsse3()) {
        SwapRedBlueSsse3(p, pixels);
        return;
    }
#endif
    SwapRedBlueReference(p, pixels);
}

// 1-bit row of `width` pixels -> one index (0 or 1) per byte, mapped through value.
inline void Unpack1(const unsigned char* src, int width, unsigned char* dst, const unsigned char* value)
{
    int x = 0;
    for (; x + 8 <= width; x += 8, ++src) {
        const unsigned b = *src;
        for (int k = 0; k < 8; ++k)
            dst[x + k] = value[(b >> (7 - k)) & 1];
    }
    if (x < width) {
        const unsigned b = *src;
        for (int k = 0; x < width; ++k, ++x)
            dst[x] = value[(b >> (7 - k)) & 1];
    }
}

// 4-bit row -> one index (0 to 15) per byte, mapped through value; with an odd
// width the last pixel is the high nibble of the last byte.
inline void Unpack4(const unsigned char* src, int width, unsigned char* dst, const unsigned char* value)
{
    int x = 0;
    for (; x + 2 <= width; x += 2, ++src) {
        dst[x] = value[*src >> 4];
        dst[x + 1] = value[*src & 15];
    }
    if (x < width)
        dst[x] = value[*src >> 4];
}

// How one channel sits in a 16- or 32-bit pixel: (pixel & mask) >> shift gives a
// value of `bits` bits, widened to 8 bits by `scale` (bits <= 8) or by dropping the
// low bits (bits > 8). A zero mask gives 0.
struct ChannelMask {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    unsigned char scale[256] = {};

    void Set(uint32_t m)
    {
        mask = m;
        shift = 0;
        bits = 0;
        if (m == 0)
            return;
        while (!((m >> shift) & 1))
            ++shift;
        uint32_t rest = m >> shift;
        while (rest) {
            ++bits;
            rest >>= 1;
        }
        if (bits <= 8) {
            // Rounded to nearest: full scale maps to 255, 0 to 0.
            const uint32_t top = (1u << bits) - 1;
            for (uint32_t v = 0; v <= top; ++v)
                scale[v] = static_cast<unsigned char>((v * 255 + top / 2) / top);
        }
    }
    unsigned char Get(uint32_t pixel) const
    {
        const uint32_t v = (pixel & mask) >> shift;
        if (bits <= 8)
            return scale[v];
        return static_cast<unsigned char>(v >> (bits - 8));
    }
};

// The four channel masks of a 16- or 32-bit file. alpha.mask == 0 means no alpha.
struct PixelMasks {
    ChannelMask red, green, blue, alpha;
};

// 16- or 32-bit row -> red, green, blue (3 samples a pixel) or alpha, red, green,
// blue (4 samples a pixel, when masks.alpha.mask is not 0).
inline void UnpackMasked(const unsigned char* src, int width, int bytesPerPixel, PixelMasks const& masks,
                         unsigned char* dst)
{
    const bool alpha = masks.alpha.mask != 0;
    for (int x = 0; x < width; ++x, src += bytesPerPixel) {
        uint32_t px = src[0] | (static_cast<uint32_t>(src[1]) << 8);
        if (bytesPerPixel == 4)
            px |= (static_cast<uint32_t>(src[2]) << 16) | (static_cast<uint32_t>(src[3]) << 24);
        if (alpha)
            *dst++ = masks.alpha.Get(px);
        dst[0] = masks.red.Get(px);
        dst[1] = masks.green.Get(px);
        dst[2] = masks.blue.Get(px);
        dst += 3;
    }
}

// 32-bit rows with the usual byte masks (red 0x00FF0000, green 0x0000FF00, blue
// 0x000000FF, alpha 0xFF000000 or none): bytes blue, green, red, alpha per pixel.
inline void Unpack32Bgrx(const unsigned char* src, int width, unsigned char* dst)
{
    for (int x = 0; x < width; ++x, src += 4, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
    }
}

inline void Unpack32Bgra(const unsigned char* src, int width, unsigned char* dst)
{
    for (int x = 0; x < width; ++x, src += 4, dst += 4) {
        dst[0] = src[3];
        dst[1] = src[2];
        dst[2] = src[1];
        dst[3] = src[0];
    }
}

} // namespace bmp
