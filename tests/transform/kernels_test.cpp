// The vector kernels against their plain forms on random lines, rows, weights and
// phases, 8- and 16-bit.
#include "TransformTest.h"
#include "transform/scale_kernels.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace transform_internal;

namespace {

std::vector<ScaleKernels const*> FastKernels()
{
    std::vector<ScaleKernels const*> k{KernelsSse2()};
    if (MaxKernelLevel() >= 2)
        k.push_back(KernelsAvx2());
    return k;
}

struct Bank {
    WeightBank bank{};
    ~Bank() { FreeBank(bank); }
};

// Banks of the cubic table and of filters for a spread of reductions, both forms.
std::vector<std::unique_ptr<Bank>> Banks()
{
    std::vector<std::unique_ptr<Bank>> banks;
    CubicTable* cubic = NewCubicTable();
    banks.push_back(std::make_unique<Bank>());
    EXPECT_TRUE(BuildCubicBank(banks.back()->bank, *cubic));
    std::free(cubic);
    for (double s : {1.01, 1.25, 2.0, 2.5, 3.0008, 4.0, 7.3, 12.0})
        for (bool packed : {false, true}) {
            TransformSwitches sw(packed, TesseraTransformKernelLevel());
            FilterTable t{};
            EXPECT_TRUE(BuildFilterTable(t, s));
            banks.push_back(std::make_unique<Bank>());
            EXPECT_TRUE(BuildFilterBank(banks.back()->bank, t, packed));
            FreeFilterTable(t);
        }
    return banks;
}

template <typename T>
std::vector<T> RandomSamples(std::mt19937& rng, size_t n, unsigned max)
{
    std::vector<T> v(n);
    for (auto& x : v)
        x = static_cast<T>(rng() % 4 == 0 ? (rng() % 2 ? max : 0) : rng() % (max + 1)); // many extremes
    return v;
}

} // namespace

TEST(ScaleKernels, HorizontalLinesMatchThePlainForm)
{
    std::mt19937 rng(1);
    for (auto const& b : Banks()) {
        WeightBank const& bank = b->bank;
        for (int trial = 0; trial < 8; ++trial) {
            const int count = 1 + rng() % 300;
            std::vector<int32_t> first(count);
            std::vector<uint8_t> phase(count);
            int reach = 0;
            for (int k = 0; k < count; ++k) {
                phase[k] = static_cast<uint8_t>(rng());
                first[k] = static_cast<int32_t>(rng() % 500);
                reach = std::max(reach, first[k] + bank.stride);
            }
            const auto line8 = RandomSamples<uint8_t>(rng, reach + 16, 255);
            const auto line16 = RandomSamples<uint16_t>(rng, reach + 16, 65535);
            std::vector<uint8_t> want8(count);
            std::vector<uint16_t> want16(count);
            KernelsPlain()->hline8(line8.data(), first.data(), phase.data(), count, bank, want8.data());
            KernelsPlain()->hline16(line16.data(), first.data(), phase.data(), count, bank, want16.data());
            for (ScaleKernels const* k : FastKernels()) {
                std::vector<uint8_t> got8(count);
                std::vector<uint16_t> got16(count);
                k->hline8(line8.data(), first.data(), phase.data(), count, bank, got8.data());
                k->hline16(line16.data(), first.data(), phase.data(), count, bank, got16.data());
                ASSERT_EQ(got8, want8);
                ASSERT_EQ(got16, want16);
            }
        }
    }
}

TEST(ScaleKernels, VerticalRowsMatchThePlainForm)
{
    std::mt19937 rng(2);
    for (auto const& b : Banks()) {
        WeightBank const& bank = b->bank;
        for (int trial = 0; trial < 6; ++trial) {
            const int p = rng() % 256, taps = bank.taps[p];
            const int16_t* w = bank.w + static_cast<size_t>(p) * bank.stride;
            const int width = 1 + rng() % 300;
            const long stride8 = width + rng() % 8, stride16 = 2 * (width + rng() % 8);
            const auto rows8 = RandomSamples<uint8_t>(rng, stride8 * taps, 255);
            const auto rows16 = RandomSamples<uint16_t>(rng, stride16 / 2 * taps, 65535);
            std::vector<uint8_t> want8(width), got8(width);
            std::vector<uint16_t> want16(width), got16(width);
            KernelsPlain()->vrow8(rows8.data(), stride8, w, taps, bank.round, width, want8.data());
            KernelsPlain()->vrow16(rows16.data(), stride16, w, taps, bank.round, bank.sum[p], width, want16.data());
            for (ScaleKernels const* k : FastKernels()) {
                k->vrow8(rows8.data(), stride8, w, taps, bank.round, width, got8.data());
                k->vrow16(rows16.data(), stride16, w, taps, bank.round, bank.sum[p], width, got16.data());
                ASSERT_EQ(got8, want8);
                ASSERT_EQ(got16, want16);
            }
        }
    }
}

TEST(ScaleKernels, RotationWalkMatchesThePlainForm)
{
    std::mt19937 rng(3);
    CubicTable* cubic = NewCubicTable();
    const int size = 256;
    const auto src = RandomSamples<uint8_t>(rng, size * size, 255);
    for (int trial = 0; trial < 60; ++trial) {
        const int count = 1 + rng() % 60, rows = 1 + rng() % 60; // steps below 0.9: reach below 108
        const int colStepX = static_cast<int>(rng() % 117964) - 58982, colStepY = static_cast<int>(rng() % 117964) - 58982;
        const int rowStepX = static_cast<int>(rng() % 117964) - 58982, rowStepY = static_cast<int>(rng() % 117964) - 58982;
        // start in the middle so that every 4 x 4 neighbourhood stays inside
        const int sx0 = (128 << 16) + static_cast<int>(rng() % 65536), sy0 = (128 << 16) + static_cast<int>(rng() % 65536);
        const int dstStep = 1 + rng() % 2;
        const int dstRowStride = dstStep * count + 3;
        std::vector<uint8_t> want(dstRowStride * rows, 0), got(dstRowStride * rows, 0);
        KernelsPlain()->rotate8(want.data(), dstStep, dstRowStride, src.data(), 1, size, sx0, sy0, colStepX, colStepY,
                                rowStepX, rowStepY, cubic, count, rows);
        for (ScaleKernels const* k : FastKernels()) {
            std::fill(got.begin(), got.end(), 0);
            k->rotate8(got.data(), dstStep, dstRowStride, src.data(), 1, size, sx0, sy0, colStepX, colStepY, rowStepX,
                       rowStepY, cubic, count, rows);
            ASSERT_EQ(got, want) << "trial " << trial;
        }
    }
    std::free(cubic);
}

TEST(ScaleKernels, GatherAndScatterMatchThePlainForm)
{
    std::mt19937 rng(4);
    for (int step : {1, 2, 3, 4, 5})
        for (int count : {0, 1, 15, 16, 17, 18, 33, 100, 257}) {
            const auto src = RandomSamples<uint8_t>(rng, static_cast<size_t>(count) * step + 1, 255);
            std::vector<uint8_t> want(count), got(count);
            KernelsPlain()->gather8(want.data(), src.data(), step, count);
            for (ScaleKernels const* k : FastKernels()) {
                k->gather8(got.data(), src.data(), step, count);
                ASSERT_EQ(got, want) << "step " << step << " count " << count;
            }
            const auto samples = RandomSamples<uint8_t>(rng, count, 255);
            std::vector<uint8_t> wantDst = RandomSamples<uint8_t>(rng, static_cast<size_t>(count) * step + 1, 255);
            std::vector<uint8_t> gotDst = wantDst;
            KernelsPlain()->scatter8(wantDst.data(), step, samples.data(), count);
            for (ScaleKernels const* k : FastKernels()) {
                std::vector<uint8_t> d = gotDst;
                k->scatter8(d.data(), step, samples.data(), count);
                ASSERT_EQ(d, wantDst) << "step " << step << " count " << count;
            }
        }
}
