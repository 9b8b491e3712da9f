// tessera raster: SVG path strings into grey BMP masks.
#include "RunTool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

#if TESSERA_HAVE_BMP
// A minimal reader for the tool's output: 8-bit palette or 24/32-bit BMP, returned as
// grey values row by row, top first. Empty on anything else.
std::vector<int> ReadGreyBmp(std::string const& bytes, int& width, int& height)
{
    auto u16 = [&](size_t o) { return uint32_t(uint8_t(bytes[o])) | uint32_t(uint8_t(bytes[o + 1])) << 8; };
    auto u32 = [&](size_t o) { return u16(o) | u16(o + 2) << 16; };
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M')
        return {};
    uint32_t offset = u32(10), header = u32(14);
    width = int32_t(u32(18));
    int32_t h = int32_t(u32(22));
    int bits = int(u16(28));
    bool bottomUp = h > 0;
    height = bottomUp ? h : -h;
    if (u32(30) != 0 || (bits != 8 && bits != 24 && bits != 32))
        return {};
    size_t stride = (size_t(width) * bits / 8 + 3) & ~size_t(3);
    if (offset + stride * height > bytes.size())
        return {};
    std::vector<int> grey;
    for (int y = 0; y < height; ++y) {
        size_t row = offset + stride * size_t(bottomUp ? height - 1 - y : y);
        for (int x = 0; x < width; ++x) {
            if (bits == 8) {
                size_t entry = 14 + header + 4 * size_t(uint8_t(bytes[row + x]));
                grey.push_back(uint8_t(bytes[entry + 1])); // green of a grey entry
            } else {
                grey.push_back(uint8_t(bytes[row + x * bits / 8 + 1]));
            }
        }
    }
    return grey;
}

std::vector<int> RasterFile(std::string const& svg, std::string const& options, int& width, int& height)
{
    TempFolder dir;
    std::string out = dir / "mask.bmp";
    ToolResult r = RunTool("raster '" + svg + "' '" + out + "' " + options);
    EXPECT_EQ(r.status, 0) << r.err;
    return ReadGreyBmp(ReadWhole(out), width, height);
}
#endif

TEST(ToolRaster, WritesTheMaskOfAnSvgPath)
{
#if !TESSERA_HAVE_BMP
    GTEST_SKIP() << "the build has no BMP writer";
#else
    struct Case {
        const char* svg;
        const char* options;
        std::vector<int> want;
    } cases[] = {
        // The half-pixel square at level 4, absolute and relative forms.
        {"M0.5 0.5 L3.5 0.5 L3.5 3.5 L0.5 3.5 Z", "--size 4x4 --level 4",
         {63, 127, 127, 63, 127, 255, 255, 127, 127, 255, 255, 127, 63, 127, 127, 63}},
        {"m.5,.5 h3 v3 h-3 z", "--size 4x4 --level 4",
         {63, 127, 127, 63, 127, 255, 255, 127, 127, 255, 255, 127, 63, 127, 127, 63}},
        // Implicit lines after M, and a hole under both rules.
        {"M0 0 4 0 4 4 0 4Z M1 1 H3 V3 H1 Z", "--size 4x4 --evenodd --level 1",
         {255, 255, 255, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 255, 255, 255}},
        {"M0 0 4 0 4 4 0 4Z M1 1 H3 V3 H1 Z", "--size 4x4 --nonzero --level 1", std::vector<int>(16, 255)},
        // The triangle at level 16.
        {"M0 0L4 0L0 4z", "--size 4x4", {255, 255, 255, 135, 255, 255, 135, 0, 255, 135, 0, 0, 135, 0, 0, 0}},
    };
    for (auto const& c : cases) {
        int w = 0, h = 0;
        auto grey = RasterFile(c.svg, c.options, w, h);
        EXPECT_EQ(w, 4) << c.svg;
        EXPECT_EQ(h, 4) << c.svg;
        EXPECT_EQ(grey, c.want) << c.svg << " " << c.options;
    }
#endif
}

TEST(ToolRaster, CurvesAndSmoothCurvesAgree)
{
#if !TESSERA_HAVE_BMP
    GTEST_SKIP() << "the build has no BMP writer";
#else
    // S reflects the previous control point: both strings describe the same outline.
    int w = 0, h = 0;
    auto full = RasterFile("M2 10 C2 2 10 2 10 10 C10 18 18 18 18 10 V19 H2 Z", "--size 20x20", w, h);
    auto smooth = RasterFile("M2 10 C2 2 10 2 10 10 S18 18 18 10 V19 H2 Z", "--size 20x20", w, h);
    auto relative = RasterFile("m2 10 c0-8 8-8 8 0 s8 8 8 0 v9 h-16 z", "--size 20x20", w, h);
    ASSERT_EQ(full.size(), 400u);
    EXPECT_EQ(smooth, full);
    EXPECT_EQ(relative, full);
    EXPECT_EQ(full[5 * 20 + 6], 255);  // inside the upper bump
    EXPECT_EQ(full[15 * 20 + 6], 255); // the lower body
    EXPECT_EQ(full[14 * 20 + 14], 0);  // inside the lower bump's hollow
#endif
}

TEST(ToolRaster, RefusesBadArguments)
{
    TempFolder dir;
    std::string out = "'" + (dir / "m.bmp") + "'";
    const char* bad[] = {
        "'M0 0 L1 1' %s",                     // no size
        "'M0 0 L1 1' %s --size 0x4",
        "'M0 0 L1 1' %s --size 40000x4",
        "'M0 0 L1 1' %s --size 4x4 --level 0",
        "'M0 0 L1 1' %s --size 4x4 --level 17",
        "'M0 0 L1 1' %s --size 4x4 --level x",
        "'L1 1' %s --size 4x4",               // no move first
        "'M0 0 Q1 1 2 2' %s --size 4x4",      // unsupported command
        "'M0 0 L1' %s --size 4x4",            // missing number
        "'M0 0 L1e9 1' %s --size 4x4",        // out of the 16.16 range
        "'' %s --size 4x4",
        "'M0 0' %s --size 4x4 --bogus",
        "'M0 0' --size 4x4",                  // no output
    };
    for (const char* pattern : bad) {
        std::string args = pattern;
        size_t at = args.find("%s");
        if (at != std::string::npos)
            args.replace(at, 2, out);
        ToolResult r = RunTool("raster " + args);
        EXPECT_NE(r.status, 0) << args;
        EXPECT_NE(r.err.find("tessera: "), std::string::npos) << args;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "m.bmp")) << args;
    }
}

} // namespace
