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

AVX2 void HLine8Avx2(const uint8_t* line, const int32_t* first, const uint8_t* phase, int count,
                     WeightBank const& bank, uint8_t* out)
{
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

const ScaleKernels avx2Kernels = {HLine8Avx2, HLine16Avx2, VRow8Avx2, VRow16Avx2, nullptr};

} // namespace

ScaleKernels const* KernelsAvx2()
{
    static const ScaleKernels kernels = {avx2Kernels.hline8, avx2Kernels.hline16, avx2Kernels.vrow8,
                                         avx2Kernels.vrow16, KernelsSse2()->rotate8};
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
