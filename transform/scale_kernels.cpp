// Bank filters and the bicubic rotation walk: the plain loops, and the SSE2 forms
// (x86-64 baseline) that must give exactly the same bytes. The AVX2 forms live in
// scale_kernels_avx2.cpp.
//
// Vector forms use pmaddwd on int16 samples and weights. 8-bit samples fit as they
// are; a 16-bit sample s is fed as s - 32768 (its top bit flipped) and the sum
// corrected by 32768 * (sum of weights), which is exact in 32-bit arithmetic because
// the true sum fits. Clamping to 0..255 is the pair of saturating packs.
#include "transform/scale_kernels.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace transform_internal {

namespace {

inline int Clamp8(int v)
{
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

inline int Clamp16(int v)
{
    return v < 0 ? 0 : v > 65535 ? 65535 : v;
}

bool AllocBank(WeightBank& bank, int stride, int round)
{
    bank.stride = stride;
    bank.maxTaps = 0;
    bank.round = round;
    bank.w = static_cast<int16_t*>(std::calloc(static_cast<size_t>(stride) * 256, sizeof(int16_t)));
    return bank.w != nullptr;
}

// Trims zero weights at both ends of one phase (logical weights in `logical`).
void StorePhase(WeightBank& bank, int phase, const int* logical, int taps, int offset)
{
    int lo = 0, hi = taps;
    while (lo < hi && logical[lo] == 0)
        ++lo;
    while (hi > lo && logical[hi - 1] == 0)
        --hi;
    int16_t* w = bank.w + static_cast<size_t>(phase) * bank.stride;
    int32_t sum = 0;
    for (int j = lo; j < hi; ++j) {
        w[j - lo] = static_cast<int16_t>(logical[j]);
        sum += logical[j];
    }
    bank.taps[phase] = hi - lo;
    if (hi - lo > bank.maxTaps)
        bank.maxTaps = hi - lo;
    bank.offset[phase] = offset - lo;
    bank.sum[phase] = sum;
}

int RoundUp16(int n)
{
    return (n + 15) & ~15;
}

} // namespace

bool BuildCubicBank(WeightBank& bank, CubicTable const& cubic)
{
    if (!AllocBank(bank, 16, 0))
        return false;
    for (int p = 0; p < 256; ++p) {
        CubicEntry const& e = cubic.entry[p];
        const int logical[4] = {e.w0, e.w1, e.w2, e.w3};
        StorePhase(bank, p, logical, 4, 1);
    }
    return true;
}

bool BuildFilterBank(WeightBank& bank, FilterTable const& table, bool packed)
{
    const int taps = static_cast<int>(table.taps);
    int* logical = static_cast<int*>(std::malloc(sizeof(int) * (taps > 0 ? taps : 1)));
    if (!logical || !AllocBank(bank, RoundUp16(taps > 0 ? taps : 1), 2048)) {
        std::free(logical);
        bank.w = nullptr;
        return false;
    }
    for (int p = 0; p < 256; ++p) {
        for (int j = 0; j < taps; ++j)
            logical[j] = FilterWeight(table, packed, p, static_cast<unsigned>(j));
        StorePhase(bank, p, logical, taps, table.offset[p]);
    }
    std::free(logical);
    return true;
}

void FreeBank(WeightBank& bank)
{
    std::free(bank.w);
    bank.w = nullptr;
}

// ---- plain loops ----

namespace {

template <typename T, int Max>
void HLinePlain(const T* line, const int32_t* first, const uint8_t* phase, int count, WeightBank const& bank, T* out)
{
    for (int k = 0; k < count; ++k) {
        const int p = phase[k];
        const int16_t* w = bank.w + static_cast<size_t>(p) * bank.stride;
        const T* s = line + first[k];
        int sum = bank.round;
        for (int j = 0; j < bank.taps[p]; ++j)
            sum += s[j] * w[j];
        sum >>= 12;
        out[k] = static_cast<T>(sum < 0 ? 0 : sum > Max ? Max : sum);
    }
}

void HLine8Plain(const uint8_t* line, const int32_t* first, const uint8_t* phase, int count, WeightBank const& bank,
                 uint8_t* out)
{
    HLinePlain<uint8_t, 255>(line, first, phase, count, bank, out);
}

void HLine16Plain(const uint16_t* line, const int32_t* first, const uint8_t* phase, int count,
                  WeightBank const& bank, uint16_t* out)
{
    HLinePlain<uint16_t, 65535>(line, first, phase, count, bank, out);
}

void VRow8Plain(const uint8_t* top, long rowStride, const int16_t* w, int taps, int round, int width, uint8_t* out)
{
    for (int c = 0; c < width; ++c) {
        int sum = round;
        const uint8_t* s = top + c;
        for (int j = 0; j < taps; ++j, s += rowStride)
            sum += *s * w[j];
        out[c] = static_cast<uint8_t>(Clamp8(sum >> 12));
    }
}

void VRow16Plain(const uint16_t* top, long rowStride, const int16_t* w, int taps, int round, int32_t /*wsum*/,
                 int width, uint16_t* out)
{
    const unsigned char* base = reinterpret_cast<const unsigned char*>(top);
    for (int c = 0; c < width; ++c) {
        int sum = round;
        const unsigned char* s = base + 2 * c;
        for (int j = 0; j < taps; ++j, s += rowStride) {
            uint16_t v;
            std::memcpy(&v, s, 2);
            sum += v * w[j];
        }
        out[c] = static_cast<uint16_t>(Clamp16(sum >> 12));
    }
}

void Rotate8Plain(uint8_t* dst, int dstStep, int dstRowStride, const uint8_t* src, int srcStep, int srcRowStride,
                  int sx0, int sy0, int colStepX, int colStepY, int rowStepX, int rowStepY, CubicTable const* cubic,
                  int count, int rows)
{
    for (int row = 0; row < rows; ++row, sx0 += rowStepX, sy0 += rowStepY, dst += dstRowStride) {
        int px = sx0, py = sy0;
        uint8_t* d = dst;
        for (int col = 0; col < count; ++col, px += colStepX, py += colStepY, d += dstStep) {
            const int nx = px >> 16, ny = py >> 16;
            CubicEntry const& wx = cubic->entry[(px & 0xFFFF) >> 8];
            CubicEntry const& wy = cubic->entry[(py & 0xFFFF) >> 8];
            const uint8_t* s = src + static_cast<long>(ny - 1) * srcRowStride + static_cast<long>(nx - 1) * srcStep;
            int h[4];
            for (int k = 0; k < 4; ++k, s += srcRowStride)
                h[k] = Clamp8((s[0] * wx.w0 + s[srcStep] * wx.w1 + s[2 * srcStep] * wx.w2 + s[3 * srcStep] * wx.w3) >>
                              12);
            *d = static_cast<uint8_t>(Clamp8((h[0] * wy.w0 + h[1] * wy.w1 + h[2] * wy.w2 + h[3] * wy.w3) >> 12));
        }
    }
}

void Gather8Plain(uint8_t* dst, const uint8_t* src, int step, int count)
{
    for (int k = 0; k < count; ++k)
        dst[k] = src[static_cast<long>(k) * step];
}

void Scatter8Plain(uint8_t* dst, int step, const uint8_t* src, int count)
{
    for (int k = 0; k < count; ++k)
        dst[static_cast<long>(k) * step] = src[k];
}

const ScaleKernels plainKernels = {HLine8Plain, HLine16Plain, VRow8Plain,  VRow16Plain,
                                   Gather8Plain, Scatter8Plain, Rotate8Plain};

} // namespace

ScaleKernels const* KernelsPlain()
{
    return &plainKernels;
}

// ---- SSE2 ----

#if defined(__SSE2__)

namespace {

// Sum of the four int32 lanes of each of a, b, c, d, as lanes 0..3.
inline __m128i Sum4(__m128i a, __m128i b, __m128i c, __m128i d)
{
    __m128i ab0 = _mm_unpacklo_epi32(a, b), ab1 = _mm_unpackhi_epi32(a, b);
    __m128i cd0 = _mm_unpacklo_epi32(c, d), cd1 = _mm_unpackhi_epi32(c, d);
    __m128i ab = _mm_add_epi32(ab0, ab1); // a0+a2 b0+b2 a1+a3 b1+b3
    __m128i cd = _mm_add_epi32(cd0, cd1);
    return _mm_add_epi32(_mm_unpacklo_epi64(ab, cd), _mm_unpackhi_epi64(ab, cd));
}

// Clamp of four int32 lanes to 0..65535, as four uint16 in the low half.
inline __m128i Pack16(__m128i v)
{
    const __m128i zero = _mm_setzero_si128();
    v = _mm_and_si128(v, _mm_cmpgt_epi32(v, zero));
    const __m128i top = _mm_set1_epi32(65535);
    __m128i over = _mm_cmpgt_epi32(v, top);
    v = _mm_or_si128(_mm_andnot_si128(over, v), _mm_and_si128(over, top));
    v = _mm_sub_epi32(v, _mm_set1_epi32(32768));
    v = _mm_packs_epi32(v, v);
    return _mm_xor_si128(v, _mm_set1_epi16(static_cast<short>(0x8000)));
}

// Dot product of one phase's weights with the line at s, as four partial int32 lanes.
inline __m128i Dot8(const uint8_t* s, const int16_t* w, int taps)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i acc = _mm_setzero_si128();
    for (int j = 0; j < taps; j += 8) {
        __m128i x = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + j)), zero);
        acc = _mm_add_epi32(acc, _mm_madd_epi16(x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + j))));
    }
    return acc;
}

inline __m128i Dot16(const uint16_t* s, const int16_t* w, int taps)
{
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
    __m128i acc = _mm_setzero_si128();
    for (int j = 0; j < taps; j += 8) {
        __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + j)), flip);
        acc = _mm_add_epi32(acc, _mm_madd_epi16(x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + j))));
    }
    return acc;
}

void HLine8Sse2(const uint8_t* line, const int32_t* first, const uint8_t* phase, int count, WeightBank const& bank,
                uint8_t* out)
{
    const __m128i round = _mm_set1_epi32(bank.round);
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        __m128i d[4];
        for (int i = 0; i < 4; ++i) {
            const int p = phase[k + i];
            d[i] = Dot8(line + first[k + i], bank.w + static_cast<size_t>(p) * bank.stride, bank.taps[p]);
        }
        __m128i v = _mm_srai_epi32(_mm_add_epi32(Sum4(d[0], d[1], d[2], d[3]), round), 12);
        v = _mm_packs_epi32(v, v);
        v = _mm_packus_epi16(v, v);
        const int four = _mm_cvtsi128_si32(v);
        std::memcpy(out + k, &four, 4);
    }
    if (k < count)
        HLine8Plain(line, first + k, phase + k, count - k, bank, out + k);
}

void HLine16Sse2(const uint16_t* line, const int32_t* first, const uint8_t* phase, int count,
                 WeightBank const& bank, uint16_t* out)
{
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        __m128i d[4];
        int32_t fix[4];
        for (int i = 0; i < 4; ++i) {
            const int p = phase[k + i];
            d[i] = Dot16(line + first[k + i], bank.w + static_cast<size_t>(p) * bank.stride, bank.taps[p]);
            fix[i] = static_cast<int32_t>(static_cast<uint32_t>(bank.sum[p]) * 32768u + static_cast<uint32_t>(bank.round));
        }
        __m128i v = _mm_add_epi32(Sum4(d[0], d[1], d[2], d[3]), _mm_loadu_si128(reinterpret_cast<const __m128i*>(fix)));
        v = Pack16(_mm_srai_epi32(v, 12));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), v);
    }
    if (k < count)
        HLine16Plain(line, first + k, phase + k, count - k, bank, out + k);
}

void VRow8Sse2(const uint8_t* top, long rowStride, const int16_t* w, int taps, int round, int width, uint8_t* out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i r = _mm_set1_epi32(round);
    int c = 0;
    for (; c + 16 <= width; c += 16) {
        __m128i a0 = r, a1 = r, a2 = r, a3 = r;
        const uint8_t* s = top + c;
        int j = 0;
        for (; j + 2 <= taps; j += 2, s += 2 * rowStride) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + rowStride));
            const __m128i wp = _mm_set1_epi32(static_cast<int>((static_cast<uint32_t>(static_cast<uint16_t>(w[j + 1])) << 16) |
                                                               static_cast<uint16_t>(w[j])));
            const __m128i lo = _mm_unpacklo_epi8(x, y), hi = _mm_unpackhi_epi8(x, y);
            a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi8(lo, zero), wp));
            a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi8(lo, zero), wp));
            a2 = _mm_add_epi32(a2, _mm_madd_epi16(_mm_unpacklo_epi8(hi, zero), wp));
            a3 = _mm_add_epi32(a3, _mm_madd_epi16(_mm_unpackhi_epi8(hi, zero), wp));
        }
        if (j < taps) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            const __m128i wp = _mm_set1_epi32(static_cast<uint16_t>(w[j]));
            const __m128i lo = _mm_unpacklo_epi8(x, zero), hi = _mm_unpackhi_epi8(x, zero);
            a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi16(lo, zero), wp));
            a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi16(lo, zero), wp));
            a2 = _mm_add_epi32(a2, _mm_madd_epi16(_mm_unpacklo_epi16(hi, zero), wp));
            a3 = _mm_add_epi32(a3, _mm_madd_epi16(_mm_unpackhi_epi16(hi, zero), wp));
        }
        const __m128i p0 = _mm_packs_epi32(_mm_srai_epi32(a0, 12), _mm_srai_epi32(a1, 12));
        const __m128i p1 = _mm_packs_epi32(_mm_srai_epi32(a2, 12), _mm_srai_epi32(a3, 12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c), _mm_packus_epi16(p0, p1));
    }
    if (c < width)
        VRow8Plain(top + c, rowStride, w, taps, round, width - c, out + c);
}

void VRow16Sse2(const uint16_t* top, long rowStride, const int16_t* w, int taps, int round, int32_t wsum, int width,
                uint16_t* out)
{
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i r = _mm_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(wsum) * 32768u + static_cast<uint32_t>(round)));
    const unsigned char* base = reinterpret_cast<const unsigned char*>(top);
    int c = 0;
    for (; c + 8 <= width; c += 8) {
        __m128i a0 = r, a1 = r;
        const unsigned char* s = base + 2 * c;
        int j = 0;
        for (; j + 2 <= taps; j += 2, s += 2 * rowStride) {
            const __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), flip);
            const __m128i y = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + rowStride)), flip);
            const __m128i wp = _mm_set1_epi32(static_cast<int>((static_cast<uint32_t>(static_cast<uint16_t>(w[j + 1])) << 16) |
                                                               static_cast<uint16_t>(w[j])));
            a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi16(x, y), wp));
            a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi16(x, y), wp));
        }
        if (j < taps) {
            const __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), flip);
            const __m128i wp = _mm_set1_epi32(static_cast<uint16_t>(w[j]));
            const __m128i zero = _mm_setzero_si128();
            a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi16(x, zero), wp));
            a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi16(x, zero), wp));
        }
        const __m128i lo = Pack16(_mm_srai_epi32(a0, 12)), hi = Pack16(_mm_srai_epi32(a1, 12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c), _mm_unpacklo_epi64(lo, hi));
    }
    if (c < width)
        VRow16Plain(reinterpret_cast<const uint16_t*>(base + 2 * c), rowStride, w, taps, round, wsum, width - c, out + c);
}

// Four samples s[0], s[step], s[2 step], s[3 step] as the low 32 bits.
inline int Load4(const uint8_t* s, int step)
{
    if (step == 1) {
        int v;
        std::memcpy(&v, s, 4);
        return v;
    }
    return s[0] | (s[step] << 8) | (s[2 * step] << 16) | (s[3 * step] << 24);
}

// Two output samples per step: each takes its 4 x 4 neighbourhood, filters the four
// rows with its x weights (clamped), then the column with its y weights.
void Rotate8Sse2(uint8_t* dst, int dstStep, int dstRowStride, const uint8_t* src, int srcStep, int srcRowStride,
                 int sx0, int sy0, int colStepX, int colStepY, int rowStepX, int rowStepY, CubicTable const* cubic,
                 int count, int rows)
{
    const __m128i zero = _mm_setzero_si128();
    for (int row = 0; row < rows; ++row, sx0 += rowStepX, sy0 += rowStepY, dst += dstRowStride) {
        int px = sx0, py = sy0;
        uint8_t* d = dst;
        int col = 0;
        for (; col + 2 <= count; col += 2) {
            int nx[2], ny[2];
            const CubicEntry* wx[2];
            const CubicEntry* wy[2];
            for (int i = 0; i < 2; ++i, px += colStepX, py += colStepY) {
                nx[i] = px >> 16;
                ny[i] = py >> 16;
                wx[i] = &cubic->entry[(px & 0xFFFF) >> 8];
                wy[i] = &cubic->entry[(py & 0xFFFF) >> 8];
            }
            __m128i rowsOf[2][2]; // [sample][rows 0-1 | rows 2-3], 16-bit
            for (int i = 0; i < 2; ++i) {
                const uint8_t* s = src + static_cast<long>(ny[i] - 1) * srcRowStride + static_cast<long>(nx[i] - 1) * srcStep;
                const __m128i r01 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(Load4(s, srcStep)),
                                                       _mm_cvtsi32_si128(Load4(s + srcRowStride, srcStep)));
                const __m128i r23 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(Load4(s + 2L * srcRowStride, srcStep)),
                                                       _mm_cvtsi32_si128(Load4(s + 3L * srcRowStride, srcStep)));
                rowsOf[i][0] = _mm_unpacklo_epi8(r01, zero);
                rowsOf[i][1] = _mm_unpacklo_epi8(r23, zero);
            }
            // x weights of both samples as int16: w0 w1 w2 w3 w0 w1 w2 w3
            __m128i hx[2];
            for (int i = 0; i < 2; ++i) {
                const __m128i w = _mm_set_epi16(static_cast<short>(wx[i]->w3), static_cast<short>(wx[i]->w2),
                                                static_cast<short>(wx[i]->w1), static_cast<short>(wx[i]->w0),
                                                static_cast<short>(wx[i]->w3), static_cast<short>(wx[i]->w2),
                                                static_cast<short>(wx[i]->w1), static_cast<short>(wx[i]->w0));
                const __m128i m01 = _mm_madd_epi16(rowsOf[i][0], w); // r0a r0b r1a r1b
                const __m128i m23 = _mm_madd_epi16(rowsOf[i][1], w); // r2a r2b r3a r3b
                // h = pairwise sums: r0 r1 r2 r3
                const __m128i t0 = _mm_shuffle_epi32(m01, _MM_SHUFFLE(3, 1, 2, 0)); // r0a r1a r0b r1b
                const __m128i t1 = _mm_shuffle_epi32(m23, _MM_SHUFFLE(3, 1, 2, 0));
                const __m128i h = _mm_add_epi32(_mm_unpacklo_epi64(t0, t1), _mm_unpackhi_epi64(t0, t1));
                hx[i] = _mm_srai_epi32(h, 12);
            }
            // clamp h to 0..255 through the saturating packs, then back to int16
            __m128i h8 = _mm_packus_epi16(_mm_packs_epi32(hx[0], hx[1]), zero);
            __m128i h16 = _mm_unpacklo_epi8(h8, zero); // h of sample 0 (4), sample 1 (4)
            const __m128i wv = _mm_set_epi16(static_cast<short>(wy[1]->w3), static_cast<short>(wy[1]->w2),
                                             static_cast<short>(wy[1]->w1), static_cast<short>(wy[1]->w0),
                                             static_cast<short>(wy[0]->w3), static_cast<short>(wy[0]->w2),
                                             static_cast<short>(wy[0]->w1), static_cast<short>(wy[0]->w0));
            const __m128i m = _mm_madd_epi16(h16, wv); // s0a s0b s1a s1b
            const __m128i t = _mm_add_epi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
            __m128i v = _mm_srai_epi32(_mm_shuffle_epi32(t, _MM_SHUFFLE(2, 2, 2, 0)), 12);
            v = _mm_packus_epi16(_mm_packs_epi32(v, v), zero);
            const int two = _mm_cvtsi128_si32(v);
            d[0] = static_cast<uint8_t>(two);
            d[dstStep] = static_cast<uint8_t>(two >> 8);
            d += 2 * dstStep;
        }
        if (col < count)
            Rotate8Plain(d, dstStep, 0, src, srcStep, srcRowStride, px, py, colStepX, colStepY, 0, 0, cubic,
                         count - col, 1);
    }
}

const ScaleKernels sse2Kernels = {HLine8Sse2,   HLine16Sse2,   VRow8Sse2,  VRow16Sse2,
                                  Gather8Plain, Scatter8Plain, Rotate8Sse2};

} // namespace

ScaleKernels const* KernelsSse2()
{
    return &sse2Kernels;
}

#else

ScaleKernels const* KernelsSse2()
{
    return &plainKernels;
}

#endif

} // namespace transform_internal
