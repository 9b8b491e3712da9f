// Reading uncompressed BMP files: modes, colour tables, bit counts, header
// variants, resolution, refusals and truncation.
#include "BmpBuilder.h"

#include <cstring>

using namespace bmptest;

namespace {

ImagePtr Load(BmpBuilder const& b, CIO::IOError& error)
{
    return LoadBytes(b.Build(), error);
}

ImagePtr LoadOk(BmpBuilder const& b)
{
    CIO::IOError error = CIO::IOERR_BAD_PATH;
    ImagePtr image = Load(b, error);
    EXPECT_EQ(error, CIO::IOERR_NONE);
    EXPECT_NE(image, nullptr);
    return image;
}

BmpBuilder OneBit(std::vector<Rgb> table)
{
    BmpBuilder b;
    b.bitCount = 1;
    b.width = 3;
    b.height = 1;
    b.table = std::move(table);
    b.Rows({{0b01000000}}); // pixels 0 1 0
    return b;
}

} // namespace

TEST(BmpRead, BlackWhiteTableReadsWhiteForBitZeroInEitherOrder)
{
    for (auto table : {std::vector<Rgb>{{0, 0, 0}, {255, 255, 255}}, std::vector<Rgb>{{255, 255, 255}, {0, 0, 0}}}) {
        ImagePtr image = LoadOk(OneBit(table));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->GetMode(), IM_GRAY);
        EXPECT_EQ(Pixels(*image), (Bytes{255, 0, 255}));
    }
}

TEST(BmpRead, TwoColourTableGivesIndexedImage)
{
    ImagePtr image = LoadOk(OneBit({{255, 0, 0}, {0, 0, 255}}));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetMode(), IM_INDEXED);
    EXPECT_EQ(Pixels(*image), (Bytes{0, 1, 0}));
    CLut lut = image->GetLut();
    EXPECT_EQ(lut.GetColors(), 2);
    EXPECT_EQ(lut[0].red, 255);
    EXPECT_EQ(lut[1].blue, 255);
}

TEST(BmpRead, GreyTableInAnyOrderGivesGreyLevels)
{
    BmpBuilder b;
    b.bitCount = 8;
    b.width = 4;
    b.height = 2;
    for (int i = 0; i < 256; ++i) {
        uint8_t g = static_cast<uint8_t>(255 - i);
        b.table.push_back({g, g, g});
    }
    b.Rows({{0, 1, 2, 3}, {255, 254, 128, 7}});
    ImagePtr image = LoadOk(b);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetMode(), IM_GRAY);
    EXPECT_EQ(Pixels(*image), (Bytes{255, 254, 253, 252, 0, 1, 127, 248}));
}

TEST(BmpRead, TwentyFourBitPixelsBecomeRedGreenBlue)
{
    BmpBuilder b;
    b.width = 2;
    b.height = 2;
    b.Rows({{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}});
    ImagePtr image = LoadOk(b);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetMode(), IM_RGB);
    EXPECT_EQ(Pixels(*image), (Bytes{3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));
}

TEST(BmpRead, PackedRowsHonourWidthAndPadding)
{
    // 1 bit, width 33: rows of 8 bytes; the 33rd pixel is the top bit of byte 4.
    BmpBuilder one;
    one.bitCount = 1;
    one.width = 33;
    one.height = 2;
    one.table = {{255, 0, 0}, {0, 255, 0}};
    one.Rows({{0x80, 0, 0, 0x01, 0x80}, {0, 0, 0, 0, 0x7F}});
    ASSERT_EQ(one.pixels.size(), 16u);
    ImagePtr image = LoadOk(one);
    ASSERT_TRUE(image);
    Bytes px = Pixels(*image);
    Bytes want(66, 0);
    want[0] = want[31] = want[32] = 1;
    EXPECT_EQ(px, want);

    // 4 bits, width 9: rows of 8 bytes; the ninth pixel is the high nibble of byte 4.
    BmpBuilder four;
    four.bitCount = 4;
    four.width = 9;
    four.height = 1;
    for (int i = 0; i < 16; ++i)
        four.table.push_back({static_cast<uint8_t>(i * 16), 0, 0});
    four.Rows({{0x01, 0x23, 0x45, 0x67, 0x8F}});
    ASSERT_EQ(four.pixels.size(), 8u);
    image = LoadOk(four);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(BmpRead, ShortColourTableLeavesTheRestBlack)
{
    BmpBuilder b;
    b.bitCount = 8;
    b.width = 2;
    b.colorsUsed = 10;
    for (int i = 0; i < 10; ++i)
        b.table.push_back({static_cast<uint8_t>(i), 100, 200});
    b.Rows({{9, 200}});
    ImagePtr image = LoadOk(b);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetMode(), IM_INDEXED);
    EXPECT_EQ(Pixels(*image), (Bytes{9, 200}));
    CLut lut = image->GetLut();
    EXPECT_EQ(lut.GetColors(), 10);
    EXPECT_EQ(lut[9].red, 9);
    EXPECT_EQ(lut[10].green, 0);
    EXPECT_EQ(lut[255].blue, 0);
}

TEST(BmpRead, ColoursUsedAboveTheBitCountIsCut)
{
    // 1 bit with 5 table entries: two are used, three skipped, in a file and a DIB.
    for (bool fileHeader : {true, false}) {
        BmpBuilder b = OneBit({{10, 20, 30}, {40, 50, 60}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}});
        b.colorsUsed = 5;
        b.fileHeader = fileHeader;
        Bytes bytes = b.Build();
        TempDir dir;
        WriteFile(dir.File("a.bmp"), bytes);
        CIO::IOError error = CIO::IOERR_BAD_PATH;
        ImagePtr image;
        if (fileHeader) {
            image.reset(CBmpIO::Load(CString(dir.File("a.bmp").c_str()), error));
        } else {
            CFile file;
            ASSERT_TRUE(file.Open(dir.File("a.bmp").c_str(), CFile::modeRead));
            image.reset(CBmpIO::Load(file, error));
        }
        ASSERT_TRUE(image) << fileHeader;
        EXPECT_EQ(error, CIO::IOERR_NONE);
        EXPECT_EQ(image->GetLut().GetColors(), 2);
        EXPECT_EQ(Pixels(*image), (Bytes{0, 1, 0}));
    }
}

TEST(BmpRead, TableIsReadOnlyForColourTableBitCounts)
{
    // 24 bits with colours used 16: no table read, pixels at the data offset.
    BmpBuilder b;
    b.colorsUsed = 16;
    b.gap = Bytes(64, 0xEE);
    b.Rows({{1, 2, 3}});
    ImagePtr image = LoadOk(b);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), (Bytes{3, 2, 1}));
}

TEST(BmpRead, DataOffsetInsideTheTableLeavesTheFileAfterTheTable)
{
    BmpBuilder b;
    b.bitCount = 8;
    b.width = 2;
    b.colorsUsed = 2;
    b.table = {{1, 2, 3}, {4, 5, 6}};
    b.pixelOffset = 20;
    b.Rows({{1, 0}});
    ImagePtr image = LoadOk(b);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), (Bytes{1, 0}));
}

TEST(BmpRead, ResolutionUsesTheExactFactor)
{
    const struct {
        int32_t ppm;
        double dpi;
    } cases[] = {{3780, 96.01200000000001}, {0, 0.0}, {2835, 2835 * 0.025400000000000002}, {-100, -100 * 0.025400000000000002}};
    for (auto c : cases) {
        BmpBuilder b;
        b.ppm = c.ppm;
        b.Rows({{0, 0, 0}});
        ImagePtr image = LoadOk(b);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->GetDpi(), c.dpi) << c.ppm;
    }
}

TEST(BmpRead, LargestAcceptedSize)
{
    BmpBuilder b;
    b.bitCount = 1;
    b.width = 32766;
    b.height = 1;
    b.table = {{1, 1, 2}, {3, 3, 3}};
    b.pixels.assign(4096, 0xFF);
    ImagePtr image = LoadOk(b);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Width(), 32766);
}

// ---- 16 and 32 bits ----

namespace {

BmpBuilder Masked(uint16_t bitCount, uint32_t compression, std::vector<uint32_t> pixels, int width)
{
    BmpBuilder b;
    b.bitCount = bitCount;
    b.compression = compression;
    b.width = width;
    b.height = static_cast<int32_t>(pixels.size()) / width;
    std::vector<Bytes> rows;
    for (int y = 0; y < b.height; ++y) {
        Bytes row;
        for (int x = 0; x < width; ++x) {
            uint32_t p = pixels[y * width + x];
            for (int i = 0; i < bitCount / 8; ++i)
                row.push_back(static_cast<uint8_t>(p >> (8 * i)));
        }
        rows.push_back(row);
    }
    b.Rows(rows);
    return b;
}

} // namespace

TEST(BmpRead, SixteenBitDefaultsToFiveFiveFive)
{
    BmpBuilder b = Masked(16, 0, {0x7C00, 0x03E0, 0x001F, 0x4210, 0xFFFF}, 5);
    ImagePtr image = LoadOk(b);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetMode(), IM_RGB);
    EXPECT_EQ(Pixels(*image), (Bytes{255, 0, 0, 0, 255, 0, 0, 0, 255, 132, 132, 132, 255, 255, 255}));
}

TEST(BmpRead, BitFieldMasksSelectTheChannels)
{
    // 5-6-5 after a 40-byte header.
    BmpBuilder b = Masked(16, 3, {0xF800, 0x07E0, 0x001F, 0x0821}, 4);
    b.masks = {0xF800, 0x07E0, 0x001F};
    ImagePtr image = LoadOk(b);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetMode(), IM_RGB);
    EXPECT_EQ(Pixels(*image), (Bytes{255, 0, 0, 0, 255, 0, 0, 0, 255, 8, 4, 8}));

    // 32 bits, 10-10-10-2 with alpha, in a 124-byte header: alpha first.
    BmpBuilder c = Masked(32, 3, {0xFFFFFFFF, 0x3FF00000, 0x400FFC00}, 3);
    c.headerSize = 124;
    c.masks = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
    image = LoadOk(c);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetMode(), IM_RGB | IM_ALPHA);
    EXPECT_EQ(Pixels(*image), (Bytes{255, 255, 255, 255, 0, 255, 0, 0, 85, 0, 255, 0}));
}

TEST(BmpRead, ThirtyTwoBitByteLayouts)
{
    // Compression 0: blue, green, red, unused.
    BmpBuilder plain = Masked(32, 0, {0xAA112233, 0x00445566}, 2);
    ImagePtr image = LoadOk(plain);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetMode(), IM_RGB);
    EXPECT_EQ(Pixels(*image), (Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));

    // Bit fields with an alpha mask in a 108-byte header.
    BmpBuilder alpha = Masked(32, 3, {0xAA112233, 0x00445566}, 2);
    alpha.headerSize = 108;
    alpha.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    image = LoadOk(alpha);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetMode(), IM_RGB | IM_ALPHA);
    EXPECT_EQ(Pixels(*image), (Bytes{0xAA, 0x11, 0x22, 0x33, 0x00, 0x44, 0x55, 0x66}));

    // The same masks after a 40-byte header give no alpha (three masks only).
    BmpBuilder three = Masked(32, 3, {0xAA112233}, 1);
    three.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
    image = LoadOk(three);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), (Bytes{0x33, 0x22, 0x11}));
}

TEST(BmpRead, LongerHeaderPlacesTheColourTable)
{
    for (uint32_t headerSize : {52u, 56u, 64u, 108u, 124u}) {
        BmpBuilder b = OneBit({{200, 10, 20}, {30, 40, 250}});
        b.headerSize = headerSize;
        ImagePtr image = LoadOk(b);
        ASSERT_TRUE(image) << headerSize;
        EXPECT_EQ(image->GetMode(), IM_INDEXED);
        EXPECT_EQ(image->GetLut()[0].red, 200);
        EXPECT_EQ(image->GetLut()[1].blue, 250);
    }
}

// ---- refusals ----

TEST(BmpRead, RefusesBadHeaders)
{
    const struct {
        const char* what;
        void (*change)(BmpBuilder&);
    } cases[] = {
        {"width 0", [](BmpBuilder& b) { b.width = 0; }},
        {"width 32767", [](BmpBuilder& b) { b.width = 32767; }},
        {"height 0", [](BmpBuilder& b) { b.height = 0; }},
        {"top-down", [](BmpBuilder& b) { b.height = -1; }},
        {"height 32767", [](BmpBuilder& b) { b.height = 32767; }},
        {"bit count 0", [](BmpBuilder& b) { b.bitCount = 0; }},
        {"bit count 2", [](BmpBuilder& b) { b.bitCount = 2; }},
        {"bit count 48", [](BmpBuilder& b) { b.bitCount = 48; }},
        {"compression 4 (JPEG)", [](BmpBuilder& b) { b.compression = 4; }},
        {"compression 6", [](BmpBuilder& b) { b.compression = 6; }},
        {"bit fields at 24 bits", [](BmpBuilder& b) { b.compression = 3; }},
        {"RLE8 at 24 bits", [](BmpBuilder& b) { b.compression = 1; }},
        {"RLE4 at 32 bits", [](BmpBuilder& b) { b.compression = 2; b.bitCount = 32; }},
        {"bit fields at 8 bits", [](BmpBuilder& b) { b.compression = 3; b.bitCount = 8; b.table = {{1, 2, 3}}; }},
        {"negative colours used", [](BmpBuilder& b) { b.bitCount = 8; b.colorsUsed = -1; b.table = {{1, 2, 3}}; }},
        {"table shorter than colours used", [](BmpBuilder& b) { b.bitCount = 8; b.colorsUsed = 200; b.table = {{1, 2, 3}}; b.pixels.clear(); }},
        {"core header", [](BmpBuilder& b) { b.headerSize = 12; }},
        {"missing pixel row", [](BmpBuilder& b) { b.height = 2; }},
        {"huge height for the data", [](BmpBuilder& b) { b.width = 32766; b.height = 32766; }},
        {"pixel offset beyond the end", [](BmpBuilder& b) { b.pixelOffset = 1000; }},
    };
    for (auto const& c : cases) {
        BmpBuilder b;
        b.Rows({{1, 2, 3}});
        c.change(b);
        CIO::IOError error = CIO::IOERR_NONE;
        ImagePtr image = Load(b, error);
        EXPECT_EQ(image, nullptr) << c.what;
        EXPECT_EQ(error, CIO::IOERR_BAD_FORMAT) << c.what;
    }
}

TEST(BmpRead, OpenFailuresGiveTheirCodes)
{
    TempDir dir;
    CIO::IOError error = CIO::IOERR_NONE;
    EXPECT_EQ(CBmpIO::Load(CString(dir.File("missing.bmp").c_str()), error), nullptr);
    EXPECT_EQ(error, CIO::IOERR_NOT_FOUND);
    EXPECT_EQ(CBmpIO::Load(CString(dir.File("no/such.bmp").c_str()), error), nullptr);
    EXPECT_EQ(error, CIO::IOERR_BAD_PATH);
    EXPECT_EQ(CBmpIO::Load(CString(dir.path.c_str()), error), nullptr);
    EXPECT_EQ(error, CIO::IOERR_OPEN_FAILED);
}

TEST(BmpRead, EveryPrefixFailsCleanly)
{
    std::vector<BmpBuilder> files;
    BmpBuilder rgb;
    rgb.width = 3;
    rgb.height = 2;
    rgb.Rows({RandomBytes(9, 1), RandomBytes(9, 2)});
    files.push_back(rgb);
    BmpBuilder indexed = OneBit({{1, 2, 3}, {4, 5, 6}});
    indexed.headerSize = 108;
    files.push_back(indexed);
    BmpBuilder masked = Masked(16, 3, {1, 2, 3, 4}, 2);
    masked.masks = {0xF800, 0x07E0, 0x001F};
    files.push_back(masked);
    for (BmpBuilder const& b : files) {
        Bytes whole = b.Build();
        for (size_t n = 0; n < whole.size(); ++n) {
            CIO::IOError error = CIO::IOERR_NONE;
            ImagePtr image = LoadBytes(Bytes(whole.begin(), whole.begin() + n), error);
            EXPECT_EQ(image, nullptr) << n;
            EXPECT_EQ(error, CIO::IOERR_BAD_FORMAT) << n;
        }
    }
}

// ---- the stream overload ----

namespace {

// A file object whose reads throw once `budget` bytes have been read.
class FailingReadFile : public CFile {
public:
    explicit FailingReadFile(UINT budget) : budget_(budget) {}
    UINT Read(void* buffer, UINT count) override
    {
        if (count > budget_)
            throw CFileException(CFileException::hardIO);
        budget_ -= count;
        return CFile::Read(buffer, count);
    }

private:
    UINT budget_;
};

} // namespace

TEST(BmpRead, StreamReadsAPackedBitmapFromThePosition)
{
    BmpBuilder b;
    b.fileHeader = false;
    b.width = 2;
    b.Rows({{1, 2, 3, 4, 5, 6}});
    Bytes bytes = {'j', 'u', 'n', 'k'};
    Bytes dib = b.Build();
    bytes.insert(bytes.end(), dib.begin(), dib.end());
    bytes.push_back('!');
    TempDir dir;
    WriteFile(dir.File("d"), bytes);
    CFile file;
    ASSERT_TRUE(file.Open(dir.File("d").c_str(), CFile::modeRead));
    file.Seek(4, CFile::begin);
    CIO::IOError error = CIO::IOERR_BAD_PATH;
    ImagePtr image(CBmpIO::Load(file, error));
    ASSERT_TRUE(image);
    EXPECT_EQ(error, CIO::IOERR_NONE);
    EXPECT_EQ(Pixels(*image), (Bytes{3, 2, 1, 6, 5, 4}));
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.GetPosition(), bytes.size() - 1);
}

TEST(BmpRead, StreamSkipsTheTableOfATrueColourBitmap)
{
    BmpBuilder b;
    b.fileHeader = false;
    b.colorsUsed = 2;
    b.gap = Bytes(8, 0xEE); // the two table entries
    b.Rows({{1, 2, 3}});
    TempDir dir;
    WriteFile(dir.File("d"), b.Build());
    CFile file;
    ASSERT_TRUE(file.Open(dir.File("d").c_str(), CFile::modeRead));
    CIO::IOError error = CIO::IOERR_BAD_PATH;
    ImagePtr image(CBmpIO::Load(file, error));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), (Bytes{3, 2, 1}));
}

TEST(BmpRead, StreamFailuresCloseOnlyWhenTheReaderDetectsThem)
{
    BmpBuilder b;
    b.fileHeader = false;
    b.height = 2;
    b.Rows({{1, 2, 3}}); // one row short
    TempDir dir;
    WriteFile(dir.File("d"), b.Build());

    CFile file;
    ASSERT_TRUE(file.Open(dir.File("d").c_str(), CFile::modeRead));
    CIO::IOError error = CIO::IOERR_NONE;
    EXPECT_EQ(CBmpIO::Load(file, error), nullptr);
    EXPECT_EQ(error, CIO::IOERR_BAD_FORMAT);
    EXPECT_FALSE(file.IsOpen());

    // A read that throws: no memory, file left to its owner.
    b.Rows({{1, 2, 3}, {4, 5, 6}});
    WriteFile(dir.File("d"), b.Build());
    FailingReadFile failing(40);
    ASSERT_TRUE(failing.Open(dir.File("d").c_str(), CFile::modeRead));
    EXPECT_EQ(CBmpIO::Load(failing, error), nullptr);
    EXPECT_EQ(error, CIO::IOERR_NO_MEMORY);
    EXPECT_TRUE(failing.IsOpen());
}

TEST(BmpRead, ImagesTallerThanAStripKeepRowOrder)
{
    // 300 rows: a strip of 256 (image rows 44 to 299), then one of 44.
    for (uint16_t bitCount : {uint16_t(1), uint16_t(8), uint16_t(24), uint16_t(32)}) {
        BmpBuilder b;
        b.bitCount = bitCount;
        b.width = 5;
        b.height = 300;
        if (bitCount <= 8) {
            for (int i = 0; i < (1 << bitCount); ++i)
                b.table.push_back({static_cast<uint8_t>(i), 7, 9});
        }
        const size_t rowBytes = (5 * bitCount + 31) / 32 * 4;
        std::vector<Bytes> rows;
        for (int y = 0; y < 300; ++y) {
            Bytes row(rowBytes, 0);
            row[0] = static_cast<uint8_t>(bitCount == 1 ? (y % 2) << 7 : y);
            rows.push_back(row);
        }
        b.Rows(rows);
        ImagePtr image = LoadOk(b);
        ASSERT_TRUE(image);
        Bytes px = Pixels(*image);
        const int planes = image->GetPlanes();
        for (int y = 0; y < 300; ++y) {
            const uint8_t first = px[static_cast<size_t>(y) * 5 * planes + (bitCount >= 24 ? 2 : 0)];
            const uint8_t want = static_cast<uint8_t>(bitCount == 1 ? y % 2 : y);
            ASSERT_EQ(first, want) << bitCount << " row " << y;
        }
    }
}
