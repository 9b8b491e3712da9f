// CRotateScale: geometry, tiling, backgrounds and the refused requests.
#include "TransformTest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

const double kPi = 3.141592653589793;

struct Owned {
    CImage* image;
    ~Owned() { delete image; }
};

} // namespace

TEST(RotateGeometry, NormalisesTheAngleAndSizesTheResult)
{
    struct {
        int srcW, srcH, newW, newH;
        double angle, stored;
        int w, h;
    } const cases[] = {
        {100, 50, 100, 50, 0.0, 0.0, 100, 50},
        {100, 50, 100, 50, kPi + kPi, 0.0, 100, 50},
        {100, 50, 100, 50, -kPi / 2, -kPi / 2 + (kPi + kPi), 51, 101},
        {100, 50, 100, 50, kPi / 2, kPi / 2, 51, 100}, // cos is a tiny positive number: ceil widens
        {100, 50, 100, 50, kPi, kPi, 100, 51},
        {300, 300, 300, 300, kPi / 4, kPi / 4, 426, 425},
        {100, 50, 100, 50, 1e300, std::fmod(1e300, kPi + kPi), -1, -1}, // no endless loop of whole turns
    };
    for (auto const& c : cases) {
        CImage source(IM_GRAY, c.srcW, c.srcH, 72.0);
        CRotateScale rotate(source);
        Owned result{rotate.Transform(c.newW, c.newH, c.angle, nullptr, true, false, nullptr)};
        ASSERT_NE(result.image, nullptr);
        EXPECT_EQ(TransformTestAccess::Angle(rotate), c.stored) << "angle " << c.angle;
        if (c.w > 0) {
            EXPECT_EQ(result.image->Width(), c.w) << "angle " << c.angle;
            EXPECT_EQ(result.image->Height(), c.h) << "angle " << c.angle;
        }
        EXPECT_EQ(result.image->GetDpi(), 96.0);
    }
}

TEST(RotateGeometry, IdentityHasWholePixelSteps)
{
    CImage source(IM_RGB, 64, 48, 72.0);
    CRotateScale rotate(source);
    Owned result{rotate.Transform(64, 48, 0.0, nullptr, false, false, nullptr)};
    ASSERT_NE(result.image, nullptr);
    EXPECT_EQ(TransformTestAccess::Origin(rotate).x, 0.0);
    EXPECT_EQ(TransformTestAccess::Origin(rotate).y, 0.0);
    EXPECT_EQ(TransformTestAccess::ColStepX(rotate), 65536);
    EXPECT_EQ(TransformTestAccess::ColStepY(rotate), 0);
    EXPECT_EQ(TransformTestAccess::RowStepX(rotate), 0);
    EXPECT_EQ(TransformTestAccess::RowStepY(rotate), 65536);
}

TEST(RotateGeometry, TileSizesKeepTheFootprintWithin245Pixels)
{
    struct {
        int src, size;
        double angle;
        int tile;
    } const cases[] = {
        {1000, 100, 0.0, 24},
        {100, 1000, 0.0, 256},
        {300, 300, kPi / 4, 173},
    };
    for (auto const& c : cases) {
        CImage source(IM_GRAY, c.src, c.src, 72.0);
        CRotateScale rotate(source);
        Owned result{rotate.Transform(c.size, c.size, c.angle, nullptr, true, false, nullptr)};
        ASSERT_NE(result.image, nullptr);
        EXPECT_EQ(TransformTestAccess::TileWidth(rotate), c.tile);
        EXPECT_EQ(TransformTestAccess::TileHeight(rotate), c.tile);
    }
}

TEST(RotateGeometry, CalculateSizeTurnsAboutTheCentreOfTheSettings)
{
    CImage source(IM_GRAY, 10, 10, 72.0);
    CRotateScale rotate(source);
    rotate.Settings(100, 50, 0.0, false);
    EXPECT_EQ(TransformTestAccess::CalculateSize(rotate), CSize(100, 50));
    rotate.Settings(100, 50, kPi / 2, false);
    EXPECT_EQ(TransformTestAccess::CalculateSize(rotate), CSize(50, 100));
}

TEST(RotateTransform, IdentityReproducesTheSource)
{
    for (IMAGE_MODE mode : {IM_RGB, IM_RGB16 | IM_ALPHA, IM_INDEXED | IM_ALPHA, IM_GRAY16}) {
        auto source = RandomImage(mode, 530, 300, 11);
        for (int level = 0; level <= MaxKernelLevel(); ++level) {
            TransformSwitches sw(true, level);
            CRotateScale rotate(*source);
            Owned result{rotate.Transform(530, 300, 0.0, nullptr, true, false, nullptr)};
            ASSERT_NE(result.image, nullptr);
            EXPECT_EQ(result.image->GetMode(), mode);
            EXPECT_EQ(Pixels(*result.image), Pixels(*source)) << "mode " << mode << " level " << level;
        }
    }
}

// The vector walk gives the bytes of the reference routines at any angle and scale.
TEST(RotateTransform, KernelLevelsAgree)
{
    struct {
        IMAGE_MODE mode;
        int newW, newH;
        double angle;
    } const cases[] = {
        {IM_RGB, 400, 300, 0.5235987755982988},
        {IM_GRAY | IM_ALPHA, 700, 200, 2.0},
        {IM_RGB, 150, 90, -1.1},
        {IM_GRAY, 333, 333, kPi / 2},
    };
    auto source = RandomImage(IM_RGB, 320, 240, 17);
    for (auto const& c : cases) {
        auto image = RandomImage(c.mode, 320, 240, 17);
        std::vector<uint8_t> reference;
        for (int level = 0; level <= MaxKernelLevel(); ++level) {
            TransformSwitches sw(true, level);
            CRotateScale rotate(*image);
            DPOINT centre{c.newW / 2.0, c.newH / 3.0};
            Owned result{rotate.Transform(c.newW, c.newH, c.angle, &centre, true, false, nullptr)};
            ASSERT_NE(result.image, nullptr);
            if (level == 0)
                reference = Pixels(*result.image);
            else
                EXPECT_EQ(Pixels(*result.image), reference) << "angle " << c.angle << " level " << level;
        }
    }
}

TEST(RotateTransform, CornersTakeTheRequestedBackground)
{
    CImage source(IM_RGB, 80, 60, 72.0);
    std::vector<uint8_t> grey(80 * 60 * 3, 128);
    SetPixels(source, grey);
    const unsigned char rgb[3] = {10, 200, 30};
    CColor color(IM_RGB, rgb, 3);
    CRotateScale rotate(source);

    Owned coloured{rotate.Transform(80, 60, 0.7, nullptr, true, true, &color)};
    ASSERT_NE(coloured.image, nullptr);
    auto px = Pixels(*coloured.image);
    EXPECT_EQ(px[0], 10); // the top-left corner lies outside the turned picture
    EXPECT_EQ(px[1], 200);
    EXPECT_EQ(px[2], 30);
    const CColor mask = source.GetMaskColor();
    EXPECT_EQ(std::vector<int>(mask.GetColor(), mask.GetColor() + 3), (std::vector<int>{10, 200, 30}));

    // Without a colour (also when the colour pointer is null) the corners are 0.
    for (bool useColor : {false, true}) {
        Owned plain{rotate.Transform(80, 60, 0.7, nullptr, true, useColor, nullptr)};
        ASSERT_NE(plain.image, nullptr);
        px = Pixels(*plain.image);
        EXPECT_EQ(px[0] + px[1] + px[2], 0);
    }
}

TEST(RotateTransform, IndexedSourceKeepsItsTableAndIndices)
{
    auto source = RandomImage(IM_INDEXED | IM_ALPHA, 200, 150, 23);
    {
        // indices from a small set, alpha as generated
        auto px = Pixels(*source);
        const int few[3] = {3, 9, 250};
        for (size_t i = 1; i < px.size(); i += 2)
            px[i] = static_cast<uint8_t>(few[(i / 2 + i / 401) % 3]);
        SetPixels(*source, px);
    }
    CLut lut;
    for (int i = 0; i < 256; ++i)
        lut[i] = LutColor{static_cast<unsigned char>(i), 1, 2};
    source->SetLut(lut);
    std::set<int> present;
    const auto in = Pixels(*source);
    for (size_t i = 1; i < in.size(); i += 2)
        present.insert(in[i]);
    present.insert(0); // the background outside the picture

    CRotateScale rotate(*source);
    Owned result{rotate.Transform(180, 170, 0.4, nullptr, true, false, nullptr)};
    ASSERT_NE(result.image, nullptr);
    EXPECT_EQ(result.image->GetMode(), IM_INDEXED | IM_ALPHA);
    EXPECT_EQ(result.image->GetLut().GetColors(), 256);
    EXPECT_EQ(result.image->GetLut()[77].red, 77);
    const auto out = Pixels(*result.image);
    std::set<int> alphaValues;
    for (size_t i = 0; i < out.size(); i += 2) {
        ASSERT_TRUE(present.count(out[i + 1])) << "index " << int(out[i + 1]) << " was blended";
        alphaValues.insert(out[i]);
    }
    EXPECT_GT(alphaValues.size(), 200u); // alpha is interpolated
}

TEST(RotateTransform, RefusesWhatItCannotRender)
{
    CImage rgb(IM_RGB, 20, 20, 72.0);
    CRotateScale rotate(rgb);
    EXPECT_EQ(rotate.Transform(0, 20, 0.3, nullptr, true, false, nullptr), nullptr);
    EXPECT_EQ(rotate.Transform(20, -1, 0.3, nullptr, true, false, nullptr), nullptr);
    EXPECT_EQ(rotate.Transform(20, 20, NAN, nullptr, true, false, nullptr), nullptr);
    EXPECT_EQ(rotate.Transform(2000000000, 2000000000, 0.3, nullptr, true, false, nullptr), nullptr);

    CImage channels(IM_CHANNELS8, 20, 20, 72.0);
    CRotateScale channelRotate(channels);
    EXPECT_EQ(channelRotate.Transform(20, 20, 0.3, nullptr, true, false, nullptr), nullptr);
}

TEST(RotateCopy, OwnsMapsAndTableOfItsOwn)
{
    auto source = RandomImage(IM_RGB, 90, 60, 29);
    auto original = std::make_unique<CRotateScale>(*source);
    Owned expect{original->Transform(70, 80, 1.0, nullptr, true, false, nullptr)};
    CRotateScale copy(*original);
    CImage other(IM_GRAY16, 5, 5, 72.0);
    CRotateScale assigned(other);
    assigned = *original;
    original.reset();
    Owned a{copy.Transform(70, 80, 1.0, nullptr, true, false, nullptr)};
    Owned b{assigned.Transform(70, 80, 1.0, nullptr, true, false, nullptr)};
    ASSERT_TRUE(a.image && b.image);
    EXPECT_EQ(Pixels(*a.image), Pixels(*expect.image));
    EXPECT_EQ(Pixels(*b.image), Pixels(*expect.image));
}
