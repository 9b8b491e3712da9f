// The tool's GIF pieces: `tessera animated` and the GIF lines of `tessera info`.
#if TESSERA_HAVE_GIF
#include "tests/gif/GifEncoder.h"
#include "tools/RunTool.h"

#include <gtest/gtest.h>

namespace {

std::string WriteGif(TempFolder const& dir, std::string const& name, int frames, bool interlaced = false)
{
    giftest::File f;
    f.globalTable = giftest::MakeTable(256);
    for (int i = 0; i < frames; ++i) {
        giftest::Frame fr;
        fr.width = 12;
        fr.height = 9;
        fr.interlaced = interlaced;
        fr.pixels.assign(12 * 9, static_cast<uint8_t>(i * 40));
        if (i == 0)
            fr.localTable = giftest::MakeTable(4);
        f.frames.push_back(fr);
    }
    giftest::Bytes bytes = giftest::Build(f);
    std::string path = dir / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

} // namespace

TEST(ToolAnimated, TellsAnimatedAndStillFilesApartAndNamesUnreadableOnes)
{
    TempFolder dir;
    std::string still = WriteGif(dir, "still.gif", 1);
    std::string moving = WriteGif(dir, "moving.gif", 3);
    std::string text = dir / "text.gif";
    std::ofstream(text) << "not an image";

    ToolResult ok = RunTool("animated '" + still + "' '" + moving + "'");
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, still + ": not animated\n" + moving + ": animated\n");
    EXPECT_EQ(ok.err, "");

    ToolResult bad = RunTool("animated '" + dir / "missing.gif" + "' '" + text + "' '" + moving + "'");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, moving + ": animated\n");
    EXPECT_EQ(bad.err, "tessera: " + dir / "missing.gif" + ": file not found\n" + "tessera: " + text +
                           ": not a GIF file\n");

    ToolResult none = RunTool("animated");
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("no input file"), std::string::npos);
    ToolResult help = RunTool("animated --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: tessera animated FILE..."), std::string::npos);
}

#if TESSERA_HAVE_IO
TEST(ToolInfo, DescribesGifFramesInterlaceAndColourTables)
{
    TempFolder dir;
    std::string path = WriteGif(dir, "frames.gif", 2, true);
    ToolResult r = RunTool("info '" + path + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line : {"  GIF:     version 89a, logical screen 12 x 9\n", "  frames:  2\n",
                             "  global colour table: 256 entries\n", "  interlaced: yes\n",
                             "  local colour table: 4 entries\n", "  frames with a local colour table: 1\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}
#endif
#endif
