// CGifIO::IsAnimated: a file is animated when it holds a second image descriptor.
#include "GifTestUtil.h"

#include <gtest/gtest.h>

using namespace giftest;

namespace {

Frame SmallFrame(uint32_t seed, Bytes before = {})
{
    Frame f;
    f.width = 9;
    f.height = 7;
    f.pixels = RandomPixels(63, 256, seed);
    f.before = std::move(before);
    return f;
}

File Frames(int count)
{
    File f;
    f.globalTable = MakeTable(256);
    for (int i = 0; i < count; ++i)
        f.frames.push_back(SmallFrame(static_cast<uint32_t>(i), i == 0 ? LoopExtension() : GraphicControl(1)));
    return f;
}

Bytes Cut(Bytes b, size_t n)
{
    b.resize(n);
    return b;
}

} // namespace

TEST(GifAnimated, CountsImageDescriptorsOnly)
{
    File one = Frames(1);
    one.frames[0].before.insert(one.frames[0].before.end(), {0x00, 0x07}); // stray bytes
    Bytes gce = GraphicControl(3);
    one.beforeTrailer = gce; // extensions alone are no frames

    File zeroSized = Frames(2);
    zeroSized.frames[1].width = 0;

    File secondOnlyHeader = Frames(1);
    Bytes descriptorOnly = Build(secondOnlyHeader);
    descriptorOnly.pop_back(); // the trailer
    descriptorOnly.insert(descriptorOnly.end(), {0x2C, 0, 0, 0, 0, 5, 0, 5, 0, 0});

    File firstRunsToTheEnd = Frames(1);
    firstRunsToTheEnd.trailer = false;
    Bytes firstCut = Build(firstRunsToTheEnd);
    firstCut.pop_back(); // the terminating sub-block

    File bigCodeFirst = Frames(2);
    bigCodeFirst.frames[0].rawData = true;
    bigCodeFirst.frames[0].data = {12, 1, 0, 0};
    File bigCodeSecond = Frames(2);
    bigCodeSecond.frames[1].rawData = true;
    bigCodeSecond.frames[1].data = {12, 1, 0, 0};

    File v88 = Frames(2);
    v88.signature = "GIF88a";

    Bytes bmp{'B', 'M', 60, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0};
    bmp.resize(60, 0);

    struct Row {
        const char* what;
        Bytes file;
        bool animated;
    } const rows[] = {
        {"one image with loop and control extensions", Build(one), false},
        {"two images", Build(Frames(2)), true},
        {"three images", Build(Frames(3)), true},
        {"a second image of width 0", Build(zeroSized), true},
        {"a second descriptor followed by nothing", descriptorOnly, true},
        {"first image data runs to the end of the file", firstCut, false},
        {"trailer right after the first image", Build(Frames(1)), false},
        {"minimum code size 12 in the first image", Build(bigCodeFirst), false},
        {"minimum code size 12 in the second image", Build(bigCodeSecond), true},
        {"version 88a", Build(v88), false},
        {"a BMP file", bmp, false},
        {"an empty file", Bytes{}, false},
    };
    for (auto const& r : rows) {
        EXPECT_EQ(AnimatedFile(r.file), r.animated) << r.what;
        EXPECT_EQ(gif::IsAnimatedInMemory(r.file.data(), r.file.size(), 1024), r.animated) << r.what;
    }
    TempDir dir;
    EXPECT_FALSE(CGifIO::IsAnimated(CString((dir / "missing.gif").c_str())));
    EXPECT_FALSE(CGifIO::IsAnimated(CString(dir.path.c_str())));
}

TEST(GifAnimated, EveryPrefixIsAnimatedExactlyOnceTheSecondDescriptorIsComplete)
{
    File f = Frames(3);
    f.frames[1].localTable = MakeTable(8);
    Bytes file = Build(f);
    Bytes firstOnly = Build(Frames(1));
    // The second descriptor starts after the first image's data (before its GCE).
    const size_t secondStart = firstOnly.size() - 1 + f.frames[1].before.size();
    const size_t complete = secondStart + 10 + 24; // descriptor and local table
    for (size_t n = 0; n <= file.size(); ++n)
        ASSERT_EQ(gif::IsAnimatedInMemory(file.data(), n, 1024), n >= complete) << n;
    EXPECT_EQ(AnimatedFile(Cut(file, complete)), true);
    EXPECT_EQ(AnimatedFile(Cut(file, complete - 1)), false);
}
