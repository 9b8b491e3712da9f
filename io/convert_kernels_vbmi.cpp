// Conversion loops for processors with AVX-512 VBMI: 64 pixels per step.
//
// Three 64-byte vectors hold 64 interleaved three-sample pixels: byte n is channel
// n mod 3 of pixel n div 3. Byte permutes over two vectors (128 bytes) split and
// join them, and a masked permute brings in the third vector's bytes. Arithmetic
// runs in 16-bit lanes, widened within each 128-bit lane so that the saturating
// packs restore the pixel order (and clamp to 0..255). A row's last width mod 64
// pixels go through the block code in a padded copy.
#include "io/convert_kernels.h"

#if defined(CONVERT_VBMI_BUILT)

#include <immintrin.h>

#include <cstdint>
#include <cstring>

namespace convert {
namespace vbmi {

namespace {

#define VBMI_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi")))

struct Interleaving {
    // Join, output vector k: channels 0 and 1 from (c0, c1), then channel 2's bytes.
    alignas(64) unsigned char joinFirstTwo[3][64];
    alignas(64) unsigned char joinThird[3][64];
    std::uint64_t joinThirdBytes[3];
    // Split, channel c: its bytes in the first two input vectors, then in the third.
    alignas(64) unsigned char splitFirstTwo[3][64];
    alignas(64) unsigned char splitThird[3][64];
    std::uint64_t splitThirdBytes[3];
    Interleaving()
    {
        for (int k = 0; k < 3; ++k) {
            joinThirdBytes[k] = splitThirdBytes[k] = 0;
            for (int j = 0; j < 64; ++j) {
                const int n = 64 * k + j, pixel = n / 3, channel = n % 3;
                joinFirstTwo[k][j] = static_cast<unsigned char>(channel == 1 ? 64 + pixel : pixel);
                joinThird[k][j] = static_cast<unsigned char>(pixel);
                if (channel == 2)
                    joinThirdBytes[k] |= std::uint64_t{1} << j;
                const int m = 3 * j + k; // channel k of pixel j
                splitFirstTwo[k][j] = static_cast<unsigned char>(m < 128 ? m : 0);
                splitThird[k][j] = static_cast<unsigned char>(m < 128 ? 0 : m - 128);
                if (m >= 128)
                    splitThirdBytes[k] |= std::uint64_t{1} << j;
            }
        }
    }
};

Interleaving const& Interleave()
{
    static const Interleaving tables;
    return tables;
}

struct Permutes {
    __m512i firstTwo[3], third[3];
    __mmask64 thirdBytes[3];
};

VBMI_TARGET inline Permutes LoadPermutes(const unsigned char (*firstTwo)[64], const unsigned char (*third)[64],
                                         const std::uint64_t* thirdBytes)
{
    Permutes v;
    for (int k = 0; k < 3; ++k) {
        v.firstTwo[k] = _mm512_load_si512(firstTwo[k]);
        v.third[k] = _mm512_load_si512(third[k]);
        v.thirdBytes[k] = thirdBytes[k];
    }
    return v;
}

VBMI_TARGET inline Permutes LoadJoin()
{
    Interleaving const& t = Interleave();
    return LoadPermutes(t.joinFirstTwo, t.joinThird, t.joinThirdBytes);
}

VBMI_TARGET inline Permutes LoadSplit()
{
    Interleaving const& t = Interleave();
    return LoadPermutes(t.splitFirstTwo, t.splitThird, t.splitThirdBytes);
}

// Channel k of the 64 pixels held in 192 bytes at s.
VBMI_TARGET inline void Split64(Permutes const& v, const unsigned char* s, __m512i c[3])
{
    const __m512i v0 = _mm512_loadu_si512(s), v1 = _mm512_loadu_si512(s + 64), v2 = _mm512_loadu_si512(s + 128);
    for (int k = 0; k < 3; ++k)
        c[k] = _mm512_mask_permutexvar_epi8(_mm512_permutex2var_epi8(v0, v.firstTwo[k], v1), v.thirdBytes[k],
                                            v.third[k], v2);
}

// 64 pixels from three channel vectors into 192 bytes at d.
VBMI_TARGET inline void Join64(Permutes const& v, __m512i c0, __m512i c1, __m512i c2, unsigned char* d)
{
    for (int k = 0; k < 3; ++k) {
        const __m512i two = _mm512_permutex2var_epi8(c0, v.firstTwo[k], c1);
        _mm512_storeu_si512(d + 64 * k, _mm512_mask_permutexvar_epi8(two, v.thirdBytes[k], v.third[k], c2));
    }
}

// Runs block(s, d) over every 64 pixels of each row (InBytes bytes in and three
// out per pixel; no alpha on either side); the last width mod 64 pixels go through
// the block in zero-padded copies.
template <int InBytes, typename Block>
VBMI_TARGET void Rows(TileArgs const& t, Block const& block)
{
    for (int row = 0; row < t.height; ++row) {
        const unsigned char* s = t.src + static_cast<long>(row) * t.srcRowStride;
        unsigned char* d = t.dst + static_cast<long>(row) * t.dstRowStride;
        const int n = t.width;
        int x = 0;
        for (; x + 64 <= n; x += 64)
            block(s + InBytes * x, d + 3 * x);
        if (x < n) {
            alignas(64) unsigned char in[64 * InBytes] = {};
            alignas(64) unsigned char out[192];
            std::memcpy(in, s + InBytes * x, static_cast<size_t>(n - x) * InBytes);
            block(in, out);
            std::memcpy(d + 3 * x, out, static_cast<size_t>(n - x) * 3);
        }
    }
}

// ---- Y/Cb/Cr ----

// floor((f x + 32768) / 65536) for 16-bit x and f, from the high and low halves of
// the 32-bit product: the low half rounds up when its top bit is set.
VBMI_TARGET inline __m512i RoundedHigh(__m512i x, __m512i f)
{
    return _mm512_add_epi16(_mm512_mulhi_epi16(x, f), _mm512_srli_epi16(_mm512_mullo_epi16(x, f), 15));
}

// Y/Cb/Cr of 32 pixels in 16-bit lanes (cb and cr less 128) to red, green and blue
// before clamping, the 16.16 arithmetic of the tables rewritten so that every
// product fits 16 bits or one pairwise multiply-add:
//   91881 c = 65536 c + 26345 c;  116130 b = 131072 b - 14942 b;
//   -22554 b - 46802 c = -65536 c + (-22554 b + 18734 c).
VBMI_TARGET inline void Ycc32(__m512i y, __m512i b, __m512i c, __m512i rgb[3])
{
    rgb[0] = _mm512_add_epi16(_mm512_add_epi16(y, c), RoundedHigh(c, _mm512_set1_epi16(26345)));
    rgb[2] = _mm512_add_epi16(_mm512_add_epi16(y, _mm512_add_epi16(b, b)), RoundedHigh(b, _mm512_set1_epi16(-14942)));
    const __m512i weights =
        _mm512_set1_epi32(static_cast<int>((18734u << 16) | (static_cast<unsigned>(-22554) & 0xFFFFu)));
    const __m512i half = _mm512_set1_epi32(32768);
    // (The zero-masked shift is the plain one with every lane kept; GCC 12 warns
    // about the undefined pass-through of the unmasked form.)
    const __mmask16 all = 0xFFFF;
    const __m512i lo = _mm512_maskz_srai_epi32(
        all, _mm512_add_epi32(_mm512_madd_epi16(_mm512_unpacklo_epi16(b, c), weights), half), 16);
    const __m512i hi = _mm512_maskz_srai_epi32(
        all, _mm512_add_epi32(_mm512_madd_epi16(_mm512_unpackhi_epi16(b, c), weights), half), 16);
    rgb[1] = _mm512_add_epi16(_mm512_sub_epi16(y, c), _mm512_packs_epi32(lo, hi));
}

struct YccBlock {
    Permutes split, join;
    VBMI_TARGET YccBlock() : split(LoadSplit()), join(LoadJoin()) {}
    VBMI_TARGET void operator()(const unsigned char* s, unsigned char* d) const
    {
        const __m512i zero = _mm512_setzero_si512(), bias = _mm512_set1_epi16(128);
        __m512i c[3];
        Split64(split, s, c);
        __m512i lo[3], hi[3];
        Ycc32(_mm512_unpacklo_epi8(c[0], zero), _mm512_sub_epi16(_mm512_unpacklo_epi8(c[1], zero), bias),
              _mm512_sub_epi16(_mm512_unpacklo_epi8(c[2], zero), bias), lo);
        Ycc32(_mm512_unpackhi_epi8(c[0], zero), _mm512_sub_epi16(_mm512_unpackhi_epi8(c[1], zero), bias),
              _mm512_sub_epi16(_mm512_unpackhi_epi8(c[2], zero), bias), hi);
        Join64(join, _mm512_packus_epi16(lo[0], hi[0]), _mm512_packus_epi16(lo[1], hi[1]),
               _mm512_packus_epi16(lo[2], hi[2]), d);
    }
};

// ---- HSV and HLS: top, middle and bottom components placed by hue sector ----

// x div 255 for any 16-bit x, and x div 63 for x up to 63 x 255 (both checked
// over their whole range).
VBMI_TARGET inline __m512i Div255x16(__m512i x)
{
    return _mm512_srli_epi16(_mm512_mulhi_epu16(x, _mm512_set1_epi16(static_cast<short>(0x8081))), 7);
}

VBMI_TARGET inline __m512i Div63x16(__m512i x)
{
    return _mm512_srli_epi16(_mm512_mulhi_epu16(x, _mm512_set1_epi16(static_cast<short>(0x8209))), 5);
}

// Hue h = (3 H + 1) div 2: sector h div 64, position f = h mod 64, and which
// sectors are odd.
struct HueSector {
    __m512i sector, f;
    __mmask32 odd;
};

VBMI_TARGET inline HueSector SectorOf(__m512i hue)
{
    const __m512i one = _mm512_set1_epi16(1);
    const __m512i h = _mm512_srli_epi16(_mm512_add_epi16(_mm512_add_epi16(hue, _mm512_add_epi16(hue, hue)), one), 1);
    HueSector s;
    s.sector = _mm512_srli_epi16(h, 6);
    s.f = _mm512_and_si512(h, _mm512_set1_epi16(63));
    s.odd = _mm512_test_epi16_mask(s.sector, one);
    return s;
}

// Top, middle, bottom and sector of 32 pixels (channels 0 to 2 in 16-bit lanes):
// the same arithmetic as the array passes of the other builds.
VBMI_TARGET inline void Hsv32(__m512i hue, __m512i saturation, __m512i value, __m512i out[4])
{
    const HueSector s = SectorOf(hue);
    const __m512i c63 = _mm512_set1_epi16(63), c255 = _mm512_set1_epi16(255);
    const __m512i g = _mm512_mask_blend_epi16(s.odd, _mm512_sub_epi16(c63, s.f), s.f);
    const __m512i gs = Div63x16(_mm512_mullo_epi16(g, saturation));
    out[0] = value;
    out[1] = Div255x16(_mm512_mullo_epi16(_mm512_sub_epi16(c255, gs), value));
    out[2] = Div255x16(_mm512_mullo_epi16(_mm512_sub_epi16(c255, saturation), value));
    out[3] = s.sector;
}

VBMI_TARGET inline void Hls32(__m512i hue, __m512i lightness, __m512i saturation, __m512i out[4])
{
    const HueSector s = SectorOf(hue);
    const __m512i k = _mm512_mask_blend_epi16(s.odd, s.f, _mm512_sub_epi16(_mm512_set1_epi16(64), s.f));
    const __m512i ls = Div255x16(_mm512_mullo_epi16(lightness, saturation));
    const __mmask32 dark = _mm512_cmple_epu16_mask(lightness, _mm512_set1_epi16(128));
    const __m512i m2 = _mm512_mask_blend_epi16(dark, _mm512_sub_epi16(_mm512_add_epi16(lightness, saturation), ls),
                                               _mm512_add_epi16(lightness, ls));
    const __m512i m1 = _mm512_sub_epi16(_mm512_add_epi16(lightness, lightness), m2);
    const __m512i mid = _mm512_add_epi16(m1, _mm512_srli_epi16(_mm512_mullo_epi16(_mm512_sub_epi16(m2, m1), k), 6));
    out[0] = m2; // 256 at most: the saturating pack stores it as 255
    out[1] = mid;
    out[2] = m1;
    out[3] = s.sector;
}

// Sector s places top, middle and bottom as (top, middle, bottom), (middle, top,
// bottom), (bottom, top, middle), (bottom, middle, top), (middle, bottom, top),
// (top, bottom, middle) in red, green, blue; 64 pixels of bytes.
VBMI_TARGET inline void Place64(__m512i sector, __m512i top, __m512i mid, __m512i bottom, __m512i rgb[3])
{
    __mmask64 in[6];
    for (int k = 0; k < 6; ++k)
        in[k] = _mm512_cmpeq_epi8_mask(sector, _mm512_set1_epi8(static_cast<char>(k)));
    const __mmask64 topIn[3] = {in[0] | in[5], in[1] | in[2], in[3] | in[4]};
    const __mmask64 midIn[3] = {in[1] | in[4], in[0] | in[3], in[2] | in[5]};
    for (int c = 0; c < 3; ++c)
        rgb[c] = _mm512_mask_blend_epi8(topIn[c], _mm512_mask_blend_epi8(midIn[c], bottom, mid), top);
}

template <void (*Op)(__m512i, __m512i, __m512i, __m512i*)>
struct HueBlock {
    Permutes split, join;
    VBMI_TARGET HueBlock() : split(LoadSplit()), join(LoadJoin()) {}
    VBMI_TARGET void operator()(const unsigned char* s, unsigned char* d) const
    {
        const __m512i zero = _mm512_setzero_si512();
        __m512i c[3];
        Split64(split, s, c);
        __m512i lo[4], hi[4];
        Op(_mm512_unpacklo_epi8(c[0], zero), _mm512_unpacklo_epi8(c[1], zero), _mm512_unpacklo_epi8(c[2], zero), lo);
        Op(_mm512_unpackhi_epi8(c[0], zero), _mm512_unpackhi_epi8(c[1], zero), _mm512_unpackhi_epi8(c[2], zero), hi);
        __m512i rgb[3];
        Place64(_mm512_packus_epi16(lo[3], hi[3]), _mm512_packus_epi16(lo[0], hi[0]), _mm512_packus_epi16(lo[1], hi[1]),
                _mm512_packus_epi16(lo[2], hi[2]), rgb);
        Join64(join, rgb[0], rgb[1], rgb[2], d);
    }
};

// ---- palette ----

// Each channel looked up in its 256-entry table as two 128-entry byte permutes
// picked by the index's top bit.
struct PaletteBlock {
    __m512i table[3][4];
    Permutes join;
    VBMI_TARGET explicit PaletteBlock(PaletteTables const& p) : join(LoadJoin())
    {
        const unsigned char* channels[3] = {p.red, p.green, p.blue};
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 4; ++i)
                table[c][i] = _mm512_loadu_si512(channels[c] + 64 * i);
    }
    VBMI_TARGET void operator()(const unsigned char* s, unsigned char* d) const
    {
        const __m512i index = _mm512_loadu_si512(s);
        const __mmask64 top = _mm512_movepi8_mask(index);
        __m512i c[3];
        for (int k = 0; k < 3; ++k)
            c[k] = _mm512_mask_blend_epi8(top, _mm512_permutex2var_epi8(table[k][0], index, table[k][1]),
                                          _mm512_permutex2var_epi8(table[k][2], index, table[k][3]));
        Join64(join, c[0], c[1], c[2], d);
    }
};

} // namespace

bool Available()
{
    static const bool has = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    return has;
}

VBMI_TARGET void Split3(const unsigned char* __restrict s, int n, unsigned char* __restrict c0,
                        unsigned char* __restrict c1, unsigned char* __restrict c2)
{
    const Permutes split = LoadSplit();
    unsigned char* out[3] = {c0, c1, c2};
    int x = 0;
    for (; x + 64 <= n; x += 64) {
        __m512i c[3];
        Split64(split, s + 3 * x, c);
        for (int k = 0; k < 3; ++k)
            _mm512_storeu_si512(out[k] + x, c[k]);
    }
    for (; x < n; ++x) {
        c0[x] = s[3 * x];
        c1[x] = s[3 * x + 1];
        c2[x] = s[3 * x + 2];
    }
}

VBMI_TARGET void Join3(unsigned char* __restrict d, int n, const unsigned char* __restrict r,
                       const unsigned char* __restrict g, const unsigned char* __restrict b)
{
    const Permutes join = LoadJoin();
    int x = 0;
    for (; x + 64 <= n; x += 64)
        Join64(join, _mm512_loadu_si512(r + x), _mm512_loadu_si512(g + x), _mm512_loadu_si512(b + x), d + 3 * x);
    for (; x < n; ++x) {
        d[3 * x] = r[x];
        d[3 * x + 1] = g[x];
        d[3 * x + 2] = b[x];
    }
}

VBMI_TARGET void PaletteRows(TileArgs const& t, PaletteTables const& p)
{
    Rows<1>(t, PaletteBlock(p));
}

VBMI_TARGET void YccRows(TileArgs const& t)
{
    Rows<3>(t, YccBlock());
}

VBMI_TARGET void HsvRows(TileArgs const& t)
{
    Rows<3>(t, HueBlock<Hsv32>());
}

VBMI_TARGET void HlsRows(TileArgs const& t)
{
    Rows<3>(t, HueBlock<Hls32>());
}

// The high bytes of 64 16-bit samples: two vectors shifted down, packed (per
// 128-bit lane) and put back in order. (The zero-masked permute keeps every lane;
// GCC 12 warns about the undefined pass-through of the unmasked form.)
VBMI_TARGET inline __m512i HighBytes64(__m512i order, const unsigned char* s)
{
    const __m512i a = _mm512_srli_epi16(_mm512_loadu_si512(s), 8);
    const __m512i b = _mm512_srli_epi16(_mm512_loadu_si512(s + 64), 8);
    return _mm512_maskz_permutexvar_epi64(0xFF, order, _mm512_packus_epi16(a, b));
}

VBMI_TARGET void HighBytes(const unsigned char* src, unsigned char* dst, size_t count, bool stream)
{
    const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    size_t i = 0;
    if (stream) {
        // Streaming stores need 64-byte aligned targets; they skip reading each
        // line before overwriting it, which pays when the target is far larger
        // than the caches and the source streams through them at the same time.
        for (; i < count && (reinterpret_cast<std::uintptr_t>(dst + i) & 63) != 0; ++i)
            dst[i] = src[2 * i + 1];
        for (; i + 64 <= count; i += 64)
            _mm512_stream_si512(reinterpret_cast<__m512i*>(dst + i), HighBytes64(order, src + 2 * i));
        _mm_sfence();
    }
    for (; i + 64 <= count; i += 64)
        _mm512_storeu_si512(dst + i, HighBytes64(order, src + 2 * i));
    for (; i < count; ++i)
        dst[i] = src[2 * i + 1];
}

} // namespace vbmi
} // namespace convert

#endif
