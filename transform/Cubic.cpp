// The cubic kernel, the 256-phase cubic table and the reduction filter table.
//
// Each double expression is written in the order it must be evaluated (the build
// disables contraction into fused multiply-adds): table entries are truncated, so a
// different order could move one by a unit.
#include "transform/Cubic.h"

#include "image/Planes.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace transform_internal {

double CubicKernel(double x)
{
    const double a = std::fabs(x);
    if (a < 1)
        return a * a * a - 2 * a * a + 1;
    if (a < 2)
        return -a * a * a + 5 * a * a - 8 * a + 4;
    return 0;
}

CubicTable* NewCubicTable()
{
    CubicTable* table = static_cast<CubicTable*>(std::malloc(sizeof(CubicTable)));
    if (!table)
        return nullptr;
    for (int p = 0; p < 256; ++p) {
        const double f = p / 256.0;
        CubicEntry& e = table->entry[p];
        e.w0 = static_cast<int>(CubicKernel(-1 - f) * 4096);
        e.w1 = static_cast<int>(CubicKernel(-f) * 4096);
        e.w2 = static_cast<int>(CubicKernel(1 - f) * 4096);
        e.w3 = static_cast<int>(CubicKernel(2 - f) * 4096);
    }
    return table;
}

void FreeFilterTable(FilterTable& table)
{
    for (void*& w : table.weights) {
        std::free(w);
        w = nullptr;
    }
}

// Above this tap count (a reduction by about 65000) the 256 weight blocks would take
// more than 256 MB: the table is refused as if the allocation had failed.
static const double kMaxTaps = 262144;

bool BuildFilterTable(FilterTable& table, double s)
{
    const double rawTaps = std::ceil(4 * s) + 1;
    if (!(rawTaps >= 1 && rawTaps <= kMaxTaps)) {
        FreeFilterTable(table);
        return false;
    }
    unsigned taps = static_cast<unsigned>(static_cast<int>(rawTaps));
    if (mmxAvailable)
        taps = (taps + 3) & ~3u;
    table.taps = taps;
    const unsigned blockBytes = taps * sizeof(int);
    for (int i = 0; i < 256; ++i) {
        std::free(table.weights[i]);
        table.weights[i] = std::malloc(blockBytes);
        if (!table.weights[i]) {
            FreeFilterTable(table);
            return false;
        }
        FillBytes(static_cast<unsigned char*>(table.weights[i]), 0, blockBytes);
    }
    double* raw = static_cast<double*>(std::malloc(taps * sizeof(double)));
    if (!raw) {
        FreeFilterTable(table);
        return false;
    }
    const bool packed = mmxAvailable;
    for (int i = 0; i < 256; ++i) {
        table.offset[i] = static_cast<int>(std::floor(2 * s));
        double sum = 0;
        for (unsigned j = 0; j < taps; ++j) {
            raw[j] = CubicKernel((static_cast<int>(j) - table.offset[i] - i / 256.0) / s);
            sum += raw[j];
        }
        int* weight = static_cast<int*>(table.weights[i]);
        for (unsigned j = 0; j < taps; ++j)
            weight[j] = static_cast<int>(raw[j] * 4096 / sum);
        if (packed) {
            // Groups of four as int16, weights 3, 2, 1, 0 of the group at increasing
            // addresses; written front to back, each group read before it is overwritten.
            int16_t* packedWeights = static_cast<int16_t*>(table.weights[i]);
            for (unsigned g = 0; g < taps; g += 4) {
                const int w0 = weight[g], w1 = weight[g + 1], w2 = weight[g + 2], w3 = weight[g + 3];
                packedWeights[g] = static_cast<int16_t>(w3);
                packedWeights[g + 1] = static_cast<int16_t>(w2);
                packedWeights[g + 2] = static_cast<int16_t>(w1);
                packedWeights[g + 3] = static_cast<int16_t>(w0);
            }
            // the upper half of the block keeps stale ints; zero it so copies compare equal
            std::memset(packedWeights + taps, 0, blockBytes - taps * sizeof(int16_t));
        }
    }
    if (!packed) {
        // A phase whose first weight is 0 starts one sample later; the last tap goes
        // when it is 0 in every phase.
        for (int i = 0; i < 256; ++i) {
            int* weight = static_cast<int*>(table.weights[i]);
            if (weight[0] == 0) {
                table.offset[i] -= 1;
                std::memmove(weight, weight + 1, (taps - 1) * sizeof(int));
                weight[taps - 1] = 0;
            }
        }
        bool lastZero = true;
        for (int i = 0; i < 256 && lastZero; ++i)
            lastZero = static_cast<int*>(table.weights[i])[taps - 1] == 0;
        if (lastZero && table.taps > 1)
            table.taps -= 1;
    }
    std::free(raw);
    return true;
}

bool CopyFilterTable(FilterTable& dst, FilterTable const& src)
{
    dst.taps = src.taps;
    std::memcpy(dst.offset, src.offset, sizeof dst.offset);
    for (int i = 0; i < 256; ++i) {
        dst.weights[i] = nullptr;
    }
    for (int i = 0; i < 256; ++i) {
        if (!src.weights[i])
            continue;
        // Blocks are sized for the untrimmed count: at most 3 taps more than taps in
        // the packed form, one more in the unpacked form.
        const size_t bytes = (static_cast<size_t>(src.taps) + 4) * sizeof(int);
        dst.weights[i] = std::calloc(bytes, 1);
        if (!dst.weights[i]) {
            FreeFilterTable(dst);
            return false;
        }
        std::memcpy(dst.weights[i], src.weights[i], static_cast<size_t>(src.taps) * sizeof(int));
    }
    return true;
}

} // namespace transform_internal
