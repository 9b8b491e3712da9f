// tessera convert and info across the formats of the IO library.
#include "tools/RunTool.h"

#if TESSERA_HAVE_IO
#include "io/IO.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

void WriteSample(std::string const& path, IMAGE_MODE mode, int width, int height, CString const& text = CString())
{
    CImage image(mode, width, height, 200.0);
    CPixMap map(mode, width, height, true);
    for (int i = 0; i < map.size[0]; ++i)
        map.plane[0].data[i] = static_cast<unsigned char>(i * 37);
    image.SetBuf(0, 0, map, MM_CLIP, 1);
    CIO::IOError error;
    ASSERT_TRUE(CIO::SaveImage(CString(path), image, 0, 90, error, text));
}

} // namespace

TEST(ToolConvert, BetweenTiffAndJpegWithModeFlags)
{
    TempFolder dir;
    WriteSample(dir / "in.tif", IM_RGB16 | IM_ALPHA, 40, 30);

    ToolResult refused = RunTool("convert '" + (dir / "in.tif") + "' '" + (dir / "out.jpg") + "'");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("out.jpg"), std::string::npos);
    EXPECT_NE(refused.err.find("--to-rgb"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.jpg"));

    ToolResult ok = RunTool("convert '" + (dir / "in.tif") + "' '" + (dir / "out.jpg") + "' --to-rgb-no-alpha --quality 90");
    ASSERT_EQ(ok.status, 0) << ok.err;
    ToolResult info = RunTool("info '" + (dir / "out.jpg") + "'");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("40 x 30"), std::string::npos);
    EXPECT_NE(info.out.find("RGB"), std::string::npos);

    ToolResult back = RunTool("convert '" + (dir / "out.jpg") + "' '" + (dir / "back.TIFF") + "'");
    ASSERT_EQ(back.status, 0) << back.err;
    ToolResult narrowed = RunTool("convert '" + (dir / "in.tif") + "' '" + (dir / "n.tif") + "' --to-rgb");
    ASSERT_EQ(narrowed.status, 0) << narrowed.err;
    EXPECT_NE(RunTool("info '" + (dir / "n.tif") + "'").out.find("RGB+alpha (4 planes, 8 bits"), std::string::npos);
}

TEST(ToolInfo, ShowsJpegCommentAndTiffDescription)
{
    TempFolder dir;
    WriteSample(dir / "c.jpg", IM_GRAY, 8, 8, CString("scanned 1998"));
    WriteSample(dir / "d.tif", IM_INDEXED, 8, 8, CString("a palette"));
    ToolResult info = RunTool("info '" + (dir / "c.jpg") + "' '" + (dir / "d.tif") + "'");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("comment: scanned 1998"), std::string::npos);
    EXPECT_NE(info.out.find("description: a palette"), std::string::npos);
    EXPECT_NE(info.out.find("indexed"), std::string::npos);
}

TEST(ToolConvert, MissingInputAndUnknownFormat)
{
    TempFolder dir;
    ToolResult missing = RunTool("convert '" + (dir / "none.tif") + "' '" + (dir / "x.jpg") + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.tif: file not found"), std::string::npos);
    WriteSample(dir / "in.tif", IM_GRAY, 4, 4);
    ToolResult png = RunTool("convert '" + (dir / "in.tif") + "' '" + (dir / "x.png") + "'");
    EXPECT_EQ(png.status, 1);
    EXPECT_NE(png.err.find("no writer for this extension"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
    ToolResult gif = RunTool("convert '" + (dir / "in.tif") + "' '" + (dir / "x.gif") + "' --to-rgb");
    EXPECT_EQ(gif.status, 1);
    EXPECT_NE(gif.err.find("no writer for this extension"), std::string::npos);
}
#endif
