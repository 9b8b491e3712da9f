// CJpegIO: round trips in both modes it writes, quality, comment and density,
// CMYK files, refused modes, every truncation of a file, damaged and oversized
// headers, and silence of libjpeg's messages.
#include "io/image_helpers.h"
#include "jpeg/JpegIO.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>
#include <memory>

namespace {

using ImagePtr = std::unique_ptr<CImage>;

// A smooth picture: JPEG keeps it within a few levels.
std::unique_ptr<CImage> Smooth(IMAGE_MODE mode, int w, int h)
{
    const int n = ModePlaneCount(mode);
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * n);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < n; ++c)
            {
                const int t = (x * 2 + y + c * 40) % 256; // a triangle wave: no jumps
                px[(static_cast<size_t>(y) * w + x) * n + c] = static_cast<unsigned char>(60 + (t < 128 ? t : 255 - t));
            }
    return MakeImage(mode, w, h, px);
}

int MaxDifference(std::vector<unsigned char> const& a, std::vector<unsigned char> const& b)
{
    int worst = a.size() == b.size() ? 0 : 1000;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

// A small test encoder over libjpeg for what CJpegIO does not write: CMYK, dots per cm.
std::string EncodeWithLibjpeg(J_COLOR_SPACE space, int components, int w, int h, unsigned char const* pixel,
                              int densityUnit, int density)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = components;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 98, TRUE);
    c.density_unit = static_cast<UINT8>(densityUnit);
    c.X_density = c.Y_density = static_cast<UINT16>(density);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(static_cast<size_t>(w) * components);
    for (int x = 0; x < w; ++x)
        std::copy(pixel, pixel + components, row.begin() + x * components);
    JSAMPROW r = row.data();
    for (int y = 0; y < h; ++y)
        jpeg_write_scanlines(&c, &r, 1);
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string bytes(reinterpret_cast<char*>(out), size);
    free(out);
    return bytes;
}

} // namespace

TEST(JpegRoundTrip, GreyAndRgbKeepPixelsDpiAndComment)
{
    ScratchFolder dir;
    for (IMAGE_MODE mode : {IM_GRAY, IM_RGB}) {
        auto image = Smooth(mode, 301, 67);
        image->SetDpi(300);
        CIO::IOError error = CIO::IOERR_BAD_PATH;
        ASSERT_TRUE(CJpegIO::Save(CString(dir / "a.jpg"), *image, 95, error, CString("made by a test")));
        EXPECT_EQ(error, CIO::IOERR_NONE);
        CString text;
        ImagePtr back(CJpegIO::Load(CString(dir / "a.jpg"), error, &text));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(error, CIO::IOERR_NONE);
        EXPECT_EQ(back->GetMode(), mode);
        EXPECT_EQ(back->Width(), 301);
        EXPECT_EQ(back->Height(), 67);
        EXPECT_EQ(back->GetDpi(), 300.0);
        EXPECT_EQ(text, "made by a test");
        EXPECT_LE(MaxDifference(Pixels(*back), Pixels(*image)), 6);
        // A null text pointer is fine; an empty text writes no comment.
        ImagePtr again(CJpegIO::Load(CString(dir / "a.jpg"), error, nullptr));
        EXPECT_NE(again, nullptr);
        image->SetDpi(0);
        ASSERT_TRUE(CJpegIO::Save(CString(dir / "b.jpg"), *image, 95, error, CString()));
        text = "stale";
        ImagePtr plain(CJpegIO::Load(CString(dir / "b.jpg"), error, &text));
        ASSERT_NE(plain, nullptr);
        EXPECT_EQ(text, "");
        EXPECT_EQ(plain->GetDpi(), 0.0);
    }
}

TEST(JpegSave, QualityOutOfRangeMeansSeventyFive)
{
    ScratchFolder dir;
    auto image = RandomImage(IM_RGB, 64, 64, 3);
    CIO::IOError error;
    ASSERT_TRUE(CJpegIO::Save(CString(dir / "q75.jpg"), *image, 75, error, CString()));
    const std::string reference = ReadFile(dir / "q75.jpg");
    for (int q : {0, -5, 101, 1000}) {
        ASSERT_TRUE(CJpegIO::Save(CString(dir / "q.jpg"), *image, q, error, CString()));
        EXPECT_EQ(ReadFile(dir / "q.jpg"), reference) << q;
    }
    ASSERT_TRUE(CJpegIO::Save(CString(dir / "q1.jpg"), *image, 1, error, CString()));
    ASSERT_TRUE(CJpegIO::Save(CString(dir / "q100.jpg"), *image, 100, error, CString()));
    EXPECT_LT(ReadFile(dir / "q1.jpg").size(), reference.size());
    EXPECT_GT(ReadFile(dir / "q100.jpg").size(), reference.size());
}

TEST(JpegSave, OtherModesAreRefusedAndNothingIsWritten)
{
    ScratchFolder dir;
    const IMAGE_MODE modes[] = {IM_INDEXED, IM_HLS, IM_HSV, IM_GRAY16, IM_RGB16, IM_YCC, IM_GRAY | IM_ALPHA,
                                IM_RGB | IM_ALPHA};
    for (IMAGE_MODE mode : modes) {
        CImage image(mode, 4, 4, 72);
        CIO::IOError error = CIO::IOERR_NONE;
        EXPECT_FALSE(CJpegIO::Save(CString(dir / "x.jpg"), image, 75, error, CString()));
        EXPECT_EQ(error, CIO::IOERR_UNSUPPORTED_MODE) << mode;
    }
    CImage empty(IM_RGB, 0, 0, 72);
    CIO::IOError error = CIO::IOERR_NONE;
    EXPECT_FALSE(CJpegIO::Save(CString(dir / "x.jpg"), empty, 75, error, CString()));
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(JpegSave, UnwritableTargetGivesCreateFailed)
{
    ScratchFolder dir;
    auto image = RandomImage(IM_GRAY, 4, 4, 1);
    CIO::IOError error = CIO::IOERR_NONE;
    EXPECT_FALSE(CJpegIO::Save(CString(dir / "missing/x.jpg"), *image, 75, error, CString()));
    EXPECT_EQ(error, CIO::IOERR_CREATE_FAILED);
    std::filesystem::create_directory(dir / "folder.jpg");
    EXPECT_FALSE(CJpegIO::Save(CString(dir / "folder.jpg"), *image, 75, error, CString()));
    EXPECT_EQ(error, CIO::IOERR_CREATE_FAILED);
}

TEST(JpegLoad, CmykAndDotsPerCentimetre)
{
    ScratchFolder dir;
    // Adobe CMYK (libjpeg writes the Adobe marker): stored values are inverted inks.
    const unsigned char cmyk[4] = {255, 0, 255, 200};
    WriteFile(dir / "cmyk.jpg", EncodeWithLibjpeg(JCS_CMYK, 4, 24, 16, cmyk, 0, 1));
    CIO::IOError error;
    ImagePtr image(CJpegIO::Load(CString(dir / "cmyk.jpg"), error, nullptr));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetMode(), IM_RGB);
    const auto px = Pixels(*image);
    EXPECT_NEAR(px[0], 200, 2);
    EXPECT_NEAR(px[1], 0, 2);
    EXPECT_NEAR(px[2], 200, 2);

    const unsigned char grey[1] = {77};
    WriteFile(dir / "grey.jpg", EncodeWithLibjpeg(JCS_GRAYSCALE, 1, 9, 9, grey, 2, 100));
    image.reset(CJpegIO::Load(CString(dir / "grey.jpg"), error, nullptr));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetMode(), IM_GRAY);
    EXPECT_DOUBLE_EQ(image->GetDpi(), 254.0); // 100 dots per cm
    EXPECT_NEAR(Pixels(*image)[40], 77, 1);
    WriteFile(dir / "aspect.jpg", EncodeWithLibjpeg(JCS_GRAYSCALE, 1, 9, 9, grey, 0, 1));
    image.reset(CJpegIO::Load(CString(dir / "aspect.jpg"), error, nullptr));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetDpi(), 0.0); // aspect ratio only
}

TEST(JpegLoad, EveryTruncationIsBadFormat)
{
    ScratchFolder dir;
    auto image = Smooth(IM_RGB, 40, 24);
    CIO::IOError error;
    ASSERT_TRUE(CJpegIO::Save(CString(dir / "full.jpg"), *image, 80, error, CString("c")));
    const std::string full = ReadFile(dir / "full.jpg");
    for (size_t n = 0; n < full.size(); ++n) {
        WriteFile(dir / "cut.jpg", full.substr(0, n));
        error = CIO::IOERR_NONE;
        ImagePtr cut(CJpegIO::Load(CString(dir / "cut.jpg"), error, nullptr));
        EXPECT_EQ(cut, nullptr) << n;
        EXPECT_EQ(error, CIO::IOERR_BAD_FORMAT) << n;
    }
}

TEST(JpegLoad, DamagedDataNeverCrashesAndPrintsNothing)
{
    ScratchFolder dir;
    auto image = Smooth(IM_RGB, 64, 48);
    CIO::IOError error;
    ASSERT_TRUE(CJpegIO::Save(CString(dir / "full.jpg"), *image, 80, error, CString()));
    const std::string full = ReadFile(dir / "full.jpg");
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    for (size_t i = 2; i < full.size(); i += 7) {
        std::string bad = full;
        bad[i] = static_cast<char>(bad[i] ^ 0x5A);
        WriteFile(dir / "bad.jpg", bad);
        ImagePtr loaded(CJpegIO::Load(CString(dir / "bad.jpg"), error, nullptr));
        if (!loaded)
            EXPECT_EQ(error, CIO::IOERR_BAD_FORMAT);
        else
            EXPECT_EQ(error, CIO::IOERR_NONE);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(JpegLoad, OversizedFrameIsRefusedBeforeDecoding)
{
    ScratchFolder dir;
    auto image = Smooth(IM_GRAY, 16, 16);
    CIO::IOError error;
    ASSERT_TRUE(CJpegIO::Save(CString(dir / "small.jpg"), *image, 80, error, CString()));
    std::string bytes = ReadFile(dir / "small.jpg");
    // SOF0: FF C0, length, precision, height (2 bytes), width (2 bytes).
    const size_t sof = bytes.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    for (int i = 0; i < 4; ++i)
        bytes[sof + 5 + i] = static_cast<char>(0xEA); // 60138 x 60138
    WriteFile(dir / "huge.jpg", bytes);
    ImagePtr huge(CJpegIO::Load(CString(dir / "huge.jpg"), error, nullptr));
    EXPECT_EQ(huge, nullptr);
    EXPECT_EQ(error, CIO::IOERR_BAD_FORMAT);
}

TEST(JpegLoad, MissingAndNonJpegFiles)
{
    ScratchFolder dir;
    CIO::IOError error;
    EXPECT_EQ(CJpegIO::Load(CString(dir / "none.jpg"), error, nullptr), nullptr);
    EXPECT_EQ(error, CIO::IOERR_NOT_FOUND);
    WriteFile(dir / "text.jpg", "plain text, not a JPEG file");
    EXPECT_EQ(CJpegIO::Load(CString(dir / "text.jpg"), error, nullptr), nullptr);
    EXPECT_EQ(error, CIO::IOERR_BAD_FORMAT);
    std::filesystem::create_directory(dir / "d.jpg");
    EXPECT_EQ(CJpegIO::Load(CString(dir / "d.jpg"), error, nullptr), nullptr);
    EXPECT_EQ(error, CIO::IOERR_OPEN_FAILED);
}
