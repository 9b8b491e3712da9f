// Sample plane primitives: copy, narrow and fill planes addressed as a CPixMap plane
// descriptor addresses them (first sample, step in samples, row stride in bytes of
// either sign). Source and destination never overlap. 16-bit samples are stored low
// byte first. Header-only: every library that needs one carries it.
#pragma once

#include <cstdint>
#include <cstring>

inline void CopyPlane8(unsigned char* dst, int dstStep, int dstRowStride, const unsigned char* src, int srcStep,
                       int srcRowStride, unsigned count, unsigned rows)
{
    if (count == 0)
        return;
    if (srcStep == 1 && dstStep == 1) {
        for (; rows; --rows, src += srcRowStride, dst += dstRowStride)
            std::memcpy(dst, src, count);
        return;
    }
    for (; rows; --rows, src += srcRowStride, dst += dstRowStride) {
        const unsigned char* s = src;
        unsigned char* d = dst;
        for (unsigned x = 0; x < count; ++x, s += srcStep, d += dstStep)
            *d = *s;
    }
}

inline void CopyPlane16(unsigned char* dst, int dstStep, int dstRowStride, const unsigned char* src, int srcStep,
                        int srcRowStride, unsigned count, unsigned rows)
{
    if (count == 0)
        return;
    if (srcStep == 1 && dstStep == 1) {
        for (; rows; --rows, src += srcRowStride, dst += dstRowStride)
            std::memcpy(dst, src, 2 * static_cast<size_t>(count));
        return;
    }
    const long srcBytes = 2L * srcStep, dstBytes = 2L * dstStep;
    for (; rows; --rows, src += srcRowStride, dst += dstRowStride) {
        const unsigned char* s = src;
        unsigned char* d = dst;
        for (unsigned x = 0; x < count; ++x, s += srcBytes, d += dstBytes) {
            d[0] = s[0];
            d[1] = s[1];
        }
    }
}

// dst (8-bit, step in bytes) receives the high byte of each 16-bit source sample
// (srcStep in 16-bit samples).
inline void HighBytePlane16(unsigned char* dst, int dstStep, int dstRowStride, const unsigned char* src, int srcStep,
                            int srcRowStride, int count, int rows)
{
    if (rows <= 0 || count <= 0)
        return;
    const long srcBytes = 2L * srcStep;
    if (srcStep == 1 && dstStep == 1) {
        // Packed samples both sides: a loop the compiler turns into vector packs.
        for (; rows > 0; --rows, src += srcRowStride, dst += dstRowStride)
            for (int x = 0; x < count; ++x)
                dst[x] = src[2 * x + 1];
        return;
    }
    for (; rows > 0; --rows, src += srcRowStride, dst += dstRowStride) {
        const unsigned char* s = src + 1;
        unsigned char* d = dst;
        for (int x = 0; x < count; ++x, s += srcBytes, d += dstStep)
            *d = *s;
    }
}

inline void FillBytes(unsigned char* dst, int value, unsigned length)
{
    if (length == 0)
        return;
    std::memset(dst, value & 0xFF, length);
}

inline void FillPlane8(unsigned char* dst, int dstStep, int dstRowStride, int value, unsigned count, unsigned rows)
{
    if (count == 0)
        return;
    const unsigned char v = static_cast<unsigned char>(value);
    if (dstStep == 1) {
        for (; rows; --rows, dst += dstRowStride)
            std::memset(dst, v, count);
        return;
    }
    for (; rows; --rows, dst += dstRowStride) {
        unsigned char* d = dst;
        for (unsigned x = 0; x < count; ++x, d += dstStep)
            *d = v;
    }
}

inline void CopyBytes(unsigned char* dst, const unsigned char* src, unsigned length)
{
    if (length == 0)
        return;
    std::memcpy(dst, src, length);
}
