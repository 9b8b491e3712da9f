// CGifIO::Load: headers, colour tables, blocks, interlacing, code stream rules,
// partial images, refusals, truncation at every length and loading on many threads.
#include "GifTestUtil.h"

#include <gtest/gtest.h>

#include <thread>

using namespace giftest;

namespace {

Bytes Fill(size_t count, uint8_t value)
{
    return Bytes(count, value);
}

// Hand-made image data: minimum code size, then the packed codes in sub-blocks.
Bytes RawData(int minCodeSize, std::vector<Code> const& codes, int blockSize = 255)
{
    Bytes out{static_cast<uint8_t>(minCodeSize)};
    Bytes blocks = SubBlocks(PackCodes(codes), blockSize);
    out.insert(out.end(), blocks.begin(), blocks.end());
    return out;
}

File RawFile(int width, int height, Bytes const& data)
{
    File f;
    f.globalTable = MakeTable(256);
    Frame fr;
    fr.width = width;
    fr.height = height;
    fr.rawData = true;
    fr.data = data;
    f.frames.push_back(fr);
    return f;
}

Bytes LoadPixels(Bytes const& file, CIO::IOError& error)
{
    ImagePtr image = LoadFile(file, error);
    return image ? Pixels(*image) : Bytes();
}

} // namespace

TEST(GifLoad, AcceptsOnlyGif87aAnd89aHeaders)
{
    struct Row {
        std::string signature;
        bool loads;
    } const rows[] = {
        {"GIF87a", true}, {"GIF89a", true}, {"GIF88a", false}, {"gif89a", false}, {"GIF89A", false}, {"JIF89a", false},
    };
    Bytes pixels = RandomPixels(12, 256, 1);
    for (auto const& r : rows) {
        File f = OneFrame(4, 3, pixels);
        f.signature = r.signature;
        CIO::IOError error = CIO::IOERR_NONE;
        ImagePtr image = LoadFile(Build(f), error);
        EXPECT_EQ(image != nullptr, r.loads) << r.signature;
        EXPECT_EQ(error, r.loads ? CIO::IOERR_NONE : CIO::IOERR_BAD_FORMAT) << r.signature;
    }
    for (Bytes shortFile : {Bytes{}, Bytes{'G', 'I', 'F', '8', '9'}}) {
        CIO::IOError error = CIO::IOERR_NONE;
        EXPECT_EQ(LoadFile(shortFile, error), nullptr);
        EXPECT_EQ(error, CIO::IOERR_BAD_FORMAT);
    }
}

TEST(GifLoad, DecodesImagesOfManyShapesAndCodeSizes)
{
    struct Row {
        int width, height, minCodeSize, subBlock;
        bool interlaced;
        LzwOptions lzw;
    };
    std::vector<Row> rows = {
        {1, 1, 8, 255, false, {}},
        {17, 9, 8, 255, false, {}},
        {17, 9, 8, 255, true, {}},
        {64, 64, 2, 255, false, {}},
        {33, 70, 4, 1, true, {}},   // one-byte sub-blocks: codes spread over three of them
        {40, 30, 7, 2, false, {}},
        {300, 200, 8, 255, false, {}},
        {300, 200, 8, 100, true, {}},
        {256, 40, 11, 255, false, {}}, // roots above 255: pixels are their low bits
        {3, 30000, 8, 255, false, {}}, // many bands, strings across band ends
        {65535, 2, 8, 255, true, {}},  // one row per band
    };
    LzwOptions deferred;
    deferred.deferredClear = true;
    rows.push_back({200, 200, 8, 255, false, deferred});
    LzwOptions often;
    often.clearEvery = 37;
    rows.push_back({50, 50, 5, 255, false, often});
    LzwOptions noLeadingClear;
    noLeadingClear.leadingClear = false;
    rows.push_back({20, 20, 3, 255, true, noLeadingClear});

    uint32_t seed = 10;
    for (auto const& r : rows) {
        int colors = r.minCodeSize >= 8 ? 256 : 1 << r.minCodeSize;
        File f = OneFrame(r.width, r.height, RandomPixels(static_cast<size_t>(r.width) * r.height, colors, ++seed),
                          r.interlaced);
        Frame& fr = f.frames[0];
        fr.lzw = r.lzw;
        fr.lzw.minCodeSize = r.minCodeSize;
        fr.subBlockSize = r.subBlock;
        CIO::IOError error = CIO::IOERR_BAD_PATH;
        ImagePtr image = LoadFile(Build(f), error);
        ASSERT_NE(image, nullptr) << r.width << "x" << r.height;
        EXPECT_EQ(error, CIO::IOERR_NONE);
        EXPECT_EQ(image->GetMode(), IM_INDEXED);
        EXPECT_EQ(image->Width(), r.width);
        EXPECT_EQ(image->Height(), r.height);
        EXPECT_EQ(image->GetDpi(), 96.0);
        EXPECT_FALSE(image->HasAlpha());
        EXPECT_TRUE(Pixels(*image) == fr.pixels) << r.width << "x" << r.height << " m=" << r.minCodeSize;
    }
}

TEST(GifLoad, MinimumCodeSizesZeroAndOneDecodeByTheSameRules)
{
    for (int m : {0, 1}) {
        int colors = m == 0 ? 1 : 2;
        File f = OneFrame(37, 23, RandomPixels(37 * 23, colors, 77 + m));
        f.frames[0].lzw.minCodeSize = m;
        f.frames[0].lzw.literalOnly = true;
        CIO::IOError error;
        EXPECT_TRUE(LoadPixels(Build(f), error) == f.frames[0].pixels) << m;
        EXPECT_EQ(error, CIO::IOERR_NONE);
    }
}

TEST(GifLoad, ColourTableComesFromTheLocalTableElseTheGlobalOneWithBlackBeyond)
{
    struct Row {
        int globalEntries, localEntries;
    } const rows[] = {{256, 4}, {2, 0}, {0, 8}, {0, 0}, {16, 256}};
    for (auto const& r : rows) {
        File f = OneFrame(4, 4, RandomPixels(16, 2, 3));
        f.globalTable = r.globalEntries ? MakeTable(r.globalEntries, 1) : Bytes();
        f.frames[0].localTable = r.localEntries ? MakeTable(r.localEntries, 2) : Bytes();
        Bytes const& source = r.localEntries ? f.frames[0].localTable : f.globalTable;
        CIO::IOError error;
        ImagePtr image = LoadFile(Build(f), error);
        ASSERT_NE(image, nullptr);
        CLut lut = image->GetLut();
        EXPECT_EQ(lut.GetColors(), 256);
        for (unsigned i = 0; i < 256; ++i) {
            LutColor c = lut[i];
            LutColor want{0, 0, 0};
            if (3 * i < source.size())
                want = LutColor{source[3 * i], source[3 * i + 1], source[3 * i + 2]};
            ASSERT_TRUE(c.red == want.red && c.green == want.green && c.blue == want.blue)
                << "global " << r.globalEntries << " local " << r.localEntries << " entry " << i;
        }
    }
}

TEST(GifLoad, FileWithoutTablesIsBlackAfterAFileWithAGlobalTable)
{
    File colourful = OneFrame(2, 2, Bytes{1, 2, 3, 4});
    File plain = colourful;
    plain.globalTable.clear();
    CIO::IOError error;
    ASSERT_NE(LoadFile(Build(colourful), error), nullptr);
    ImagePtr image = LoadFile(Build(plain), error);
    ASSERT_NE(image, nullptr);
    CLut lut = image->GetLut();
    for (unsigned i = 0; i < 256; ++i)
        ASSERT_TRUE(lut[i].red == 0 && lut[i].green == 0 && lut[i].blue == 0) << i;
}

TEST(GifLoad, PassesOverPositionExtensionsStrayBytesAndLaterImages)
{
    File f;
    f.screenWidth = 100;
    f.screenHeight = 100;
    f.globalTable = MakeTable(256);
    Frame first;
    first.left = 10;
    first.top = 20;
    first.width = 30;
    first.height = 40;
    first.pixels = RandomPixels(30 * 40, 256, 5);
    Bytes plainText{0x21, 0x01, 12, 0, 0, 0, 0, 10, 0, 10, 0, 8, 8, 1, 0, 4, 'a', 'b', 'c', 'd', 0};
    for (Bytes const& b : {LoopExtension(), GraphicControl(7), Extension(0xFE, Bytes(300, 'c')), Bytes{0x00, 0x42},
                           plainText, Extension(0x99, Bytes{1, 2, 3})})
        first.before.insert(first.before.end(), b.begin(), b.end());
    Frame second = first;
    second.before = GraphicControl(-1);
    second.pixels = Fill(30 * 40, 9);
    f.frames = {first, second};

    CIO::IOError error;
    ImagePtr image = LoadFile(Build(f), error);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(error, CIO::IOERR_NONE);
    EXPECT_EQ(image->Width(), 30);
    EXPECT_EQ(image->Height(), 40);
    EXPECT_EQ(image->GetMode(), IM_INDEXED); // a transparency index adds no alpha
    EXPECT_EQ(image->GetMaskColor().GetMode(), CColor().GetMode());
    EXPECT_TRUE(Pixels(*image) == first.pixels);
}

TEST(GifLoad, InterlacedRowsFollowTheFourPasses)
{
    // Each stream row is coded as its own index, so the image shows where it went.
    struct Row {
        int height;
        std::vector<int> order; // image rows in the order the stream fills them
    } const rows[] = {
        {10, {0, 8, 4, 2, 6, 1, 3, 5, 7, 9}},
        {3, {0, 2, 1}},
        {1, {0}},
        {2, {0, 1}},
        {5, {0, 4, 2, 1, 3}},
        {17, {0, 8, 16, 4, 12, 2, 6, 10, 14, 1, 3, 5, 7, 9, 11, 13, 15}},
    };
    for (auto const& r : rows) {
        // Stream row i holds value i in both columns: literal 9-bit codes (m = 8) with
        // a clear code every few codes keeps the width at 9.
        std::vector<Code> codes{{256, 9}};
        for (int i = 0; i < r.height; ++i) {
            codes.push_back({static_cast<unsigned>(i), 9});
            codes.push_back({static_cast<unsigned>(i), 9});
            codes.push_back({256, 9});
        }
        codes.push_back({257, 9});
        File f = RawFile(2, r.height, RawData(8, codes));
        f.frames[0].interlaced = true;
        CIO::IOError error;
        Bytes pixels = LoadPixels(Build(f), error);
        ASSERT_EQ(pixels.size(), static_cast<size_t>(2 * r.height));
        for (int i = 0; i < r.height; ++i) {
            EXPECT_EQ(pixels[2 * r.order[i]], i) << "height " << r.height << " stream row " << i;
            EXPECT_EQ(pixels[2 * r.order[i] + 1], i);
        }
    }
}

TEST(GifLoad, CodeStreamRules)
{
    struct Row {
        const char* what;
        int minCodeSize;
        std::vector<Code> codes;
        Bytes pixels; // expected, 8 pixels (1 x 8 image)
    };
    const std::vector<Row> rows = {
        // m = 2: clear 4, end 5, 3-bit codes. "1"; 6 = N: "1 1" (entry 6); "0" assigns
        // entry 7 = "1 1 0", N = 8: 4-bit codes from here; 7 is "1 1 0".
        {"width grows when N reaches 8", 2, {{4, 3}, {1, 3}, {6, 3}, {0, 3}, {7, 4}, {5, 4}}, {1, 1, 1, 0, 1, 1, 0, 0}},
        // "2", "3" (6 = "2 3"), 6 (7 = "3 2", N = 8), 8 = N: "2 3" + "2".
        {"code equal to N", 2, {{4, 3}, {2, 3}, {3, 3}, {6, 3}, {8, 4}, {5, 4}}, {2, 3, 2, 3, 2, 3, 2, 0}},
        {"two clear codes are one", 2, {{4, 3}, {4, 3}, {3, 3}, {3, 3}, {6, 3}, {5, 4}}, {3, 3, 3, 3, 0, 0, 0, 0}},
        // Entry 6 is "1 2" before the clear and "3 3" (a code equal to N) after it.
        {"clear code mid-stream restarts the table",
         2,
         {{4, 3}, {1, 3}, {2, 3}, {6, 3}, {4, 4}, {3, 3}, {6, 3}, {5, 3}},
         {1, 2, 1, 2, 3, 3, 3, 0}},
        {"end code right after the clear code", 2, {{4, 3}, {5, 3}, {1, 3}, {1, 3}}, {0, 0, 0, 0, 0, 0, 0, 0}},
        {"no leading clear code", 2, {{1, 3}, {1, 3}, {6, 3}, {5, 4}}, {1, 1, 1, 1, 0, 0, 0, 0}},
        // A code beyond N decodes like N would: previous string + its first character.
        {"code beyond N", 2, {{4, 3}, {2, 3}, {7, 3}, {5, 3}}, {2, 2, 2, 0, 0, 0, 0, 0}},
        // A first code past the roots is its own pixel (low 8 bits).
        {"first code past the roots", 2, {{4, 3}, {6, 3}, {1, 3}, {5, 3}}, {6, 1, 0, 0, 0, 0, 0, 0}},
        {"pixels stop at the image's end", 2, {{4, 3}, {1, 3}, {6, 3}, {7, 3}, {7, 4}, {7, 4}, {0, 4}, {5, 4}},
         {1, 1, 1, 1, 1, 1, 1, 1}},
    };
    for (auto const& r : rows) {
        File f = RawFile(1, 8, RawData(r.minCodeSize, r.codes));
        CIO::IOError error = CIO::IOERR_BAD_PATH;
        Bytes pixels = LoadPixels(Build(f), error);
        EXPECT_EQ(error, CIO::IOERR_NONE) << r.what;
        EXPECT_EQ(pixels, r.pixels) << r.what;
    }
}

TEST(GifLoad, WidthGrowsFrom9To10AtN512AndStaysAt12WithAFullTable)
{
    // m = 8 with literal codes only: entry N is assigned for every code after the
    // first. Reading code i (0-based, after the clear) happens with N = 258 + i - 1.
    // Widths: 9 while N < 512, 10 from N = 512, ... 12 from N = 2048; no entries past
    // 4095, so the width stays 12 for as long as no clear code comes.
    const int count = 5000;
    std::vector<Code> codes{{256, 9}};
    Bytes expected;
    unsigned n = 258;
    int width = 9;
    for (int i = 0; i < count; ++i) {
        unsigned value = static_cast<unsigned>(i * 31 % 256);
        codes.push_back({value, width});
        expected.push_back(static_cast<uint8_t>(value));
        if (i > 0 && n < 4096) {
            ++n;
            if (n >= (1u << width) && width < 12)
                ++width;
        }
        if (i == 253) {
            EXPECT_EQ(n, 511u);
        }
        if (i == 254) {
            EXPECT_EQ(width, 10);
        }
    }
    EXPECT_EQ(width, 12);
    codes.push_back({257, 12});
    File f = RawFile(100, 50, RawData(8, codes));
    CIO::IOError error;
    EXPECT_TRUE(LoadPixels(Build(f), error) == expected);
}

TEST(GifLoad, CodeDataThatEndsEarlyGivesAPartialImage)
{
    const int width = 20, height = 10;
    Bytes pixels = RandomPixels(width * height, 256, 42);
    Bytes order(pixels.begin(), pixels.begin() + width * height / 2);
    LzwOptions lzw;
    lzw.endCode = false;
    struct Row {
        const char* what;
        bool endCode, terminator, trailer;
    } const rows[] = {
        {"terminator after half", false, true, true},
        {"end code after half", true, true, true},
        {"file ends after half", false, false, false},
    };
    for (auto const& r : rows) {
        lzw.endCode = r.endCode;
        File f = RawFile(width, height, {});
        Bytes data{8};
        Bytes blocks = SubBlocks(LzwEncode(order.data(), order.size(), lzw), 255, r.terminator);
        data.insert(data.end(), blocks.begin(), blocks.end());
        f.frames[0].data = data;
        f.trailer = r.trailer;
        CIO::IOError error = CIO::IOERR_BAD_PATH;
        Bytes got = LoadPixels(Build(f), error);
        EXPECT_EQ(error, CIO::IOERR_NONE) << r.what;
        Bytes want = order;
        want.resize(width * height, 0);
        EXPECT_TRUE(got == want) << r.what;
    }
}

TEST(GifLoad, CircularTableReferencesStopDecodingCleanly)
{
    // m = 2: first code 1; code 7 lies beyond N = 6, so "previous" becomes 7; then code
    // 6 assigns entry 7 with prefix 7: a string that refers to itself.
    File f = RawFile(30, 30, RawData(2, {{4, 3}, {1, 3}, {7, 3}, {6, 3}, {7, 4}, {1, 4}, {5, 4}}));
    CIO::IOError error = CIO::IOERR_BAD_PATH;
    ImagePtr image = LoadFile(Build(f), error);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(error, CIO::IOERR_NONE);
    Bytes pixels = Pixels(*image);
    // 1, then code 7 (= 1 1), then code 6 (= 1 1); then the circular code: nothing.
    Bytes want(900, 0);
    for (int i = 0; i < 5; ++i)
        want[i] = 1;
    EXPECT_TRUE(pixels == want);
}

TEST(GifLoad, RefusesWhatCannotBeDecoded)
{
    Bytes good = Build(OneFrame(4, 4, RandomPixels(16, 256, 8)));
    struct Row {
        const char* what;
        Bytes file;
    };
    std::vector<Row> rows;
    for (int dims : {0, 1, 2}) {
        File f = OneFrame(4, 4, RandomPixels(16, 256, 8));
        if (dims != 1)
            f.frames[0].width = 0;
        if (dims != 0)
            f.frames[0].height = 0;
        f.frames[0].rawData = true;
        f.frames[0].data = RawData(8, {{256, 9}, {1, 9}, {257, 9}});
        rows.push_back({"zero width or height", Build(f)});
    }
    File big = RawFile(4, 4, RawData(12, {}));
    rows.push_back({"minimum code size 12", Build(big)});
    File huge = RawFile(4, 4, Bytes{255, 0});
    rows.push_back({"minimum code size 255", Build(huge)});
    File trailerFirst = OneFrame(4, 4, RandomPixels(16, 256, 8));
    trailerFirst.frames[0].before = {0x3B};
    rows.push_back({"trailer before the image", Build(trailerFirst)});
    File noImage = OneFrame(4, 4, RandomPixels(16, 256, 8));
    noImage.frames.clear();
    rows.push_back({"no image", Build(noImage)});
    Bytes cutLabel(good.begin(), good.begin() + 13 + 768);
    cutLabel.push_back(0x21);
    rows.push_back({"extension label cut off", cutLabel});

    for (auto const& r : rows) {
        CIO::IOError error = CIO::IOERR_NONE;
        EXPECT_EQ(LoadFile(r.file, error), nullptr) << r.what;
        EXPECT_EQ(error, CIO::IOERR_BAD_FORMAT) << r.what;
    }

    File m11 = RawFile(2, 1, RawData(11, {{2048, 12}, {300, 12}, {1, 12}, {2049, 12}}));
    CIO::IOError error;
    EXPECT_EQ(LoadPixels(Build(m11), error), (Bytes{300 & 0xFF, 1}));
    EXPECT_EQ(error, CIO::IOERR_NONE);
}

TEST(GifLoad, OpenFailuresTellMissingFilesBadPathsAndFoldersApart)
{
    TempDir dir;
    CIO::IOError error = CIO::IOERR_NONE;
    EXPECT_EQ(CGifIO::Load(CString((dir / "missing.gif").c_str()), error), nullptr);
    EXPECT_EQ(error, CIO::IOERR_NOT_FOUND);
    EXPECT_EQ(CGifIO::Load(CString((dir / "no/such/folder.gif").c_str()), error), nullptr);
    EXPECT_EQ(error, CIO::IOERR_BAD_PATH);
    EXPECT_EQ(CGifIO::Load(CString(dir.path.c_str()), error), nullptr);
    EXPECT_EQ(error, CIO::IOERR_OPEN_FAILED);
}

// Every prefix of a file either is refused as a bad format (when it ends before the
// code data) or loads with the pixels decoded so far -- a prefix of the stream -- and
// zeros after them, never more pixels for a shorter file.
TEST(GifLoad, EveryPrefixOfAFileIsRefusedOrGivesAPartialImage)
{
    File f;
    f.globalTable = MakeTable(16);
    Frame fr;
    fr.width = 23;
    fr.height = 19;
    fr.interlaced = true;
    fr.localTable = MakeTable(64, 4);
    fr.pixels = RandomPixels(23 * 19, 64, 99);
    fr.lzw.minCodeSize = 6;
    fr.subBlockSize = 40;
    fr.before = LoopExtension();
    Bytes gce = GraphicControl(3);
    fr.before.insert(fr.before.end(), gce.begin(), gce.end());
    f.frames = {fr, fr};
    Bytes file = Build(f);
    Bytes stream = StreamOrder(fr);
    const size_t dataStart = 13 + 48 + fr.before.size() + 10 + 192 + 1; // after the minimum code size
    std::vector<int> rowOf = InterlacedRows(fr.height);

    size_t lastDecoded = 0;
    for (size_t n = 0; n <= file.size(); ++n) {
        Bytes prefix(file.begin(), file.begin() + static_cast<long>(n));
        for (size_t capacity : {size_t(1024), size_t(64 * 1024)}) {
            CIO::IOError error = CIO::IOERR_BAD_PATH;
            ImagePtr image = LoadMemory(prefix, error, capacity);
            if (n < dataStart) {
                EXPECT_EQ(image, nullptr) << n;
                EXPECT_EQ(error, CIO::IOERR_BAD_FORMAT) << n;
                continue;
            }
            ASSERT_NE(image, nullptr) << n;
            EXPECT_EQ(error, CIO::IOERR_NONE);
            Bytes pixels = Pixels(*image);
            // Back into stream order.
            Bytes got;
            for (int y : rowOf)
                got.insert(got.end(), pixels.begin() + y * fr.width, pixels.begin() + (y + 1) * fr.width);
            size_t decoded = 0;
            while (decoded < got.size() && got[decoded] == stream[decoded])
                ++decoded;
            for (size_t i = decoded; i < got.size(); ++i)
                ASSERT_EQ(got[i], 0) << "prefix " << n << " pixel " << i;
            EXPECT_GE(decoded + 64, lastDecoded) << n; // zeros in the stream may look decoded
            lastDecoded = std::max(lastDecoded, decoded);
        }
    }
    EXPECT_EQ(lastDecoded, stream.size());
}

TEST(GifLoad, FileAndMemoryEntryPointsAgree)
{
    File f = OneFrame(700, 300, RandomPixels(700 * 300, 256, 1234, 1), true); // > 64 KiB of code data
    Bytes file = Build(f);
    ASSERT_GT(file.size(), 150000u);
    CIO::IOError a, b, c;
    ImagePtr viaFile = LoadFile(file, a);
    ImagePtr viaMemory = LoadMemory(file, b);
    ImagePtr smallWindow = LoadMemory(file, c, 1024);
    ASSERT_TRUE(viaFile && viaMemory && smallWindow);
    EXPECT_TRUE(Pixels(*viaFile) == f.frames[0].pixels);
    EXPECT_TRUE(Pixels(*viaMemory) == f.frames[0].pixels);
    EXPECT_TRUE(Pixels(*smallWindow) == f.frames[0].pixels);
}

TEST(GifLoad, ManyFilesLoadOnManyThreadsAtOnce)
{
    TempDir dir;
    struct Case {
        std::string path;
        File file;
    };
    std::vector<Case> cases;
    for (int i = 0; i < 6; ++i) {
        int w = 150 + 37 * i, h = 120 + 23 * i;
        File f = OneFrame(w, h, RandomPixels(static_cast<size_t>(w) * h, i % 2 ? 256 : 16, 500 + i, i % 3),
                          i % 2 == 1, i % 2 ? 8 : 4);
        // Half without a global table, so colour tables cannot leak between files.
        if (i % 3 == 2)
            f.globalTable.clear();
        else
            f.globalTable = MakeTable(256, i);
        cases.push_back({dir.Write("f" + std::to_string(i) + ".gif", Build(f)), f});
    }
    std::vector<int> failures(cases.size() * 2, 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < failures.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 6; ++round) {
                Case const& c = cases[(t + static_cast<size_t>(round)) % cases.size()];
                CIO::IOError error;
                ImagePtr image(CGifIO::Load(CString(c.path.c_str()), error));
                if (!image || error != CIO::IOERR_NONE || Pixels(*image) != c.file.frames[0].pixels) {
                    ++failures[t];
                    continue;
                }
                CLut lut = image->GetLut();
                Bytes const& table = c.file.globalTable;
                for (unsigned e = 0; e < 256; ++e) {
                    LutColor want{0, 0, 0};
                    if (3 * e < table.size())
                        want = LutColor{table[3 * e], table[3 * e + 1], table[3 * e + 2]};
                    if (lut[e].red != want.red || lut[e].green != want.green || lut[e].blue != want.blue)
                        ++failures[t];
                }
                if (CGifIO::IsAnimated(CString(c.path.c_str())))
                    ++failures[t];
            }
        });
    }
    for (auto& th : threads)
        th.join();
    for (size_t t = 0; t < failures.size(); ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t;
}
