// tessera resize and tessera rotate on BMP files.
#include "RunTool.h"

#if TESSERA_HAVE_TRANSFORM && TESSERA_HAVE_BMP
#include "bmp/BmpIO.h"
#include "image/Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<CImage> Load(std::string const& path)
{
    CIO::IOError error = CIO::IOERR_NONE;
    return std::unique_ptr<CImage>(CBmpIO::Load(CString(path), error));
}

// An RGB picture with a gradient and a flat square, saved as BMP.
void WriteRgb(std::string const& path, int w, int h)
{
    CImage image(IM_RGB, w, h, 72.0);
    CPixMap map(IM_RGB, w, h, true);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = map.plane[0].data + y * map.plane[0].rowStride + 3 * x;
            p[0] = static_cast<unsigned char>(x * 255 / w);
            p[1] = static_cast<unsigned char>(y * 255 / h);
            p[2] = (x / 8 + y / 8) % 2 ? 220 : 30;
        }
    image.SetBuf(0, 0, map, MM_CLIP, 1);
    CIO::IOError error = CIO::IOERR_NONE;
    ASSERT_TRUE(CBmpIO::Save(CString(path), image, false, error));
}

std::vector<unsigned char> Row(CImage& image, int y)
{
    CPixMap map(image.GetMode(), image.Width(), 1, true);
    image.GetBuf(0, y, map, MM_CLIP, 1);
    return std::vector<unsigned char>(map.plane[0].data, map.plane[0].data + image.Width() * image.GetPlanes());
}

} // namespace

TEST(ToolResize, ScalesToTheRequestedSize)
{
    TempFolder dir;
    WriteRgb(dir / "in.bmp", 120, 80);
    for (std::string extra : {"", " --nearest"}) {
        auto r = RunTool("resize '" + (dir / "in.bmp") + "' '" + (dir / "out.bmp") + "' 50x170" + extra);
        ASSERT_EQ(r.status, 0) << r.err;
        auto out = Load(dir / "out.bmp");
        ASSERT_TRUE(out);
        EXPECT_EQ(out->Width(), 50);
        EXPECT_EQ(out->Height(), 170);
        EXPECT_EQ(out->GetMode(), IM_RGB);
    }
}

TEST(ToolResize, SameSizeReproducesTheImage)
{
    TempFolder dir;
    WriteRgb(dir / "in.bmp", 300, 270);
    auto r = RunTool("resize '" + (dir / "in.bmp") + "' '" + (dir / "out.bmp") + "' 300x270");
    ASSERT_EQ(r.status, 0) << r.err;
    auto in = Load(dir / "in.bmp"), out = Load(dir / "out.bmp");
    ASSERT_TRUE(in && out);
    for (int y = 0; y < 270; y += 37)
        EXPECT_EQ(Row(*out, y), Row(*in, y));
}

TEST(ToolRotate, TurnsOnAnExpandedCanvasWithTheBackground)
{
    TempFolder dir;
    WriteRgb(dir / "in.bmp", 100, 50);
    auto r = RunTool("rotate '" + (dir / "in.bmp") + "' '" + (dir / "out.bmp") + "' --angle 30 --background 10C820");
    ASSERT_EQ(r.status, 0) << r.err;
    auto out = Load(dir / "out.bmp");
    ASSERT_TRUE(out);
    // 100 x 50 turned by 30 degrees: 100 cos + 50 sin by 100 sin + 50 cos, widened to whole pixels
    EXPECT_NEAR(out->Width(), 112, 1);
    EXPECT_NEAR(out->Height(), 94, 1);
    const auto top = Row(*out, 0);
    EXPECT_EQ(std::vector<unsigned char>(top.begin(), top.begin() + 3), (std::vector<unsigned char>{0x10, 0xC8, 0x20}));

    r = RunTool("rotate '" + (dir / "in.bmp") + "' '" + (dir / "quarter.bmp") + "' --angle 90 --size 40x20");
    ASSERT_EQ(r.status, 0) << r.err;
    auto quarter = Load(dir / "quarter.bmp");
    ASSERT_TRUE(quarter);
    EXPECT_NEAR(quarter->Width(), 20, 1);
    EXPECT_NEAR(quarter->Height(), 40, 1);
}

TEST(ToolTransform, RefusesBadArgumentsWithOneLineAndNoFile)
{
    TempFolder dir;
    WriteRgb(dir / "in.bmp", 20, 20);
    const std::string in = "'" + (dir / "in.bmp") + "' ", out = "'" + (dir / "out.bmp") + "'";
    const std::string cases[] = {
        "resize " + in + out + " 0x10",
        "resize " + in + out,
        "resize " + in + out + " 10x10 --fast",
        "resize '" + (dir / "missing.bmp") + "' " + out + " 10x10",
        "rotate " + in + out,
        "rotate " + in + out + " --angle abc",
        "rotate " + in + out + " --angle 10 --background 12345",
        "rotate " + in + out + " --angle 10 --size 5",
    };
    for (auto const& c : cases) {
        auto r = RunTool(c);
        EXPECT_NE(r.status, 0) << c;
        EXPECT_EQ(r.err.rfind("tessera: ", 0), 0u) << c << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c << ": " << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.bmp")) << c;
    }
}
#endif
