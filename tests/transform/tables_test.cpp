// The weight tables and the source rectangles of the scaler.
#include "TransformTest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

// The kernel written out again, independently of the library's copy.
double K(double x)
{
    double a = x < 0 ? -x : x;
    if (a < 1)
        return a * a * a - 2 * a * a + 1;
    if (a < 2)
        return -a * a * a + 5 * a * a - 8 * a + 4;
    return 0;
}

struct CubicDeleter {
    void operator()(CubicTable* t) const { std::free(t); }
};

} // namespace

TEST(CubicTable, HoldsTheListedEntries)
{
    std::unique_ptr<CubicTable, CubicDeleter> table(transform_internal::NewCubicTable());
    ASSERT_TRUE(table);
    struct {
        int phase, w0, w1, w2, w3;
    } const cases[] = {
        {0, 0, 4096, 0, 0},           {1, -15, 4095, 16, 0},         {64, -576, 3648, 1216, -192},
        {128, -512, 2560, 2560, -512}, {192, -192, 1216, 3648, -576}, {255, 0, 16, 4095, -15},
    };
    for (auto const& c : cases) {
        CubicEntry const& e = table->entry[c.phase];
        EXPECT_EQ(e.w0, c.w0) << "phase " << c.phase;
        EXPECT_EQ(e.w1, c.w1) << "phase " << c.phase;
        EXPECT_EQ(e.w2, c.w2) << "phase " << c.phase;
        EXPECT_EQ(e.w3, c.w3) << "phase " << c.phase;
    }
}

TEST(CubicTable, EqualsAnIndependentComputationAndEveryPhaseSumsTo4096)
{
    std::unique_ptr<CubicTable, CubicDeleter> table(transform_internal::NewCubicTable());
    ASSERT_TRUE(table);
    for (int p = 0; p < 256; ++p) {
        const double f = p / 256.0;
        CubicEntry const& e = table->entry[p];
        EXPECT_EQ(e.w0, static_cast<int>(K(-1 - f) * 4096));
        EXPECT_EQ(e.w1, static_cast<int>(K(-f) * 4096));
        EXPECT_EQ(e.w2, static_cast<int>(K(1 - f) * 4096));
        EXPECT_EQ(e.w3, static_cast<int>(K(2 - f) * 4096));
        EXPECT_EQ(e.w0 + e.w1 + e.w2 + e.w3, 4096) << "phase " << p;
    }
}

// Taps and offsets of both forms, and the weights: the packed form holds the same
// values as an independent untrimmed computation, the unpacked form the same values
// shifted by its trimming.
TEST(FilterTable, TapsOffsetsAndWeightsOfBothForms)
{
    struct {
        double s;
        unsigned taps, packedTaps;
        int offset, packedOffset; // offset -1: it depends on the phase
    } const cases[] = {
        {2.5, 10, 12, 4, 5},
        {2.0, 8, 12, 3, 4},
        {1.25, 5, 8, -1, 2},
        {4.0, 16, 20, 7, 8},
        {3.0008, 13, 16, -1, 6},
    };
    for (auto const& c : cases) {
        for (bool packed : {false, true}) {
            TransformSwitches sw(packed, TesseraTransformKernelLevel());
            FilterTable t{};
            ASSERT_TRUE(transform_internal::BuildFilterTable(t, c.s));
            EXPECT_EQ(t.taps, packed ? c.packedTaps : c.taps) << "s " << c.s << " packed " << packed;
            const int rawTaps = static_cast<int>(std::ceil(4 * c.s)) + 1;
            const int baseOffset = static_cast<int>(std::floor(2 * c.s));
            for (int p = 0; p < 256; ++p) {
                const int expectOffset = packed ? c.packedOffset : c.offset;
                if (expectOffset >= 0) {
                    EXPECT_EQ(t.offset[p], expectOffset) << "s " << c.s << " phase " << p;
                }
                // independent weights, untrimmed
                std::vector<double> raw(rawTaps);
                double sum = 0;
                for (int j = 0; j < rawTaps; ++j) {
                    raw[j] = K((j - baseOffset - p / 256.0) / c.s);
                    sum += raw[j];
                }
                const int shift = baseOffset - t.offset[p];
                ASSERT_TRUE(shift == 0 || shift == 1);
                for (unsigned j = 0; j < t.taps; ++j) {
                    const int src = static_cast<int>(j) + shift;
                    const int expect = src < rawTaps ? static_cast<int>(raw[src] * 4096 / sum) : 0;
                    EXPECT_EQ(transform_internal::FilterWeight(t, packed, p, j), expect)
                        << "s " << c.s << " phase " << p << " tap " << j;
                }
            }
            transform_internal::FreeFilterTable(t);
        }
    }
}

TEST(FilterTable, TrimmedOffsetOfScale125DependsOnThePhase)
{
    TransformSwitches sw(false, TesseraTransformKernelLevel());
    FilterTable t{};
    ASSERT_TRUE(transform_internal::BuildFilterTable(t, 1.25));
    EXPECT_EQ(t.taps, 5u);
    bool saw1 = false, saw2 = false;
    for (int p = 0; p < 256; ++p) {
        saw1 |= t.offset[p] == 1;
        saw2 |= t.offset[p] == 2;
        EXPECT_TRUE(t.offset[p] == 1 || t.offset[p] == 2);
    }
    EXPECT_TRUE(saw1 && saw2);
    transform_internal::FreeFilterTable(t);
}

TEST(FilterTable, RefusesAReductionBeyondTheTapLimit)
{
    FilterTable t{};
    EXPECT_FALSE(transform_internal::BuildFilterTable(t, 1e6));
    for (void* w : t.weights)
        EXPECT_EQ(w, nullptr);
}

TEST(ScaleGetSrcRect, AddsTheMarginsOfEachAxis)
{
    struct {
        bool mmx;
        CSize dst, src;
        CRect in, out;
    } const cases[] = {
        {false, {100, 100}, {100, 100}, {3, 4, 50, 60}, {3, 4, 50, 60}},        // equal sizes
        {false, {200, 200}, {100, 100}, {0, 0, 100, 100}, {-1, -1, 52, 52}},    // enlarge by 2
        {false, {200, 200}, {100, 100}, {100, 0, 200, 0}, {49, -1, 102, 2}},
        {false, {100, 10}, {250, 10}, {0, 0, 100, 10}, {-5, 0, 255, 10}},      // reduce by 2.5, trimmed
        {true, {100, 10}, {250, 10}, {0, 0, 100, 10}, {-6, 0, 256, 10}},       // packed
    };
    for (auto const& c : cases) {
        TransformSwitches sw(c.mmx, TesseraTransformKernelLevel());
        CScale scale(c.dst, c.src, true);
        CRect out;
        scale.GetSrcRect(c.in, out);
        EXPECT_EQ(out, c.out) << out.left << "," << out.top << "," << out.right << "," << out.bottom;
    }
}
