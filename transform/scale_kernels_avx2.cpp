// AVX2 forms of the bank filters (selected at run time when the processor has
// AVX2); same bytes as the plain loops of scale_kernels.cpp. Only the functions
// marked with the target attribute use AVX2 instructions, so the file is safe to
// load on any x86-64 processor.
#include "transform/scale_kernels.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>

#define AVX2 __attribute__((target("avx2")))

namespace transform_internal {

namespace {

// Sums of the eight int32 lanes of each of a..h, as lanes 0..7.
AVX2 inline __m256i Sum8(__m256i const* v)
{
    const __m256i abcd = _mm256_hadd_epi32(_mm256_hadd_epi32(v[0], v[1]), _mm256_hadd_epi32(v[2], v[3]));
    const __m256i efgh = _mm256_hadd_epi32(_mm256_hadd_epi32(v[4], v[5]), _mm256_hadd_epi32(v[6], v[7]));
    return _mm256_add_epi32(_mm256_permute2x128_si256(abcd, efgh, 0x20), _mm256_permute2x128_si256(abcd, efgh, 0x31));
}

AVX2 inline __m256i Dot8(const uint8_t* s, const int16_t* w, int taps)
{
    __m256i acc = _mm256_setzero_si256();
    for (int j = 0; j < taps; j += 16) {
        const __m256i x = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + j)));
        acc = _mm256_add_epi32(acc, _mm256_madd_epi16(x, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + j))));
    }
    return acc;
}

AVX2 inline __m256i Dot16(const uint16_t* s, const int16_t* w, int taps)
{
    const __m256i flip = _mm256_set1_epi16(static_cast<short>(0x8000));
    __m256i acc = _mm256_setzero_si256();
    for (int j = 0; j < taps; j += 16) {
        const __m256i x = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + j)), flip);
        acc = _mm256_add_epi32(acc, _mm256_madd_epi16(x, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + j))));
    }
    return acc;
}

// Banks of at most 4 taps (the cubic table): eight outputs, each four samples and
// four weights (plain loads: gathers are slow on several processors).
AVX2 void HLine8Taps4(const uint8_t* line, const int32_t* first, const uint8_t* phase, int count,
                      WeightBank const& bank, uint8_t* out)
{
    const __m256i round = _mm256_set1_epi32(bank.round);
    const __m256i order = _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7);
    int k = 0;
    for (; k + 8 <= count; k += 8) {
        int x4[8];
        long long w4[8];
        for (int i = 0; i < 8; ++i) {
            std::memcpy(&x4[i], line + first[k + i], 4);
            std::memcpy(&w4[i], bank.w + static_cast<size_t>(phase[k + i]) * bank.stride, 8);
        }
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x4));
        const __m256i w03 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w4));
        const __m256i w47 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w4 + 4));
        const __m256i m0 = _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm256_castsi256_si128(x)), w03);
        const __m256i m1 = _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm256_extracti128_si256(x, 1)), w47);
        __m256i v = _mm256_permutevar8x32_epi32(_mm256_hadd_epi32(m0, m1), order);
        v = _mm256_srai_epi32(_mm256_add_epi32(v, round), 12);
        v = _mm256_packus_epi16(_mm256_packs_epi32(v, v), v);
        const int lo = _mm_cvtsi128_si32(_mm256_castsi256_si128(v));
        const int hi = _mm_cvtsi128_si32(_mm256_extracti128_si256(v, 1));
        std::memcpy(out + k, &lo, 4);
        std::memcpy(out + k + 4, &hi, 4);
    }
    if (k < count)
        KernelsPlain()->hline8(line, first + k, phase + k, count - k, bank, out + k);
}

AVX2 void HLine8Avx2(const uint8_t* line, const int32_t* first, const uint8_t* phase, int count,
                     WeightBank const& bank, uint8_t* out)
{
    if (bank.maxTaps <= 4) {
        HLine8Taps4(line, first, phase, count, bank, out);
        return;
    }
    const __m256i round = _mm256_set1_epi32(bank.round);
    int k = 0;
    for (; k + 8 <= count; k += 8) {
        __m256i d[8];
        for (int i = 0; i < 8; ++i) {
            const int p = phase[k + i];
            d[i] = Dot8(line + first[k + i], bank.w + static_cast<size_t>(p) * bank.stride, bank.taps[p]);
        }
        __m256i v = _mm256_srai_epi32(_mm256_add_epi32(Sum8(d), round), 12);
        v = _mm256_packus_epi16(_mm256_packs_epi32(v, v), v);
        const int lo = _mm_cvtsi128_si32(_mm256_castsi256_si128(v));
        const int hi = _mm_cvtsi128_si32(_mm256_extracti128_si256(v, 1));
        std::memcpy(out + k, &lo, 4);
        std::memcpy(out + k + 4, &hi, 4);
    }
    if (k < count)
        KernelsPlain()->hline8(line, first + k, phase + k, count - k, bank, out + k);
}

AVX2 void HLine16Avx2(const uint16_t* line, const int32_t* first, const uint8_t* phase, int count,
                      WeightBank const& bank, uint16_t* out)
{
    int k = 0;
    for (; k + 8 <= count; k += 8) {
        __m256i d[8];
        alignas(32) int32_t fix[8];
        for (int i = 0; i < 8; ++i) {
            const int p = phase[k + i];
            d[i] = Dot16(line + first[k + i], bank.w + static_cast<size_t>(p) * bank.stride, bank.taps[p]);
            fix[i] = static_cast<int32_t>(static_cast<uint32_t>(bank.sum[p]) * 32768u + static_cast<uint32_t>(bank.round));
        }
        __m256i v = _mm256_add_epi32(Sum8(d), _mm256_load_si256(reinterpret_cast<const __m256i*>(fix)));
        v = _mm256_srai_epi32(v, 12);
        v = _mm256_permute4x64_epi64(_mm256_packus_epi32(v, v), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm256_castsi256_si128(v));
    }
    if (k < count)
        KernelsPlain()->hline16(line, first + k, phase + k, count - k, bank, out + k);
}

AVX2 void VRow8Avx2(const uint8_t* top, long rowStride, const int16_t* w, int taps, int round, int width,
                    uint8_t* out)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i r = _mm256_set1_epi32(round);
    int c = 0;
    for (; c + 32 <= width; c += 32) {
        __m256i a0 = r, a1 = r, a2 = r, a3 = r;
        const uint8_t* s = top + c;
        int j = 0;
        for (; j + 2 <= taps; j += 2, s += 2 * rowStride) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
            const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + rowStride));
            const __m256i wp = _mm256_set1_epi32(static_cast<int>(
                (static_cast<uint32_t>(static_cast<uint16_t>(w[j + 1])) << 16) | static_cast<uint16_t>(w[j])));
            const __m256i lo = _mm256_unpacklo_epi8(x, y), hi = _mm256_unpackhi_epi8(x, y);
            a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(_mm256_unpacklo_epi8(lo, zero), wp));
            a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(_mm256_unpackhi_epi8(lo, zero), wp));
            a2 = _mm256_add_epi32(a2, _mm256_madd_epi16(_mm256_unpacklo_epi8(hi, zero), wp));
            a3 = _mm256_add_epi32(a3, _mm256_madd_epi16(_mm256_unpackhi_epi8(hi, zero), wp));
        }
        if (j < taps) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
            const __m256i wp = _mm256_set1_epi32(static_cast<uint16_t>(w[j]));
            const __m256i lo = _mm256_unpacklo_epi8(x, zero), hi = _mm256_unpackhi_epi8(x, zero);
            a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(_mm256_unpacklo_epi16(lo, zero), wp));
            a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(_mm256_unpackhi_epi16(lo, zero), wp));
            a2 = _mm256_add_epi32(a2, _mm256_madd_epi16(_mm256_unpacklo_epi16(hi, zero), wp));
            a3 = _mm256_add_epi32(a3, _mm256_madd_epi16(_mm256_unpackhi_epi16(hi, zero), wp));
        }
        const __m256i p0 = _mm256_packs_epi32(_mm256_srai_epi32(a0, 12), _mm256_srai_epi32(a1, 12));
        const __m256i p1 = _mm256_packs_epi32(_mm256_srai_epi32(a2, 12), _mm256_srai_epi32(a3, 12));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c), _mm256_packus_epi16(p0, p1));
    }
    if (c < width)
        KernelsSse2()->vrow8(top + c, rowStride, w, taps, round, width - c, out + c);
}

AVX2 void VRow16Avx2(const uint16_t* top, long rowStride, const int16_t* w, int taps, int round, int32_t wsum,
                     int width, uint16_t* out)
{
    const __m256i flip = _mm256_set1_epi16(static_cast<short>(0x8000));
    const __m256i r =
        _mm256_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(wsum) * 32768u + static_cast<uint32_t>(round)));
    const unsigned char* base = reinterpret_cast<const unsigned char*>(top);
    int c = 0;
    for (; c + 16 <= width; c += 16) {
        __m256i a0 = r, a1 = r;
        const unsigned char* s = base + 2 * c;
        int j = 0;
        for (; j + 2 <= taps; j += 2, s += 2 * rowStride) {
            const __m256i x = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)), flip);
            const __m256i y =
                _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + rowStride)), flip);
            const __m256i wp = _mm256_set1_epi32(static_cast<int>(
                (static_cast<uint32_t>(static_cast<uint16_t>(w[j + 1])) << 16) | static_cast<uint16_t>(w[j])));
            a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(_mm256_unpacklo_epi16(x, y), wp));
            a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(_mm256_unpackhi_epi16(x, y), wp));
        }
        if (j < taps) {
            const __m256i x = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)), flip);
            const __m256i wp = _mm256_set1_epi32(static_cast<uint16_t>(w[j]));
            const __m256i zero = _mm256_setzero_si256();
            a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(_mm256_unpacklo_epi16(x, zero), wp));
            a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(_mm256_unpackhi_epi16(x, zero), wp));
        }
        const __m256i v = _mm256_packus_epi32(_mm256_srai_epi32(a0, 12), _mm256_srai_epi32(a1, 12));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c), v);
    }
    if (c < width)
        KernelsSse2()->vrow16(reinterpret_cast<const uint16_t*>(base + 2 * c), rowStride, w, taps, round, wsum,
                              width - c, out + c);
}

// The rotation's bicubic walk, four outputs at a time, for planes of step 1. Each
// output loads its four 4-sample rows into one vector and filters them with its x
// weights (madd, hadd); the clamped row results are packed to int16 and filtered
// with the y weights (madd). Plain loads only: gathers are slow on several
// processors.
AVX2 inline __m256i RowsOf(const uint8_t* s, long rowStride)
{
    int r[4];
    for (int k = 0; k < 4; ++k)
        std::memcpy(&r[k], s + k * rowStride, 4);
    return _mm256_cvtepu8_epi16(_mm_setr_epi32(r[0], r[1], r[2], r[3]));
}

AVX2 void Rotate8Avx2(uint8_t* dst, int dstStep, int dstRowStride, const uint8_t* src, int srcStep, int srcRowStride,
                      int sx0, int sy0, int colStepX, int colStepY, int rowStepX, int rowStepY,
                      CubicTable const* cubic, int count, int rows)
{
    if (srcStep != 1) {
        KernelsSse2()->rotate8(dst, dstStep, dstRowStride, src, srcStep, srcRowStride, sx0, sy0, colStepX, colStepY,
                               rowStepX, rowStepY, cubic, count, rows);
        return;
    }
    alignas(32) long long packed[256]; // each phase's four weights as int16
    for (int p = 0; p < 256; ++p) {
        const int16_t w[4] = {static_cast<int16_t>(cubic->entry[p].w0), static_cast<int16_t>(cubic->entry[p].w1),
                              static_cast<int16_t>(cubic->entry[p].w2), static_cast<int16_t>(cubic->entry[p].w3)};
        std::memcpy(&packed[p], w, 8);
    }
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top = _mm256_set1_epi32(255);
    for (int row = 0; row < rows; ++row, sx0 += rowStepX, sy0 += rowStepY, dst += dstRowStride) {
        int px = sx0, py = sy0;
        uint8_t* d = dst;
        int col = 0;
        for (; col + 4 <= count; col += 4) {
            __m256i m[4];
            __m128i wy[4];
            for (int i = 0; i < 4; ++i, px += colStepX, py += colStepY) {
                const int nx = px >> 16, ny = py >> 16;
                const uint8_t* s = src + static_cast<long>(ny - 1) * srcRowStride + (nx - 1);
                const __m256i wx = _mm256_set1_epi64x(packed[(px & 0xFFFF) >> 8]);
                m[i] = _mm256_madd_epi16(RowsOf(s, srcRowStride), wx); // r0a r0b r1a r1b | r2a r2b r3a r3b
                wy[i] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&packed[(py & 0xFFFF) >> 8]));
            }
            // h: [r0 r1 of outputs 0, 1 | r2 r3 of outputs 0, 1] and the same for 2, 3
            __m256i h01 = _mm256_srai_epi32(_mm256_hadd_epi32(m[0], m[1]), 12);
            __m256i h23 = _mm256_srai_epi32(_mm256_hadd_epi32(m[2], m[3]), 12);
            h01 = _mm256_min_epi32(_mm256_max_epi32(h01, zero), top);
            h23 = _mm256_min_epi32(_mm256_max_epi32(h23, zero), top);
            const __m256i h = _mm256_packs_epi32(h01, h23); // pairs (r0, r1) | (r2, r3) of outputs 0..3
            const __m128i w01 = _mm_unpacklo_epi32(wy[0], wy[1]), w23 = _mm_unpacklo_epi32(wy[2], wy[3]);
            const __m256i w = _mm256_set_m128i(_mm_unpackhi_epi64(w01, w23), _mm_unpacklo_epi64(w01, w23));
            const __m256i v2 = _mm256_madd_epi16(h, w);
            __m128i v = _mm_add_epi32(_mm256_castsi256_si128(v2), _mm256_extracti128_si256(v2, 1));
            v = _mm_srai_epi32(v, 12);
            v = _mm_packus_epi16(_mm_packs_epi32(v, v), v);
            const int four = _mm_cvtsi128_si32(v);
            if (dstStep == 1) {
                std::memcpy(d, &four, 4);
                d += 4;
            } else {
                for (int i = 0; i < 4; ++i, d += dstStep)
                    *d = static_cast<uint8_t>(four >> (8 * i));
            }
        }
        if (col < count)
            KernelsPlain()->rotate8(d, dstStep, 0, src, srcStep, srcRowStride, px, py, colStepX, colStepY, 0, 0, cubic,
                                    count - col, 1);
    }
}

// Byte masks of pshufb: -1 selects nothing (the byte becomes 0).
#define M(...) _mm_setr_epi8(__VA_ARGS__)

// Samples 3k (16 of them) from 48 bytes, or 4k from 64 bytes; the last byte read is
// src[step * 16 - 1], so callers keep one pixel of slack (k + 17 <= count).
AVX2 void Gather8Avx2(uint8_t* dst, const uint8_t* src, int step, int count)
{
    int k = 0;
    if (step == 3) {
        const __m128i ma = M(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
        const __m128i mb = M(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
        const __m128i mc = M(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
        for (; k + 17 <= count; k += 16) {
            const uint8_t* s = src + 3L * k;
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
            const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, ma), _mm_shuffle_epi8(b, mb)),
                                           _mm_shuffle_epi8(c, mc));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k), v);
        }
    } else if (step == 4) {
        const __m128i m = M(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
        for (; k + 17 <= count; k += 16) {
            const uint8_t* s = src + 4L * k;
            const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), m);
            const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)), m);
            const __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32)), m);
            const __m128i d = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 48)), m);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k),
                             _mm_unpacklo_epi64(_mm_unpacklo_epi32(a, b), _mm_unpacklo_epi32(c, d)));
        }
    }
    KernelsPlain()->gather8(dst + k, src + static_cast<long>(k) * step, step, count - k);
}

// The reverse for step 3: each 16-byte block of the destination keeps its other
// channels (blend, mask -1) and takes the samples that fall on it.
AVX2 void Scatter8Avx2(uint8_t* dst, int step, const uint8_t* src, int count)
{
    int k = 0;
    if (step == 3) {
        const __m128i ma = M(0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1, 5);
        const __m128i mb = M(-1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10, -1);
        const __m128i mc = M(-1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1, -1);
        const __m128i sa = M(0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0);
        const __m128i sb = M(-1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1);
        const __m128i sc = M(-1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1);
        for (; k + 17 <= count; k += 16) {
            uint8_t* d = dst + 3L * k;
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + k));
            __m128i* pa = reinterpret_cast<__m128i*>(d);
            __m128i* pb = reinterpret_cast<__m128i*>(d + 16);
            __m128i* pc = reinterpret_cast<__m128i*>(d + 32);
            _mm_storeu_si128(pa, _mm_blendv_epi8(_mm_shuffle_epi8(v, ma), _mm_loadu_si128(pa), sa));
            _mm_storeu_si128(pb, _mm_blendv_epi8(_mm_shuffle_epi8(v, mb), _mm_loadu_si128(pb), sb));
            _mm_storeu_si128(pc, _mm_blendv_epi8(_mm_shuffle_epi8(v, mc), _mm_loadu_si128(pc), sc));
        }
    }
    KernelsPlain()->scatter8(dst + static_cast<long>(k) * step, step, src + k, count - k);
}

#undef M

const ScaleKernels avx2Kernels = {HLine8Avx2, HLine16Avx2, VRow8Avx2, VRow16Avx2, Gather8Avx2, Scatter8Avx2, nullptr};

} // namespace

ScaleKernels const* KernelsAvx2()
{
    static const ScaleKernels kernels = {avx2Kernels.hline8,  avx2Kernels.hline16, avx2Kernels.vrow8,
                                         avx2Kernels.vrow16,  avx2Kernels.gather8, avx2Kernels.scatter8,
                                         Rotate8Avx2};
    return &kernels;
}

} // namespace transform_internal

#else

namespace transform_internal {

ScaleKernels const* KernelsAvx2()
{
    return nullptr;
}

} // namespace transform_internal

#endif
