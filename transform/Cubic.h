// Shared internals of the transforms: the cubic kernel, its 256-phase weight table,
// the reduction filter table, and the processor flags.
//
// Weights carry 12 fraction bits (weight12: 4096 = 1.0); positions are 16.16 fixed
// point (fix16). Every double expression is evaluated in the order written here: the
// tables are truncated, so a reordered or fused operation could move an entry by one.
#pragma once

#include "platform/Export.h"
#include "transform/Scale.h"

#include <cstdint>

// One phase of the cubic table: weights of the samples at offsets -1, 0, +1, +2.
struct CubicEntry {
    int w0;
    int w1;
    int w2;
    int w3;
};

// 256 phases (fraction p / 256), 4096 bytes from malloc.
struct CubicTable {
    CubicEntry entry[256];
};
static_assert(sizeof(CubicTable) == 4096, "the cubic table is one 4096-byte block");

// FilterTable (transform/Scale.h): each weight block has room for the untrimmed tap
// count as ints. Unpacked form: weights as ints in logical order. Packed form (taps a
// multiple of 4): each group of four weights as four int16 in reverse order.

namespace transform_internal {

// The cubic convolution kernel with parameter -1.
double CubicKernel(double x);

// A new table from malloc, or null when the allocation fails.
TESSERA_EXPORT CubicTable* NewCubicTable();

// Builds the filter for scale s (> 1) in the form the processor flag selects.
// On failure everything is released, the pointers are null and false is returned.
TESSERA_EXPORT bool BuildFilterTable(FilterTable& table, double s);
TESSERA_EXPORT void FreeFilterTable(FilterTable& table);
bool CopyFilterTable(FilterTable& dst, FilterTable const& src);

// Weight j of phase p in logical order, from either form.
inline int FilterWeight(FilterTable const& table, bool packed, int phase, unsigned j)
{
    if (packed) {
        const int16_t* w = static_cast<const int16_t*>(table.weights[phase]);
        return w[(j & ~3u) + 3 - (j & 3u)];
    }
    return static_cast<const int*>(table.weights[phase])[j];
}

} // namespace transform_internal

// Set once when the library loads: the processor has CPUID and MMX (x86-64 always
// has both), which selects the packed filter form. False on other processors.
extern bool mmxAvailable;

// Test-only switches; not part of the public interface.
// Forces the packed-form flag (tables built afterwards use it).
extern "C" TESSERA_EXPORT void TesseraTransformSetMmx(bool available);
extern "C" TESSERA_EXPORT bool TesseraTransformMmx();
// Kernel level used by the scaler and the rotation: 0 the plain reference routines,
// 1 SSE2, 2 AVX2. A level above what the processor supports is lowered; returns the
// level in effect.
extern "C" TESSERA_EXPORT int TesseraTransformSetKernelLevel(int level);
extern "C" TESSERA_EXPORT int TesseraTransformKernelLevel();
