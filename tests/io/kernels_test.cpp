// The fast conversion kernels against the per-pixel references: every input of
// the three-channel kernels, and every tile layout on random data. Built three
// times: with the kernels as the library has them, with the baseline code alone,
// and with the AVX2 code alone.
#include "io/convert_kernels.h"
#include "io/image_helpers.h"

#include <gtest/gtest.h>

// The baseline build names its suite apart.
#ifndef KERNEL_SUITE
#define KERNEL_SUITE ConvertKernels
#endif

// The AVX2 build runs only where the processor has AVX2.
#if defined(CONVERT_AVX2_ONLY)
#define SKIP_WITHOUT_KERNEL_ISA()                                                                                  \
    if (!__builtin_cpu_supports("avx2"))                                                                           \
    GTEST_SKIP() << "this processor has no AVX2"
#else
#define SKIP_WITHOUT_KERNEL_ISA() (void)0
#endif

TEST(KERNEL_SUITE, FastKernelsMatchTheReferenceOnEveryInput)
{
    SKIP_WITHOUT_KERNEL_ISA();
    // Every (c0, c1, c2) triple: 256 rows of 65536 pixels, three samples a pixel and
    // four (alpha first: the array passes rather than the whole-pixel loops).
    const int width = 65536, rows = 256;
    for (int step : {3, 4}) {
        const int offset = step - 3;
        std::vector<unsigned char> src(static_cast<size_t>(width) * step * rows);
        for (int r = 0; r < rows; ++r)
            for (int x = 0; x < width; ++x) {
                unsigned char* p = &src[(static_cast<size_t>(r) * width + x) * step + offset];
                p[0] = static_cast<unsigned char>(r);
                p[1] = static_cast<unsigned char>(x >> 8);
                p[2] = static_cast<unsigned char>(x);
            }
        std::vector<unsigned char> fast(src.size()), plain(src.size());
        for (convert::Kernel k : {convert::Kernel::Hls, convert::Kernel::Hsv, convert::Kernel::Ycc}) {
            convert::TileArgs t{src.data(), step, width * step, offset, fast.data(), step, width * step, offset, width,
                                rows};
            convert::FastKernel(k, t, nullptr);
            t.dst = plain.data();
            convert::ReferenceKernel(k, t, nullptr);
            ASSERT_TRUE(fast == plain) << static_cast<int>(k) << " step " << step;
        }
    }
}

TEST(KERNEL_SUITE, FastKernelsMatchTheReferenceInEveryLayout)
{
    SKIP_WITHOUT_KERNEL_ISA();
    CLut lut;
    for (unsigned i = 0; i < 200; ++i)
        lut[i] = LutColor{static_cast<unsigned char>(i * 7), static_cast<unsigned char>(i * 13),
                          static_cast<unsigned char>(i * 29)};
    const convert::PaletteTables palette(lut);
    struct Layout {
        convert::Kernel kernel;
        int srcStep, srcOffset, dstStep, dstOffset;
    } const layouts[] = {
        {convert::Kernel::GreyExpand8, 1, 0, 3, 0},  {convert::Kernel::GreyExpand8, 2, 1, 3, 0},
        {convert::Kernel::GreyExpand8, 2, 1, 4, 1},  {convert::Kernel::GreyExpand16, 1, 0, 3, 0},
        {convert::Kernel::GreyExpand16, 2, 1, 4, 1}, {convert::Kernel::Palette, 1, 0, 3, 0},
        {convert::Kernel::Palette, 2, 1, 4, 1},      {convert::Kernel::Palette, 2, 1, 3, 0},
        {convert::Kernel::Hls, 4, 1, 4, 1},          {convert::Kernel::Hsv, 4, 1, 3, 0},
        {convert::Kernel::Ycc, 4, 1, 4, 1},          {convert::Kernel::Hls, 3, 0, 4, 1},
    };
    // Widths around the 64-pixel blocks of the vector loops.
    const int h = 5;
    for (int w : {1, 63, 64, 77, 200}) {
        for (auto const& l : layouts) {
            const int bytes = l.kernel == convert::Kernel::GreyExpand16 ? 2 : 1;
            const int srcStride = w * l.srcStep * bytes + 4, dstStride = w * l.dstStep + 8;
            auto src = RandomBytes(static_cast<size_t>(srcStride) * h, 11);
            auto fast = RandomBytes(static_cast<size_t>(dstStride) * h, 3), plain = fast;
            convert::TileArgs t{src.data(), l.srcStep, srcStride, l.srcOffset, fast.data(), l.dstStep, dstStride,
                                l.dstOffset, w, h};
            convert::FastKernel(l.kernel, t, &palette);
            t.dst = plain.data();
            convert::ReferenceKernel(l.kernel, t, &palette);
            EXPECT_TRUE(fast == plain) << static_cast<int>(l.kernel) << " steps " << l.srcStep << "/" << l.dstStep
                                       << " width " << w;
        }
    }
}

#if defined(CONVERT_VBMI_BUILT) && !defined(CONVERT_BASELINE_ONLY) && !defined(CONVERT_AVX2_ONLY)
TEST(KERNEL_SUITE, HighBytesMatchThePlainLoopAtEveryAlignment)
{
    if (!convert::vbmi::Available())
        GTEST_SKIP() << "this processor has no AVX-512 VBMI";
    const auto src = RandomBytes(2 * 1100, 5);
    for (size_t count : {0, 1, 63, 64, 200, 1000})
        for (size_t shift : {0, 1, 33, 63})
            for (bool stream : {false, true}) {
                auto fast = RandomBytes(1100, 9), plain = fast;
                convert::vbmi::HighBytes(src.data() + 2 * shift, fast.data() + shift, count, stream);
                for (size_t i = 0; i < count; ++i)
                    plain[shift + i] = src[2 * (shift + i) + 1];
                EXPECT_TRUE(fast == plain) << count << " samples at " << shift << " stream " << stream;
            }
}
#endif
