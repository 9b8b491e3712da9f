// Mode conversion: the target-mode decision for every source model and flag, each
// kernel's known values, the tile walk across 256-pixel boundaries, and the fast
// kernels against the per-pixel references.
#include "image/Planes.h"
#include "io/IO.h"
#include "io/convert_kernels.h"
#include "io/image_helpers.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using ImagePtr = std::unique_ptr<CImage>;

const CIO::IOError kUntouched = CIO::IOERR_BAD_PATH; // a value the conversion never sets

ImagePtr Convert(CImage& image, unsigned flags, CIO::IOError& error)
{
    return ImagePtr(CIO::ConvertImage(&image, flags, error));
}

std::vector<unsigned char> ConvertPixels(IMAGE_MODE mode, std::vector<unsigned char> const& src, unsigned flags,
                                         IMAGE_MODE expectMode, CLut const* lut = nullptr)
{
    const int n = static_cast<int>(src.size() / BytesPerPixel(mode));
    auto image = MakeImage(mode, n, 1, src);
    if (lut)
        image->SetLut(*lut);
    CIO::IOError error = kUntouched;
    ImagePtr out = Convert(*image, flags, error);
    EXPECT_EQ(error, kUntouched);
    if (!out)
        return {};
    EXPECT_EQ(out->GetMode(), expectMode);
    return Pixels(*out);
}

} // namespace

TEST(ConvertDecision, EveryModelAgainstEveryFlagWithAndWithoutAlpha)
{
    // The outcome per source model for flags 0, IOF_TO_RGB, IOF_HUE_TO_RGB,
    // IOF_TO_RGB_NO_ALPHA; 0 is "nothing to convert".
    struct Row {
        IMAGE_MODE model;
        int target[4];
    } const rows[] = {
        {IM_GRAY, {0, IM_RGB, 0, IM_RGB}},          {IM_INDEXED, {0, IM_RGB, 0, IM_RGB}},
        {IM_RGB, {0, 0, 0, 0}},                     {IM_HLS, {0, IM_RGB, IM_RGB, IM_RGB}},
        {IM_HSV, {0, IM_RGB, IM_RGB, IM_RGB}},      {IM_GRAY16, {0, IM_RGB, IM_GRAY, IM_RGB}},
        {IM_RGB16, {0, IM_RGB, IM_RGB, IM_RGB}},    {IM_YCC, {0, IM_RGB, 0, IM_RGB}},
    };
    const unsigned flagsOf[4] = {0, IOF_TO_RGB, IOF_HUE_TO_RGB, IOF_TO_RGB_NO_ALPHA};
    for (auto const& r : rows) {
        for (int alpha = 0; alpha < 2; ++alpha) {
            const IMAGE_MODE mode = alpha ? r.model | IM_ALPHA : r.model;
            for (int f = 0; f < 4; ++f) {
                // Extra flag bits (IOF_BMP_RLE and bits above 3) change nothing.
                for (unsigned extra : {0u, unsigned(IOF_BMP_RLE), 0xFFF0u}) {
                    SCOPED_TRACE("mode " + std::to_string(mode) + " flags " + std::to_string(flagsOf[f] | extra));
                    auto image = RandomImage(mode, 3, 2, 7);
                    image->SetDpi(123.5);
                    CIO::IOError error = kUntouched;
                    ImagePtr out = Convert(*image, flagsOf[f] | extra, error);
                    EXPECT_EQ(error, kUntouched);
                    int expected = r.target[f];
                    if (alpha && f == 1 && expected)
                        expected = expected | IM_ALPHA; // IOF_TO_RGB keeps alpha
                    if (alpha && (f == 2 || f == 3) && !expected)
                        expected = r.model; // alpha goes even when the colours stay
                    if (!expected) {
                        EXPECT_EQ(out, nullptr);
                        continue;
                    }
                    ASSERT_NE(out, nullptr);
                    EXPECT_EQ(out->GetMode(), static_cast<IMAGE_MODE>(expected));
                    EXPECT_EQ(out->Width(), 3);
                    EXPECT_EQ(out->Height(), 2);
                    EXPECT_EQ(out->GetDpi(), 123.5);
                }
            }
        }
    }
}

TEST(ConvertDecision, CombinedFlagsFollowTheRule)
{
    // IOF_TO_RGB | IOF_HUE_TO_RGB: converts like IOF_TO_RGB, drops alpha like IOF_HUE_TO_RGB.
    auto grey = RandomImage(IM_GRAY | IM_ALPHA, 2, 2, 1);
    CIO::IOError error = kUntouched;
    ImagePtr out = Convert(*grey, IOF_TO_RGB | IOF_HUE_TO_RGB, error);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->GetMode(), IM_RGB);
}

TEST(ConvertDecision, ModelsWithoutKernelFailWithUnsupportedMode)
{
    const IMAGE_MODE modes[] = {IM_CHANNELS8, IM_CHANNELS16, IM_CHANNELS32, IM_CHANNELS64, IM_MASK, IM_MASK16,
                                IM_MASK | IM_ALPHA, IM_MASK16 | IM_ALPHA, static_cast<IMAGE_MODE>(4)};
    for (IMAGE_MODE mode : modes) {
        CImage image(mode, 4, 4, 72);
        for (unsigned flags : {unsigned(IOF_TO_RGB), unsigned(IOF_TO_RGB_NO_ALPHA)}) {
            CIO::IOError error = kUntouched;
            EXPECT_EQ(Convert(image, flags, error), nullptr) << mode;
            EXPECT_EQ(error, CIO::IOERR_UNSUPPORTED_MODE) << mode;
        }
        CIO::IOError error = kUntouched;
        EXPECT_EQ(Convert(image, 0, error), nullptr);
        EXPECT_EQ(error, kUntouched) << "nothing asked, nothing reported";
    }
    // A mask that would lose its only plane.
    CImage mask(IM_MASK | IM_ALPHA, 4, 4, 72);
    CIO::IOError error = kUntouched;
    EXPECT_EQ(Convert(mask, IOF_HUE_TO_RGB, error), nullptr);
    EXPECT_EQ(error, CIO::IOERR_UNSUPPORTED_MODE);
    // Channels under IOF_HUE_TO_RGB: nothing applies.
    CImage channels(IM_CHANNELS8, 4, 4, 72);
    error = kUntouched;
    EXPECT_EQ(Convert(channels, IOF_HUE_TO_RGB, error), nullptr);
    EXPECT_EQ(error, kUntouched);
}

TEST(ConvertKernels, GreyAndSixteenBitValues)
{
    EXPECT_EQ(ConvertPixels(IM_GRAY, {200}, IOF_TO_RGB, IM_RGB), (std::vector<unsigned char>{200, 200, 200}));
    EXPECT_EQ(ConvertPixels(IM_GRAY16, {0xCD, 0xAB}, IOF_HUE_TO_RGB, IM_GRAY), (std::vector<unsigned char>{0xAB}));
    EXPECT_EQ(ConvertPixels(IM_GRAY16, {0xCD, 0xAB}, IOF_TO_RGB, IM_RGB),
              (std::vector<unsigned char>{0xAB, 0xAB, 0xAB}));
    // Alpha first: grey+alpha keeps its alpha under IOF_TO_RGB, loses it under NO_ALPHA.
    EXPECT_EQ(ConvertPixels(IM_GRAY | IM_ALPHA, {17, 200, 99, 5}, IOF_TO_RGB, IM_RGB | IM_ALPHA),
              (std::vector<unsigned char>{17, 200, 200, 200, 99, 5, 5, 5}));
    EXPECT_EQ(ConvertPixels(IM_GRAY | IM_ALPHA, {17, 200}, IOF_TO_RGB_NO_ALPHA, IM_RGB),
              (std::vector<unsigned char>{200, 200, 200}));
    // 16-bit alpha narrows with the colours.
    EXPECT_EQ(ConvertPixels(IM_RGB16 | IM_ALPHA, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}, IOF_TO_RGB,
                            IM_RGB | IM_ALPHA),
              (std::vector<unsigned char>{0x22, 0x44, 0x66, 0x88}));
    EXPECT_EQ(ConvertPixels(IM_GRAY16 | IM_ALPHA, {0x11, 0x22, 0x33, 0x44}, IOF_TO_RGB, IM_RGB | IM_ALPHA),
              (std::vector<unsigned char>{0x22, 0x44, 0x44, 0x44}));
    EXPECT_EQ(ConvertPixels(IM_RGB16 | IM_ALPHA, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}, IOF_HUE_TO_RGB,
                            IM_RGB),
              (std::vector<unsigned char>{0x44, 0x66, 0x88}));
    // IM_RGB with alpha under IOF_HUE_TO_RGB: the same colours without alpha.
    EXPECT_EQ(ConvertPixels(IM_RGB | IM_ALPHA, {9, 1, 2, 3}, IOF_HUE_TO_RGB, IM_RGB),
              (std::vector<unsigned char>{1, 2, 3}));
}

TEST(ConvertKernels, PaletteLookupAndIndicesPastTheTable)
{
    CLut lut;
    lut[0] = LutColor{10, 20, 30};
    lut[1] = LutColor{40, 50, 60};
    lut[2] = LutColor{70, 80, 90};
    ASSERT_EQ(lut.GetColors(), 3);
    // Index 3 and 255 lie past colorCount: black.
    EXPECT_EQ(ConvertPixels(IM_INDEXED, {2, 0, 3, 255, 1}, IOF_TO_RGB, IM_RGB, &lut),
              (std::vector<unsigned char>{70, 80, 90, 10, 20, 30, 0, 0, 0, 0, 0, 0, 40, 50, 60}));
    // Entries past colorCount hold a colour but count as unused.
    CLut stale = lut;
    stale[200] = LutColor{1, 2, 3};
    stale.SetColors(3);
    EXPECT_EQ(ConvertPixels(IM_INDEXED, {200}, IOF_TO_RGB, IM_RGB, &stale), (std::vector<unsigned char>{0, 0, 0}));

    // Indexed with alpha under IOF_HUE_TO_RGB: same indices, the source's table.
    auto image = MakeImage(IM_INDEXED | IM_ALPHA, 2, 1, {7, 2, 8, 1});
    image->SetLut(lut);
    CIO::IOError error = kUntouched;
    ImagePtr out = Convert(*image, IOF_HUE_TO_RGB, error);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->GetMode(), IM_INDEXED);
    EXPECT_EQ(Pixels(*out), (std::vector<unsigned char>{2, 1}));
    EXPECT_EQ(out->GetLut().GetColors(), 3);
    EXPECT_EQ(out->GetLut()[2].green, 80);
}

TEST(ConvertKernels, HlsHsvAndYccValues)
{
    struct Case {
        IMAGE_MODE mode;
        unsigned char in[3];
        unsigned char out[3];
    } const cases[] = {
        {IM_HLS, {0, 64, 255}, {128, 0, 0}},
        {IM_HLS, {85, 64, 255}, {0, 128, 0}},
        {IM_HLS, {0, 200, 255}, {255, 145, 145}},
        {IM_HLS, {77, 90, 0}, {90, 90, 90}},
        {IM_HLS, {0, 128, 255}, {255, 0, 0}},     // m2 = 256 is stored as 255
        {IM_HLS, {128, 128, 255}, {0, 255, 255}}, // sector 3 at its start: 256 again
        {IM_HSV, {0, 255, 255}, {255, 0, 0}},
        {IM_HSV, {21, 255, 255}, {255, 130, 0}},
        {IM_HSV, {42, 255, 255}, {255, 255, 0}},
        {IM_HSV, {170, 255, 255}, {0, 0, 255}},
        {IM_HSV, {99, 0, 77}, {77, 77, 77}},
        {IM_YCC, {128, 128, 128}, {128, 128, 128}},
        {IM_YCC, {255, 128, 255}, {255, 164, 255}},
        {IM_YCC, {0, 128, 0}, {0, 91, 0}},
    };
    for (auto const& c : cases) {
        std::vector<unsigned char> in(c.in, c.in + 3);
        EXPECT_EQ(ConvertPixels(c.mode, in, IOF_TO_RGB, IM_RGB), std::vector<unsigned char>(c.out, c.out + 3))
            << c.mode << " " << int(c.in[0]) << "," << int(c.in[1]) << "," << int(c.in[2]);
    }
    EXPECT_EQ(convert::kHue[255], 383);
    EXPECT_EQ(convert::kCrToRed[0], -179);
    EXPECT_EQ(convert::kCrToRed[255], 178);
    EXPECT_EQ(convert::kCbToBlue[0], -227);
    EXPECT_EQ(convert::kCbToBlue[255], 225);
}

namespace {

// The expected result of a whole-image conversion, from the reference kernels and
// plain plane copies applied to the whole image at once (no tiles).
std::vector<unsigned char> Expected(CImage& image, IMAGE_MODE target, unsigned flags)
{
    const IMAGE_MODE mode = image.GetMode(), model = ModeColorModel(mode);
    const int w = image.Width(), h = image.Height();
    const int sp = ModePlaneCount(mode), tp = ModePlaneCount(target);
    const int bytes = ModeBitsPerSample(mode) / 8;
    std::vector<unsigned char> src = Pixels(image);
    std::vector<unsigned char> out(static_cast<size_t>(w) * h * tp);
    const bool srcAlpha = ModeHasAlpha(mode), dstAlpha = ModeHasAlpha(target);
    const int so = srcAlpha ? 1 : 0, dof = dstAlpha ? 1 : 0;
    const bool colour = ModeColorModel(target) == IM_RGB && model != IM_RGB && model != IM_RGB16;
    (void)flags;
    for (int i = 0; i < w * h; ++i) {
        const unsigned char* s = &src[static_cast<size_t>(i) * sp * bytes];
        unsigned char* d = &out[static_cast<size_t>(i) * tp];
        if (dstAlpha)
            d[0] = s[bytes - 1];
        if (!colour) {
            for (int k = 0; k < tp - dof; ++k)
                d[dof + k] = s[(so + k) * bytes + bytes - 1];
        }
    }
    if (colour) {
        convert::Kernel k = model == IM_GRAY      ? convert::Kernel::GreyExpand8
                            : model == IM_GRAY16  ? convert::Kernel::GreyExpand16
                            : model == IM_INDEXED ? convert::Kernel::Palette
                            : model == IM_HLS     ? convert::Kernel::Hls
                            : model == IM_HSV     ? convert::Kernel::Hsv
                                                  : convert::Kernel::Ycc;
        const convert::PaletteTables palette(image.GetLut());
        convert::TileArgs t{src.data(), sp, w * sp * bytes, so, out.data(), tp, w * tp, dof, w, h};
        convert::ReferenceKernel(k, t, &palette);
    }
    return out;
}

} // namespace

TEST(ConvertTiles, WholeImagesAcrossTileBoundariesMatchTheReference)
{
    const IMAGE_MODE models[] = {IM_GRAY, IM_INDEXED, IM_RGB, IM_HLS, IM_HSV, IM_GRAY16, IM_RGB16, IM_YCC};
    struct Size {
        int w, h;
    } const sizes[] = {{300, 10}, {256, 256}, {257, 513}, {1, 1}, {513, 3}};
    CLut lut;
    for (unsigned i = 0; i < 100; ++i)
        lut[i] = LutColor{static_cast<unsigned char>(255 - i), static_cast<unsigned char>(i), 33};
    unsigned seed = 1;
    for (IMAGE_MODE model : models)
        for (int alpha = 0; alpha < 2; ++alpha)
            for (auto s : sizes)
                for (unsigned flags : {unsigned(IOF_TO_RGB), unsigned(IOF_HUE_TO_RGB), unsigned(IOF_TO_RGB_NO_ALPHA)}) {
                    const IMAGE_MODE mode = alpha ? model | IM_ALPHA : model;
                    auto image = RandomImage(mode, s.w, s.h, ++seed);
                    image->SetLut(lut);
                    CIO::IOError error = kUntouched;
                    ImagePtr out = Convert(*image, flags, error);
                    if (!out)
                        continue; // covered by the decision table
                    ASSERT_EQ(out->Width(), s.w);
                    EXPECT_TRUE(Pixels(*out) == Expected(*image, out->GetMode(), flags))
                        << "mode " << mode << " flags " << flags << " size " << s.w << "x" << s.h;
                }
}

TEST(ConvertTiles, EmptyImageGivesAnEmptyImageInTheTargetMode)
{
    CImage image(IM_HSV | IM_ALPHA, 0, 0, 72);
    CIO::IOError error = kUntouched;
    ImagePtr out = Convert(image, IOF_TO_RGB, error);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->GetMode(), IM_RGB | IM_ALPHA);
    EXPECT_EQ(out->Width(), 0);
    EXPECT_EQ(out->Height(), 0);
    EXPECT_EQ(error, kUntouched);
}

TEST(ConvertTiles, SourceImageIsLeftUnchanged)
{
    auto image = RandomImage(IM_YCC | IM_ALPHA, 300, 260, 5);
    const auto before = Pixels(*image);
    CIO::IOError error = kUntouched;
    ImagePtr out = Convert(*image, IOF_TO_RGB, error);
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(Pixels(*image) == before);
    EXPECT_EQ(image->GetMode(), IM_YCC | IM_ALPHA);
}
