// CRC-32 by carry-less multiplication (PCLMULQDQ), after Intel's "Fast CRC
// Computation for Generic Polynomials Using PCLMULQDQ Instruction" (2009).
//
// Four 128-bit accumulators fold 64 bytes per step: each accumulator is multiplied
// by the fold constants for 512 bits (k1, k2) and the next 64 bytes are added. At the
// end the four fold into one with the constants for 128 bits (k3, k4), then 128 bits
// reduce to 64 with k5 (x^64 mod P) and to 32 by Barrett reduction (mu, P'). All
// constants are bit-reflected, matching the reflected register of the table kernels.
//
// With AVX-512 and VPCLMULQDQ the same folding runs on four 512-bit accumulators
// (256 bytes per step, 16 lanes of 128 bits): lanes fold over 2048 bits, the four
// accumulators then fold into one over 512 bits, and its four lanes into one over
// 384, 256 and 128 bits before the same final reduction.
//
// A fold constant for a distance of D bits is the pair (x^(D+32) mod P, x^(D-32) mod P),
// each bit-reflected and shifted left by one: the low one multiplies the low 64 bits
// of a lane, the high one the high 64 bits.
//
// The file checksum hashes 1024 of every 2048 bytes; the hashed pieces are one
// message, so the fold runs straight across them and reduces only once per read.
#include "crc/crc_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define CRC_HAVE_X86 1
#endif

namespace crc {

#if CRC_HAVE_X86

namespace {

#define CRC_TARGET __attribute__((target("pclmul,sse4.1")))
#define CRC_TARGET_512 __attribute__((target("pclmul,sse4.1,avx512f,vpclmulqdq")))

// The register for a 128-bit remainder: 128 bits to 64 with k4 and k5, then Barrett
// reduction to 32 bits with mu and P'.
CRC_TARGET inline std::uint32_t Reduce128(__m128i x1)
{
    // 128 bits to 64.
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5k0 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i x2 = _mm_clmulepi64_si128(x1, k3k4, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_and_si128(x1, low32);
    x1 = _mm_clmulepi64_si128(x1, k5k0, 0x00);
    x1 = _mm_xor_si128(x1, x2);

    // Barrett reduction to 32 bits.
    x2 = _mm_and_si128(x1, low32);
    x2 = _mm_clmulepi64_si128(x2, poly, 0x10);
    x2 = _mm_and_si128(x2, low32);
    x2 = _mm_clmulepi64_si128(x2, poly, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

// a * k + b for every 128-bit lane: both 64-bit halves of a times their constants
// (0x96 is the three-way exclusive or).
CRC_TARGET_512 inline __m512i Fold512(__m512i a, __m512i k, __m512i b)
{
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(a, k, 0x00), _mm512_clmulepi64_epi128(a, k, 0x11), b,
                                     0x96);
}

CRC_TARGET inline __m128i Fold128(__m128i a, __m128i k, __m128i b)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11)), b);
}

// Folds pieceCount pieces of pieceBytes (a multiple of 64, at least 64) lying
// `stride` bytes apart into the register h.
CRC_TARGET std::uint32_t FoldPieces(std::uint32_t h, const unsigned char* base, std::size_t pieceCount,
                                    std::size_t pieceBytes, std::size_t stride)
{
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);

    const unsigned char* p = base;
    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    __m128i x4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(h)));
    std::size_t offset = 64;

    for (std::size_t piece = 0; piece < pieceCount; ++piece) {
        p = base + piece * stride;
        for (; offset < pieceBytes; offset += 64) {
            __m128i x5 = _mm_clmulepi64_si128(x1, k1k2, 0x00);
            __m128i x6 = _mm_clmulepi64_si128(x2, k1k2, 0x00);
            __m128i x7 = _mm_clmulepi64_si128(x3, k1k2, 0x00);
            __m128i x8 = _mm_clmulepi64_si128(x4, k1k2, 0x00);
            x1 = _mm_clmulepi64_si128(x1, k1k2, 0x11);
            x2 = _mm_clmulepi64_si128(x2, k1k2, 0x11);
            x3 = _mm_clmulepi64_si128(x3, k1k2, 0x11);
            x4 = _mm_clmulepi64_si128(x4, k1k2, 0x11);
            const unsigned char* q = p + offset;
            x1 = _mm_xor_si128(_mm_xor_si128(x1, x5), _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)));
            x2 = _mm_xor_si128(_mm_xor_si128(x2, x6), _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16)));
            x3 = _mm_xor_si128(_mm_xor_si128(x3, x7), _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 32)));
            x4 = _mm_xor_si128(_mm_xor_si128(x4, x8), _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 48)));
        }
        offset = 0;
    }

    // Four accumulators into one.
    __m128i x5 = _mm_clmulepi64_si128(x1, k3k4, 0x00);
    x1 = _mm_clmulepi64_si128(x1, k3k4, 0x11);
    x1 = _mm_xor_si128(_mm_xor_si128(x1, x2), x5);
    x5 = _mm_clmulepi64_si128(x1, k3k4, 0x00);
    x1 = _mm_clmulepi64_si128(x1, k3k4, 0x11);
    x1 = _mm_xor_si128(_mm_xor_si128(x1, x3), x5);
    x5 = _mm_clmulepi64_si128(x1, k3k4, 0x00);
    x1 = _mm_clmulepi64_si128(x1, k3k4, 0x11);
    x1 = _mm_xor_si128(_mm_xor_si128(x1, x4), x5);

    return Reduce128(x1);
}

// Folds like FoldPieces with four 512-bit accumulators; pieceBytes is a multiple of
// 256, at least 256.
CRC_TARGET_512 std::uint32_t FoldPieces512(std::uint32_t h, const unsigned char* base, std::size_t pieceCount,
                                           std::size_t pieceBytes, std::size_t stride)
{
    const __m512i k2048 = _mm512_set_epi64(0x01322d1430, 0x011542778a, 0x01322d1430, 0x011542778a, 0x01322d1430,
                                           0x011542778a, 0x01322d1430, 0x011542778a);
    const __m512i k512 = _mm512_set_epi64(0x01c6e41596, 0x0154442bd4, 0x01c6e41596, 0x0154442bd4, 0x01c6e41596,
                                          0x0154442bd4, 0x01c6e41596, 0x0154442bd4);
    const __m128i k384 = _mm_set_epi64x(0x0174359406, 0x003db1ecdc);
    const __m128i k256 = _mm_set_epi64x(0x015a546366, 0x00f1da05aa);
    const __m128i k128 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);

    const unsigned char* p = base;
    __m512i z0 = _mm512_loadu_si512(p);
    __m512i z1 = _mm512_loadu_si512(p + 64);
    __m512i z2 = _mm512_loadu_si512(p + 128);
    __m512i z3 = _mm512_loadu_si512(p + 192);
    z0 = _mm512_xor_si512(z0, _mm512_inserti32x4(_mm512_setzero_si512(), _mm_cvtsi32_si128(static_cast<int>(h)), 0));
    std::size_t offset = 256;

    for (std::size_t piece = 0; piece < pieceCount; ++piece) {
        p = base + piece * stride;
        for (; offset < pieceBytes; offset += 256) {
            const unsigned char* q = p + offset;
            z0 = Fold512(z0, k2048, _mm512_loadu_si512(q));
            z1 = Fold512(z1, k2048, _mm512_loadu_si512(q + 64));
            z2 = Fold512(z2, k2048, _mm512_loadu_si512(q + 128));
            z3 = Fold512(z3, k2048, _mm512_loadu_si512(q + 192));
        }
        offset = 0;
    }
    z1 = Fold512(z0, k512, z1);
    z2 = Fold512(z1, k512, z2);
    z3 = Fold512(z2, k512, z3);

    // Lane 0 holds the earliest bytes: it folds over the longest distance.
    alignas(64) __m128i lanes[4];
    _mm512_store_si512(lanes, z3);
    __m128i x = Fold128(lanes[2], k128, lanes[3]);
    x = Fold128(lanes[1], k256, x);
    x = Fold128(lanes[0], k384, x);
    return Reduce128(x);
}

} // namespace

bool ClmulAvailable()
{
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    return (ecx & bit_PCLMUL) && (ecx & bit_SSE4_1);
}

std::uint32_t UpdateClmul(std::uint32_t h, const unsigned char* data, std::size_t count)
{
    if (count >= 64) {
        std::size_t folded = count & ~std::size_t(63);
        h = FoldPieces(h, data, 1, folded, folded);
        data += folded;
        count -= folded;
    }
    return UpdateSlice8(h, data, count);
}

std::uint32_t HashBlocksClmul(std::uint32_t h, const unsigned char* data, std::size_t count)
{
    constexpr std::size_t half = kBlockBytes / 2; // a multiple of 64
    std::size_t whole = count / kBlockBytes;
    if (whole > 0)
        h = FoldPieces(h, data, whole, half, kBlockBytes);
    return UpdateClmul(h, data + whole * kBlockBytes, (count % kBlockBytes) / 2);
}

bool Clmul512Available()
{
    // Also checks that the system saves the 512-bit registers.
    return ClmulAvailable() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq");
}

std::uint32_t UpdateClmul512(std::uint32_t h, const unsigned char* data, std::size_t count)
{
    if (count >= 256) {
        std::size_t folded = count & ~std::size_t(255);
        h = FoldPieces512(h, data, 1, folded, folded);
        data += folded;
        count -= folded;
    }
    return UpdateClmul(h, data, count);
}

std::uint32_t HashBlocksClmul512(std::uint32_t h, const unsigned char* data, std::size_t count)
{
    constexpr std::size_t half = kBlockBytes / 2; // a multiple of 256
    std::size_t whole = count / kBlockBytes;
    if (whole > 0)
        h = FoldPieces512(h, data, whole, half, kBlockBytes);
    return UpdateClmul512(h, data + whole * kBlockBytes, (count % kBlockBytes) / 2);
}

#else // no x86: the table kernel stands in

bool ClmulAvailable()
{
    return false;
}

std::uint32_t UpdateClmul(std::uint32_t h, const unsigned char* data, std::size_t count)
{
    return UpdateSlice8(h, data, count);
}

std::uint32_t HashBlocksClmul(std::uint32_t h, const unsigned char* data, std::size_t count)
{
    return HashBlocksSlice8(h, data, count);
}

bool Clmul512Available()
{
    return false;
}

std::uint32_t UpdateClmul512(std::uint32_t h, const unsigned char* data, std::size_t count)
{
    return UpdateSlice8(h, data, count);
}

std::uint32_t HashBlocksClmul512(std::uint32_t h, const unsigned char* data, std::size_t count)
{
    return HashBlocksSlice8(h, data, count);
}

#endif

} // namespace crc
