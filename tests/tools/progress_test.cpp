// The progress bar: what it draws, when it draws, and that the tool shows it only on
// a terminal.
#include "RunTool.h"
#include "tools/Progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#if TESSERA_HAVE_IO
#include "io/IO.h"
#endif

namespace {

// Everything written to a temporary stream.
std::string Contents(std::FILE* f)
{
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;)
        text += static_cast<char>(c);
    return text;
}

} // namespace

TEST(ToolProgress, RendersTheFractionAndTheCountAndKeepsTheLabelsEnd)
{
    EXPECT_EQ(tool::Progress::Render(0, 4, "a.bmp", 80), "[........................]   0% 0/4 a.bmp");
    EXPECT_EQ(tool::Progress::Render(1.5, 4, "a.bmp", 80), "[#########...............]  37% 1/4 a.bmp");
    EXPECT_EQ(tool::Progress::Render(4, 4, "", 80), "[########################] 100% 4/4 ");
    // beyond the range: clamped
    EXPECT_EQ(tool::Progress::Render(9, 4, "", 80), "[########################] 100% 9/4 ");
    // a long label keeps its end and the line never reaches the last column
    const std::string label = "convert /a/very/long/folder/name/photo-0001.bmp";
    const std::string line = tool::Progress::Render(2, 10, label, 50);
    EXPECT_EQ(line.size(), 49u);
    EXPECT_EQ(line.substr(26), "  20% 2/10 ...-0001.bmp") << line;
}

TEST(ToolProgress, DrawsOnlyOnATerminalAndOnlyAfterTheDelay)
{
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
        tool::Progress notTerminal(3, f, false, std::chrono::milliseconds(0), 80);
        notTerminal.Update(1, "x");
        notTerminal.Clear();
    }
    {
        tool::Progress slow(3, f, true, std::chrono::hours(1), 80);
        slow.Update(1, "x");
    }
    EXPECT_EQ(Contents(f), "");
    {
        tool::Progress bar(2, f, true, std::chrono::milliseconds(0), 80);
        bar.Update(1, "x");
        bar.Clear();
        bar.Clear(); // nothing shown: nothing to erase
        bar.Update(2, "y");
    } // the destructor erases the bar
    EXPECT_EQ(Contents(f),
        "\r\033[K[############............]  50% 1/2 x\r\033[K"
        "\r\033[K[########################] 100% 2/2 y\r\033[K");
    std::fclose(f);
}

#if TESSERA_HAVE_IO
TEST(ToolProgress, TheToolShowsTheBarOnATerminalOnly)
{
    if (std::system("command -v script >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "script (package bsdutils) missing: no pseudo-terminal to run the tool in";
    TempFolder dir;
    std::string files;
    for (const char* name : { "a.bmp", "b.bmp", "c.bmp" }) {
        CImage image(IM_GRAY, 8, 8, 72.0);
        CIO::IOError error = CIO::IOERR_NONE;
        ASSERT_TRUE(CIO::SaveImage(CString(dir / name), image, 0, 0, error, CString()));
        files += " '" + (dir / name) + "'";
    }
    const std::string args = "convert --to tif --out-dir '" + (dir / "out") + "'" + files;

    // Not a terminal: not a single control character on stderr.
    ToolResult plain = RunTool(args);
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.err, "");

    // On a pseudo-terminal, with the delay taken away, the bar shows and is erased.
    const std::string log = dir / "typescript";
    const std::string command = "TESSERA_PROGRESS_DELAY=0 script -qec \"'" + std::string(TESSERA_TOOL) + "' " + args
        + "\" '" + log + "' >/dev/null 2>&1 </dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string screen = ReadWhole(log);
    EXPECT_NE(screen.find("[........................]   0% 0/3 convert " + (dir / "a.bmp")), std::string::npos)
        << screen;
    EXPECT_NE(screen.find("\r\033[K"), std::string::npos) << screen;
    EXPECT_NE(screen.find("3 of 3 files converted"), std::string::npos) << screen;
}
#endif
