// The tessera tool as a whole: help for every command, the shared command-line rules
// (usage errors), one error case of each kind per command, and batch mode.
#include "RunTool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <set>
#include <string>
#include <vector>

#if TESSERA_HAVE_IO
#include "io/IO.h"
#endif
#if TESSERA_HAVE_GIF
#include "tests/gif/GifEncoder.h"
#endif

namespace {

namespace fs = std::filesystem;

const char* const kCommands[] = { "info", "convert", "resize", "rotate", "raster", "crc", "animated", "view", "demo" };

std::string Q(std::string const& path)
{
    return "'" + path + "'";
}

std::string LowerExtensionOf(std::string const& name)
{
    return fs::path(name).extension().string();
}

int Lines(std::string const& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// The names in a folder, sorted.
std::vector<std::string> Listing(std::string const& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (auto const& entry : fs::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

#if TESSERA_HAVE_IO
// A small RGB picture (or a palette picture) saved in the format of the extension.
void WriteImage(std::string const& path, int width, int height, IMAGE_MODE mode = IM_RGB)
{
    CImage image(mode, width, height, 72.0);
    CPixMap map(mode, width, height, true);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < map.plane[0].rowStride; ++x)
            map.plane[0].data[y * map.plane[0].rowStride + x] = static_cast<unsigned char>(x * 7 + y * 13);
    image.SetBuf(0, 0, map, MM_CLIP, 1);
    if (mode == IM_INDEXED) {
        CLut lut;
        for (unsigned i = 0; i < 256; ++i)
            lut[i] = LutColor { static_cast<unsigned char>(i), static_cast<unsigned char>(255 - i),
                static_cast<unsigned char>(i / 2) };
        image.SetLut(lut);
    }
    CIO::IOError error = CIO::IOERR_NONE;
    ASSERT_TRUE(CIO::SaveImage(CString(path), image, 0, 90, error, CString())) << path;
}

#if TESSERA_HAVE_GIF
void WriteGif(std::string const& path, int width, int height)
{
    giftest::File f;
    f.globalTable = giftest::MakeTable(256);
    giftest::Frame frame;
    frame.width = width;
    frame.height = height;
    for (int i = 0; i < width * height; ++i)
        frame.pixels.push_back(static_cast<uint8_t>(i * 5));
    f.frames.push_back(frame);
    giftest::Bytes bytes = giftest::Build(f);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
#endif

// Width and height of an image file, or 0 x 0 when it cannot be read.
std::pair<int, int> SizeOf(std::string const& path)
{
    CIO::IOError error = CIO::IOERR_NONE;
    std::unique_ptr<CImage> image(CIO::LoadImageA(CString(path), 0, error, nullptr));
    return image ? std::make_pair(image->Width(), image->Height()) : std::make_pair(0, 0);
}
#endif

} // namespace

TEST(ToolHelp, ListsEveryCommandWithAnExample)
{
    ToolResult r = RunTool("--help");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* name : kCommands) {
        const std::string line = "\n  " + std::string(name) + " ";
        const size_t at = r.out.find(line);
        ASSERT_NE(at, std::string::npos) << name << " missing from\n" << r.out;
        // the line after the summary shows an example of the command
        const size_t example = r.out.find("e.g. tessera " + std::string(name), at);
        EXPECT_NE(example, std::string::npos) << name;
        EXPECT_EQ(Lines(r.out.substr(at + 1, example - at)), 1) << name;
    }
    EXPECT_NE(r.out.find("Exit status"), std::string::npos);
}

TEST(ToolHelp, EachCommandDescribesItsOptionsAndExamples)
{
    const std::vector<std::pair<std::string, std::vector<std::string>>> options = {
        { "convert", { "--to-rgb", "--hue-to-rgb", "--to-rgb-no-alpha", "--rle", "--quality", "--to ", "--out-dir" } },
        { "resize", { "--size", "--nearest", "--to-rgb", "--rle", "--quality", "--to ", "--out-dir" } },
        { "rotate", { "--angle", "--size", "--background", "--to-rgb", "--quality", "--to ", "--out-dir" } },
        { "raster", { "--size", "--evenodd", "--nonzero", "--level" } },
        { "view", { "--sample", "--snapshot" } },
        { "info", {} },
        { "crc", {} },
        { "animated", {} },
    };
    for (auto const& [name, names] : options) {
        for (const char* help : { " --help", " -h" }) {
            ToolResult r = RunTool(name + help);
            EXPECT_EQ(r.status, 0) << name;
            EXPECT_EQ(r.out.rfind("usage: tessera " + name, 0), 0u) << r.out;
            EXPECT_NE(r.out.find("Examples:\n  tessera " + name), std::string::npos) << r.out;
            for (auto const& option : names)
                EXPECT_NE(r.out.find(option), std::string::npos) << name << " " << option;
        }
    }
}

TEST(ToolUsage, UnknownOptionsAndMissingArgumentsFailWithAHint)
{
    TempFolder dir;
    const std::string out = Q(dir / "out.bmp");
    const std::vector<std::string> cases = {
        "info --verbose x.bmp",
        "info",
        "convert --fast a.bmp " + out,
        "convert a.bmp",
        "convert a.bmp b.bmp c.bmp",
        "convert --quality 0 a.bmp " + out,
        "convert --quality",
        "convert --rle=yes a.bmp " + out,
        "convert --to png a.bmp",
        "convert --out-dir " + Q(dir / "o") + " a.txt",
        "resize --fast a.bmp " + out + " 4x4",
        "resize a.bmp " + out,
        "resize --size 4 a.bmp " + out,
        "resize --size 4x4 --out-dir " + Q(dir / "o"),
        "rotate --spin 3 a.bmp " + out,
        "rotate a.bmp " + out,
        "rotate --angle x a.bmp " + out,
        "rotate --angle 3 --background red a.bmp " + out,
        "raster --blur 'M0 0 L1 1' " + out + " --size 4x4",
        "raster 'M0 0 L1 1' --size 4x4",
        "raster 'M0 0 L1 1' " + out + " --size 4x4 --evenodd --nonzero",
        "crc --all x",
        "crc",
        "animated --loop x.gif",
        "animated",
        "view --zoom 2 x.bmp",
        "view",
        "frobnicate",
        "--frobnicate",
    };
    for (auto const& c : cases) {
        ToolResult r = RunTool(c);
        EXPECT_EQ(r.status, 2) << c << ": " << r.err;
        EXPECT_EQ(Lines(r.err), 1) << c << ": " << r.err;
        EXPECT_EQ(r.err.rfind("tessera: ", 0), 0u) << c << ": " << r.err;
        EXPECT_NE(r.err.find("--help)\n"), std::string::npos) << c << ": " << r.err;
        EXPECT_EQ(r.out, "") << c;
        EXPECT_EQ(Listing(dir.path.string()), std::vector<std::string> {}) << c;
    }
}

#if TESSERA_HAVE_IO && TESSERA_HAVE_TRANSFORM && TESSERA_HAVE_PATH && TESSERA_HAVE_CRC && TESSERA_HAVE_GIF             \
    && TESSERA_HAVE_DISPLAY
TEST(ToolCommands, EachWorksOnASmallFixture)
{
    TempFolder dir;
    WriteImage(dir / "in.bmp", 24, 16);
    const std::string in = Q(dir / "in.bmp");
    struct Case {
        std::string args;
        std::string stdoutHas;
        std::string writes; // a file the command makes, or ""
        std::pair<int, int> size;
    } cases[] = {
        { "info " + in, "  size:    24 x 16\n", "", { 0, 0 } },
        { "crc " + in, "  " + (dir / "in.bmp") + "\n", "", { 0, 0 } },
        { "convert " + in + " " + Q(dir / "c.jpg") + " --quality 80", " -> " + (dir / "c.jpg"), "c.jpg", { 24, 16 } },
        { "resize " + in + " " + Q(dir / "r.tif") + " 12x8", "(12 x 8, RGB)", "r.tif", { 12, 8 } },
        { "resize --size=6x4 --nearest " + in + " " + Q(dir / "n.bmp"), "(6 x 4, RGB)", "n.bmp", { 6, 4 } },
        { "rotate " + in + " " + Q(dir / "t.bmp") + " --angle 90", " -> " + (dir / "t.bmp"), "t.bmp", { 16, 24 } },
        { "raster 'M0 0 H8 V8 Z' " + Q(dir / "m.tif") + " --size 8x8", "(8 x 8, grey)", "m.tif", { 8, 8 } },
        { "view " + in + " --snapshot " + Q(dir / "v.bmp"), "(24 x 16, RGB)", "v.bmp", { 24, 16 } },
    };
    for (auto const& c : cases) {
        ToolResult r = RunTool(c.args);
        EXPECT_EQ(r.status, 0) << c.args << ": " << r.err;
        EXPECT_EQ(r.err, "") << c.args;
        EXPECT_NE(r.out.find(c.stdoutHas), std::string::npos) << c.args << ": " << r.out;
        if (!c.writes.empty()) {
            // a turned canvas may gain a pixel on each axis
            const auto size = SizeOf(dir / c.writes);
            const int slack = c.args.rfind("rotate", 0) == 0 ? 1 : 0;
            EXPECT_NEAR(size.first, c.size.first, slack) << c.args;
            EXPECT_NEAR(size.second, c.size.second, slack) << c.args;
        }
    }
    // animated and the GIF lines of info have their own tests (gif_test.cpp)
}

// Missing input, bad format and an output that cannot be written, for every command
// that reads or writes files: one line naming the file and the reason, status 1, and
// nothing written.
TEST(ToolCommands, EachReportsFileErrorsOnOneLine)
{
    TempFolder dir;
    WriteImage(dir / "in.bmp", 8, 8);
    std::ofstream(dir / "text.bmp") << "not an image";
    fs::create_directory(dir / "folder.bmp");
    const std::string in = Q(dir / "in.bmp"), missing = dir / "missing.bmp", text = dir / "text.bmp";
    const std::string noFolder = dir / "none/o.bmp", folder = dir / "folder.bmp";
    const std::string notFound = ": file not found\n", badFormat = ": not a valid or supported image file\n";
    const std::string cannotCreate = ": cannot create the file\n";
    struct Case {
        std::string args;
        std::string err;
    } cases[] = {
        { "info " + Q(missing), missing + notFound },
        { "info " + Q(text), text + badFormat },
        { "convert " + Q(missing) + " " + Q(dir / "o.bmp"), missing + notFound },
        { "convert " + Q(text) + " " + Q(dir / "o.bmp"), text + badFormat },
        { "convert " + in + " " + Q(noFolder), noFolder + cannotCreate },
        { "convert " + in + " " + Q(folder), folder + cannotCreate },
        { "convert " + in + " " + Q(dir / "o.png"), dir / "o.png" + ": no writer for this extension" },
        { "convert --to bmp --out-dir " + Q(text) + " " + in, text + ": cannot make the output folder: " },
        { "resize " + Q(missing) + " " + Q(dir / "o.bmp") + " 4x4", missing + notFound },
        { "resize " + Q(text) + " " + Q(dir / "o.bmp") + " 4x4", text + badFormat },
        { "resize " + in + " " + Q(noFolder) + " 4x4", noFolder + cannotCreate },
        { "rotate " + Q(missing) + " " + Q(dir / "o.bmp") + " --angle 5", missing + notFound },
        { "rotate " + Q(text) + " " + Q(dir / "o.bmp") + " --angle 5", text + badFormat },
        { "rotate " + in + " " + Q(folder) + " --angle 5", folder + cannotCreate },
        { "raster 'M0 0 H4 V4 Z' " + Q(noFolder) + " --size 4x4", noFolder + cannotCreate },
        { "raster 'M0 0 H4 V4 Z' " + Q(dir / "o.gif") + " --size 4x4",
            dir / "o.gif" + ": no writer for this extension" },
        { "crc " + Q(missing), missing + ": file not found or invalid path\n" },
        { "crc " + Q(folder), folder + ": cannot open or read the file" },
        { "animated " + Q(missing), missing + notFound },
        { "animated " + in, dir / "in.bmp" + ": not a GIF file\n" },
        { "view " + Q(missing) + " --snapshot " + Q(dir / "o.bmp"), missing + notFound },
        { "view " + Q(text) + " --snapshot " + Q(dir / "o.bmp"), text + badFormat },
        { "view " + in + " --snapshot " + Q(noFolder), noFolder + cannotCreate },
    };
    const auto before = Listing(dir.path.string());
    for (auto const& c : cases) {
        ToolResult r = RunTool(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err.rfind("tessera: " + c.err, 0), 0u) << c.args << "\n" << r.err;
        EXPECT_EQ(Lines(r.err), 1) << c.args << "\n" << r.err;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_EQ(Listing(dir.path.string()), before) << c.args;
        EXPECT_EQ(Listing(folder), std::vector<std::string> {}) << c.args;
    }
}

TEST(ToolBatch, ConvertsSeveralFilesIntoAnOutputFolderAndGoesOnPastAFailure)
{
    TempFolder dir;
    WriteImage(dir / "a.bmp", 10, 6);
    WriteImage(dir / "b.tif", 7, 9);
    std::ofstream(dir / "broken.bmp") << "BM but not much more";
    WriteImage(dir / "c.BMP", 5, 5);
    const std::string outDir = dir / "web/small"; // made with its parent
    ToolResult r = RunTool("convert --to JPG --out-dir " + Q(outDir) + " " + Q(dir / "a.bmp") + " " + Q(dir / "b.tif")
        + " " + Q(dir / "broken.bmp") + " " + Q(dir / "c.BMP"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tessera: " + (dir / "broken.bmp") + ": not a valid or supported image file\n");
    EXPECT_EQ(r.out,
        (dir / "a.bmp") + " -> " + outDir + "/a.jpg (10 x 6, RGB)\n" + (dir / "b.tif") + " -> " + outDir
            + "/b.jpg (7 x 9, RGB)\n" + (dir / "c.BMP") + " -> " + outDir + "/c.jpg (5 x 5, RGB)\n"
            + "3 of 4 files converted, 1 failed\n");
    // nothing else in the folder: no temporary file and nothing for the broken input
    EXPECT_EQ(Listing(outDir), (std::vector<std::string> { "a.jpg", "b.jpg", "c.jpg" }));
    EXPECT_EQ(SizeOf(outDir + "/b.jpg"), std::make_pair(7, 9));

    // Without --out-dir the outputs go beside their inputs; the two-word form still works.
    r = RunTool("convert --to .tiff " + Q(dir / "a.bmp") + " " + Q(dir / "c.BMP"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(SizeOf(dir / "a.tiff"), std::make_pair(10, 6));
    EXPECT_EQ(SizeOf(dir / "c.tiff"), std::make_pair(5, 5));
    r = RunTool("convert " + Q(dir / "a.bmp") + " " + Q(dir / "single.tif"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, (dir / "a.bmp") + " -> " + (dir / "single.tif") + " (10 x 6, RGB)\n");
}

TEST(ToolBatch, RefusesPlansThatWouldOverwriteAnInputOrTheSameOutputTwice)
{
    TempFolder dir;
    WriteImage(dir / "a.bmp", 4, 4);
    WriteImage(dir / "a.tif", 4, 4);
    WriteImage(dir / "b.jpg", 4, 4);
    const auto before = Listing(dir.path.string());
    const std::string cases[] = {
        // a.bmp and a.tif would both become out/a.jpg
        "convert --to jpg --out-dir " + Q(dir / "out") + " " + Q(dir / "a.bmp") + " " + Q(dir / "a.tif"),
        // the output of b.jpg is b.jpg itself
        "resize --size 2x2 --out-dir " + Q(dir.path.string() + "/.") + " " + Q(dir / "b.jpg"),
        // a.tif's output would replace the input a.bmp
        "rotate --angle 3 --to bmp " + Q(dir / "a.tif") + " " + Q(dir / "a.bmp"),
    };
    for (auto const& c : cases) {
        ToolResult r = RunTool(c);
        EXPECT_EQ(r.status, 2) << c;
        EXPECT_EQ(Lines(r.err), 1) << r.err;
        EXPECT_EQ(Listing(dir.path.string()), before) << c;
    }
}

TEST(ToolBatch, ResizesAndRotatesSeveralGifs)
{
    TempFolder dir;
    std::vector<std::string> gifs;
    for (int i = 0; i < 3; ++i) {
        gifs.push_back(dir / ("g" + std::to_string(i) + ".gif"));
        WriteGif(gifs.back(), 20 + i, 10);
    }
    std::string files;
    for (auto const& g : gifs)
        files += " " + Q(g);
    // Palette images cannot be written as JPEG: the hint names the flag that helps.
    ToolResult r = RunTool("resize --size 8x8 --to jpg --out-dir " + Q(dir / "j") + files);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.err), 3);
    EXPECT_NE(r.err.find("try --to-rgb"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "j")); // the folder the batch made for nothing is gone
    r = RunTool("resize --size 8x8 --to-rgb --to jpg --out-dir " + Q(dir / "j") + files);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("3 of 3 files resized\n"), std::string::npos) << r.out;
    EXPECT_EQ(Listing(dir / "j"), (std::vector<std::string> { "g0.jpg", "g1.jpg", "g2.jpg" }));
    EXPECT_EQ(SizeOf(dir / "j/g2.jpg"), std::make_pair(8, 8));

    // GIF has no writer: a batch that would keep the extension asks for --to.
    r = RunTool("rotate --angle=-90 --out-dir " + Q(dir / "t") + files);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("choose an output type with --to"), std::string::npos) << r.err;
    r = RunTool("rotate --angle=-90 --to bmp --out-dir " + Q(dir / "t") + files);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Listing(dir / "t"), (std::vector<std::string> { "g0.bmp", "g1.bmp", "g2.bmp" }));
    const auto turned = SizeOf(dir / "t/g1.bmp"); // 21 x 10 turned, a pixel of slack
    EXPECT_NEAR(turned.first, 10, 1);
    EXPECT_NEAR(turned.second, 21, 1);
}

TEST(ToolBatch, ReadOnlyCommandsDescribeEveryFileAndReportEachFailure)
{
    TempFolder dir;
    WriteImage(dir / "a.bmp", 3, 2);
    WriteImage(dir / "b.tif", 2, 5, IM_INDEXED);
    ToolResult r = RunTool("info " + Q(dir / "a.bmp") + " " + Q(dir / "none.bmp") + " " + Q(dir / "b.tif"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tessera: " + (dir / "none.bmp") + ": file not found\n");
    const size_t a = r.out.find((dir / "a.bmp") + "\n  size:    3 x 2\n");
    const size_t b = r.out.find((dir / "b.tif") + "\n  size:    2 x 5\n");
    EXPECT_NE(a, std::string::npos) << r.out;
    EXPECT_NE(b, std::string::npos) << r.out;
    EXPECT_LT(a, b);
    EXPECT_NE(r.out.find("indexed"), std::string::npos);
    EXPECT_EQ(r.out.find("files"), std::string::npos) << "no summary for read-only commands";
}
#endif

#if TESSERA_HAVE_IO
// SIGINT in the middle of a batch: the file being written is finished, no other is
// started, nothing half-written stays behind, and the status says so.
TEST(ToolBatch, AnInterruptStopsBetweenTwoFiles)
{
    TempFolder dir;
    WriteImage(dir / "in0.bmp", 300, 300);
    std::vector<std::string> args = { TESSERA_TOOL, "convert", "--to", "tif", "--out-dir", dir / "out" };
    const int count = 60;
    for (int i = 0; i < count; ++i) {
        const std::string name = dir / ("in" + std::to_string(i) + ".bmp");
        if (i > 0)
            fs::copy_file(dir / "in0.bmp", name);
        args.push_back(name);
    }
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    const std::string errFile = dir / "err";
    if (pid == 0) {
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    // Wait for the first file's line, then interrupt.
    std::string text;
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        text += c;
    kill(pid, SIGINT);
    while (read(out[0], &c, 1) == 1)
        text += c;
    close(out[0]);
    int raw = 0;
    ASSERT_EQ(waitpid(pid, &raw, 0), pid);
    ASSERT_TRUE(WIFEXITED(raw)) << text;
    const auto written = Listing(dir / "out");
    if (WEXITSTATUS(raw) == 0 && written.size() == count)
        GTEST_SKIP() << "the batch ended before the interrupt arrived";
    EXPECT_EQ(WEXITSTATUS(raw), 130);
    EXPECT_GE(written.size(), 1u);
    EXPECT_LT(written.size(), static_cast<size_t>(count));
    for (auto const& name : written) {
        EXPECT_EQ(LowerExtensionOf(name), ".tif") << name;
        EXPECT_EQ(SizeOf(dir / ("out/" + name)), std::make_pair(300, 300)) << name;
    }
    EXPECT_NE(text.find(std::to_string(written.size()) + " of " + std::to_string(count) + " files converted"),
        std::string::npos)
        << text;
    EXPECT_EQ(ReadWhole(errFile),
        "tessera: convert: interrupted; " + std::to_string(written.size()) + " of " + std::to_string(count)
            + " files done, the rest not started\n");
}
#endif
