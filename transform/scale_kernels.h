// Inner loops of the scaler and the rotation, in a plain form and vector forms that
// produce the same bytes.
//
// Every smoothed pass of the scaler is a bank filter: output = clamp((sum over j of
// sample[first + j] * weight12[j] + round) >> 12), with the cubic table as a 4-tap
// bank (round 0, first = n - 1) and the reduction filter as a bank of its own (round
// 2048). The bank keeps each phase's weights as int16 in logical order, trimmed of
// leading and trailing zeros (a zero weight adds nothing, so the sum is unchanged)
// and padded with zeros to `stride` entries.
#pragma once

#include "transform/Cubic.h"

#include <cstdint>

struct WeightBank {
    int stride;        // int16 entries per phase: a multiple of 16, at least every phase's taps
    int maxTaps;       // the largest taps[] entry
    int round;         // added before the shift: 2048 (filter) or 0 (cubic)
    int taps[256];     // weights in use per phase, after trimming
    int offset[256];   // first tap = integer position - offset[phase]
    int32_t sum[256];  // sum of the phase's weights (for the 16-bit kernels)
    int16_t* w;        // 256 * stride entries
};

namespace transform_internal {

// Builds a bank from the cubic table or from a filter table in either form; false
// when memory runs out. FreeBank releases it.
TESSERA_EXPORT bool BuildCubicBank(WeightBank& bank, CubicTable const& cubic);
TESSERA_EXPORT bool BuildFilterBank(WeightBank& bank, FilterTable const& table, bool packed);
TESSERA_EXPORT void FreeBank(WeightBank& bank);

struct ScaleKernels {
    // Horizontal: out[k] = bank filter at line[first[k]], phase phase[k], for k < count.
    // Reads line[first[k] .. first[k] + bank.stride - 1]: the line must be padded.
    void (*hline8)(const uint8_t* line, const int32_t* first, const uint8_t* phase, int count,
                   WeightBank const& bank, uint8_t* out);
    void (*hline16)(const uint16_t* line, const int32_t* first, const uint8_t* phase, int count,
                    WeightBank const& bank, uint16_t* out);
    // Vertical, one output row: out[c] = clamp((sum over j < taps of
    // top[j * rowStride + c] * w[j] + round) >> 12) for c < width; rowStride in bytes,
    // wsum the sum of the taps weights.
    void (*vrow8)(const uint8_t* top, long rowStride, const int16_t* w, int taps, int round, int width,
                  uint8_t* out);
    void (*vrow16)(const uint16_t* top, long rowStride, const int16_t* w, int taps, int round, int32_t wsum,
                   int width, uint16_t* out);
    // The rotation's bicubic walk (8-bit), arguments as RotateBicubic; reads the 4 x 4
    // neighbourhood of every position even where a phase is 0.
    // dst[k] = src[k * step] (gather8) or dst[k * step] = src[k] (scatter8), k < count.
    void (*gather8)(uint8_t* dst, const uint8_t* src, int step, int count);
    void (*scatter8)(uint8_t* dst, int step, const uint8_t* src, int count);
    void (*rotate8)(uint8_t* dst, int dstStep, int dstRowStride, const uint8_t* src, int srcStep,
                    int srcRowStride, int sx0, int sy0, int colStepX, int colStepY, int rowStepX, int rowStepY,
                    CubicTable const* cubic, int count, int rows);
};

// Level 0: the plain loops of this file; 1: SSE2; 2: AVX2 (null when the build or
// the processor lacks it).
TESSERA_EXPORT ScaleKernels const* KernelsPlain();
TESSERA_EXPORT ScaleKernels const* KernelsSse2();
TESSERA_EXPORT ScaleKernels const* KernelsAvx2();
// The kernels of the level in effect (never level 0: that level uses the reference
// routines of the scaler and the rotation, not banks).
ScaleKernels const* ActiveKernels();
int KernelLevel();

} // namespace transform_internal
