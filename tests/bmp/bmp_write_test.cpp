// Writing BMP files: headers, rows, RLE8 runs, round trips, failures and atomic saves.
#include "BmpBuilder.h"

#include "bmp/rle.h"

#include <cmath>
#include <sys/stat.h>

using namespace bmptest;

namespace {

Bytes SaveBytes(CImage& image, bool rle)
{
    TempDir dir;
    CIO::IOError error = CIO::IOERR_BAD_PATH;
    EXPECT_TRUE(CBmpIO::Save(CString(dir.File("out.bmp").c_str()), image, rle, error));
    EXPECT_EQ(error, CIO::IOERR_NONE);
    return ReadFile(dir.File("out.bmp"));
}

// The pixel data of a saved one-row 8-bit image.
Bytes Rle8Of(Bytes const& row)
{
    CLut lut;
    lut[255] = LutColor{1, 2, 3};
    ImagePtr image = MakeImage(IM_INDEXED, static_cast<int>(row.size()), 1, row);
    image->SetLut(lut);
    Bytes file = SaveBytes(*image, true);
    return Bytes(file.begin() + Get32(file, 10), file.end());
}

} // namespace

TEST(BmpWrite, GreyImageHeaderAndSizes)
{
    ImagePtr image = MakeImage(IM_GRAY, 2, 2, {1, 2, 3, 4});
    Bytes file = SaveBytes(*image, false);
    ASSERT_EQ(file.size(), 1086u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Get32(file, 2), 1086u);
    EXPECT_EQ(Get32(file, 10), 1078u);
    EXPECT_EQ(Get32(file, 14), 40u);
    EXPECT_EQ(Get16(file, 26), 1);
    EXPECT_EQ(Get16(file, 28), 8);
    EXPECT_EQ(Get32(file, 30), 0u);
    EXPECT_EQ(Get32(file, 34), 8u);
    EXPECT_EQ(Get32(file, 46), 256u);
    EXPECT_EQ(Get32(file, 50), 0u);
    EXPECT_EQ(file[54 + 4 * 200], 200);
    EXPECT_EQ(file[54 + 4 * 200 + 3], 0);
    // Bottom row first, padded to 4 bytes.
    EXPECT_EQ(Bytes(file.begin() + 1078, file.end()), (Bytes{3, 4, 0, 0, 1, 2, 0, 0}));
}

TEST(BmpWrite, RgbRowsAreBlueGreenRedPadded)
{
    ImagePtr image = MakeImage(IM_RGB, 1, 2, {1, 2, 3, 4, 5, 6});
    for (bool rle : {false, true}) {
        Bytes file = SaveBytes(*image, rle);
        EXPECT_EQ(Get16(file, 28), 24);
        EXPECT_EQ(Get32(file, 30), 0u) << "RGB is never compressed";
        EXPECT_EQ(Get32(file, 46), 0u);
        EXPECT_EQ(Get32(file, 10), 54u);
        EXPECT_EQ(Bytes(file.begin() + 54, file.end()), (Bytes{6, 5, 4, 0, 3, 2, 1, 0}));
    }
}

TEST(BmpWrite, IndexedTableIsTheImagesColourCount)
{
    ImagePtr image = MakeImage(IM_INDEXED, 3, 1, {0, 1, 2});
    CLut lut;
    for (int i = 0; i < 16; ++i)
        lut[i] = LutColor{static_cast<uint8_t>(i), 100, 200};
    image->SetLut(lut);
    Bytes file = SaveBytes(*image, false);
    EXPECT_EQ(Get32(file, 10), 118u);
    EXPECT_EQ(Get32(file, 46), 16u);
    EXPECT_EQ(file[54 + 4 * 15 + 2], 15); // red of entry 15
    EXPECT_EQ(file[54 + 4 * 15], 200);    // blue

    image->SetLut(CLut());
    file = SaveBytes(*image, false);
    EXPECT_EQ(Get32(file, 10), 54u);
    EXPECT_EQ(Get32(file, 46), 0u);
}

TEST(BmpWrite, ResolutionInPixelsPerMetre)
{
    const struct {
        double dpi;
        uint32_t ppm;
    } cases[] = {{96, 3779}, {72, 2834}, {0, 0}, {96.01200000000001, 3780}, {1e300, 0x7FFFFFFF}, {-1e300, 0x80000000}, {std::nan(""), 0}};
    for (auto c : cases) {
        ImagePtr image = MakeImage(IM_RGB, 1, 1, {0, 0, 0}, c.dpi);
        Bytes file = SaveBytes(*image, false);
        EXPECT_EQ(Get32(file, 38), c.ppm) << c.dpi;
        EXPECT_EQ(Get32(file, 42), c.ppm) << c.dpi;
    }
}

TEST(BmpWrite, EveryResolutionFromZeroTo40000RoundTrips)
{
    // Through the stream overloads, one 1 x 1 bitmap rewritten in place.
    TempDir dir;
    BmpBuilder b;
    b.fileHeader = false;
    b.Rows({{0, 0, 0}});
    CFile file;
    ASSERT_TRUE(file.Open(dir.File("d").c_str(), CFile::modeCreate | CFile::modeReadWrite));
    for (int32_t ppm = 0; ppm <= 40000; ++ppm) {
        b.ppm = ppm;
        Bytes dib = b.Build();
        file.SeekToBegin();
        file.Write(dib.data(), static_cast<UINT>(dib.size()));
        file.SeekToBegin();
        CIO::IOError error = CIO::IOERR_NOT_FOUND;
        ImagePtr image(CBmpIO::Load(file, error));
        ASSERT_TRUE(image) << ppm;
        file.SeekToBegin();
        ASSERT_TRUE(CBmpIO::Save(file, *image, false, error));
        unsigned char field[4];
        file.Seek(24, CFile::begin);
        ASSERT_EQ(file.Read(field, 4), 4u);
        ASSERT_EQ(Get32(Bytes(field, field + 4), 0), static_cast<uint32_t>(ppm));
    }
}

TEST(BmpWrite, FindRunSplitsRowsAsDocumented)
{
    const struct {
        Bytes row;
        bool repeat;
        int length;
    } cases[] = {
        {{5}, true, 1},
        {{1, 2}, true, 1},
        {{1, 2, 2}, true, 1},
        {{5, 5, 5, 5, 7}, true, 4},
        {{1, 2, 3, 4}, false, 4},
        {{1, 2, 3}, false, 3},
        {{'a', 'b', 'e', 'e', 'f'}, false, 3},
    };
    for (auto const& c : cases) {
        bmp::Run run = bmp::FindRun(c.row.data(), static_cast<int>(c.row.size()));
        EXPECT_EQ(run.repeat, c.repeat) << c.row.size();
        EXPECT_EQ(run.length, c.length) << c.row.size();
    }
    Bytes same(300, 9);
    EXPECT_EQ(bmp::FindRun(same.data(), 300).length, 255);
    EXPECT_EQ(bmp::FindRun(same.data(), 45).length, 45);
    Bytes ramp(300);
    for (int i = 0; i < 300; ++i)
        ramp[i] = static_cast<uint8_t>(i);
    bmp::Run run = bmp::FindRun(ramp.data(), 300);
    EXPECT_FALSE(run.repeat);
    EXPECT_EQ(run.length, 255);
}

TEST(BmpWrite, Rle8RowEncodings)
{
    const struct {
        Bytes row;
        Bytes data;
    } cases[] = {
        {{5, 5, 5, 5, 7}, {4, 5, 1, 7, 0, 0, 0, 1}},
        {{1, 2, 3, 4}, {0, 4, 1, 2, 3, 4, 0, 0, 0, 1}},
        {{1, 2, 3}, {0, 3, 1, 2, 3, 0, 0, 0, 0, 1}},
        {{1, 2, 2}, {1, 1, 2, 2, 0, 0, 0, 1}},
        {{1, 2}, {1, 1, 1, 2, 0, 0, 0, 1}},
        {{'a', 'b', 'e', 'e', 'f'}, {0, 3, 'a', 'b', 'e', 0, 1, 'e', 1, 'f', 0, 0, 0, 1}},
    };
    for (auto const& c : cases)
        EXPECT_EQ(Rle8Of(c.row), c.data);
    Bytes data = Rle8Of(Bytes(300, 4));
    EXPECT_EQ(data, (Bytes{255, 4, 45, 4, 0, 0, 0, 1}));
}

TEST(BmpWrite, Rle8FileHeaderCountsTheEncodedBytes)
{
    ImagePtr image = MakeImage(IM_GRAY, 4, 1, {7, 7, 7, 7});
    Bytes file = SaveBytes(*image, true);
    EXPECT_EQ(Get32(file, 30), 1u);
    EXPECT_EQ(Get32(file, 34), 4u) << "image size is the uncompressed size";
    EXPECT_EQ(Get32(file, 2), file.size());
    EXPECT_EQ(Bytes(file.begin() + 1078, file.end()), (Bytes{4, 7, 0, 0, 0, 1}));
}

TEST(BmpWrite, RoundTripsEveryWritableMode)
{
    const struct {
        IMAGE_MODE mode;
        int width, height;
        bool runs; // content with long runs rather than noise
    } cases[] = {
        {IM_GRAY, 1, 1, false},   {IM_GRAY, 7, 3, false},     {IM_GRAY, 300, 301, true},
        {IM_INDEXED, 5, 2, false}, {IM_INDEXED, 33, 300, true}, {IM_INDEXED, 260, 9, false},
        {IM_RGB, 1, 1, false},    {IM_RGB, 13, 257, false},   {IM_RGB, 5, 3, true},
    };
    for (auto const& c : cases) {
        const size_t samples = static_cast<size_t>(c.width) * c.height * ModePlaneCount(c.mode);
        Bytes px = RandomBytes(samples, static_cast<uint32_t>(c.width * 31 + c.height));
        if (c.runs) {
            for (size_t i = 0; i < samples; ++i)
                px[i] = static_cast<uint8_t>(px[i] < 200 ? (i / 97) % 256 : px[i]);
        }
        ImagePtr image = MakeImage(c.mode, c.width, c.height, px, 300);
        CLut lut;
        for (int i = 0; i < 256; ++i)
            lut[i] = LutColor{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7};
        image->SetLut(lut);
        for (bool rle : {false, true}) {
            CIO::IOError error = CIO::IOERR_NOT_FOUND;
            ImagePtr back = LoadBytes(SaveBytes(*image, rle), error);
            ASSERT_TRUE(back) << c.mode << " " << c.width << "x" << c.height << " rle " << rle;
            EXPECT_EQ(back->GetMode(), c.mode);
            EXPECT_EQ(back->Width(), c.width);
            EXPECT_EQ(back->Height(), c.height);
            EXPECT_NEAR(back->GetDpi(), 300, 0.03);
            EXPECT_EQ(Pixels(*back), px) << c.mode << " " << c.width << "x" << c.height << " rle " << rle;
        }
    }
}

TEST(BmpWrite, IndexedImageWithGreyTableReadsBackGrey)
{
    ImagePtr image = MakeImage(IM_INDEXED, 3, 1, {0, 1, 2});
    CLut lut;
    lut[0] = LutColor{10, 10, 10};
    lut[1] = LutColor{20, 20, 20};
    lut[2] = LutColor{30, 30, 30};
    image->SetLut(lut);
    CIO::IOError error;
    ImagePtr back = LoadBytes(SaveBytes(*image, false), error);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetMode(), IM_GRAY);
    EXPECT_EQ(Pixels(*back), (Bytes{10, 20, 30}));
}

// ---- failures and atomic saves ----

TEST(BmpWrite, RefusedModesLeaveNoFileAndKeepAnExistingOne)
{
    for (IMAGE_MODE mode : {IM_GRAY16, IM_HLS, IM_RGB | IM_ALPHA, IM_GRAY | IM_ALPHA, IM_RGB16}) {
        CImage image(mode, 2, 2, 0);
        TempDir dir;
        CIO::IOError error = CIO::IOERR_NONE;
        EXPECT_FALSE(CBmpIO::Save(CString(dir.File("new.bmp").c_str()), image, false, error));
        EXPECT_EQ(error, CIO::IOERR_UNSUPPORTED_MODE);
        EXPECT_TRUE(dir.List().empty());

        const Bytes old = {'o', 'l', 'd'};
        WriteFile(dir.File("old.bmp"), old);
        EXPECT_FALSE(CBmpIO::Save(CString(dir.File("old.bmp").c_str()), image, true, error));
        EXPECT_EQ(error, CIO::IOERR_UNSUPPORTED_MODE);
        EXPECT_EQ(ReadFile(dir.File("old.bmp")), old);
        EXPECT_EQ(dir.List(), std::vector<std::string>{"old.bmp"});

        // The stream overload writes nothing.
        CFile file;
        ASSERT_TRUE(file.Open(dir.File("s").c_str(), CFile::modeCreate | CFile::modeReadWrite));
        EXPECT_FALSE(CBmpIO::Save(file, image, false, error));
        EXPECT_EQ(file.GetLength(), 0u);
    }
}

TEST(BmpWrite, SaveReplacesAnExistingFileWhole)
{
    TempDir dir;
    WriteFile(dir.File("a.bmp"), Bytes(5000, 0xAB));
    chmod(dir.File("a.bmp").c_str(), 0640);
    ImagePtr image = MakeImage(IM_GRAY, 1, 1, {9});
    CIO::IOError error;
    ASSERT_TRUE(CBmpIO::Save(CString(dir.File("a.bmp").c_str()), *image, false, error));
    EXPECT_EQ(ReadFile(dir.File("a.bmp")).size(), 1082u);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"a.bmp"});
    struct stat st;
    ASSERT_EQ(stat(dir.File("a.bmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(BmpWrite, CreateFailuresGiveCreateFailed)
{
    TempDir dir;
    ImagePtr image = MakeImage(IM_GRAY, 1, 1, {9});
    CIO::IOError error = CIO::IOERR_NONE;
    EXPECT_FALSE(CBmpIO::Save(CString(dir.File("no/such/folder.bmp").c_str()), *image, false, error));
    EXPECT_EQ(error, CIO::IOERR_CREATE_FAILED);
    EXPECT_FALSE(CBmpIO::Save(CString(dir.path.c_str()), *image, false, error));
    EXPECT_EQ(error, CIO::IOERR_CREATE_FAILED);
}

namespace {

// A file object whose writes throw once `budget` bytes have been written.
class FailingWriteFile : public CFile {
public:
    explicit FailingWriteFile(UINT budget) : budget_(budget) {}
    void Write(const void* buffer, UINT count) override
    {
        if (count > budget_)
            throw CFileException(CFileException::diskFull);
        budget_ -= count;
        CFile::Write(buffer, count);
    }

private:
    UINT budget_;
};

} // namespace

TEST(BmpWrite, PixelWriteErrorsReportNoMemoryAndHeaderErrorsReachTheCaller)
{
    TempDir dir;
    ImagePtr image = MakeImage(IM_GRAY, 4, 300, RandomBytes(4 * 300, 5));
    for (bool rle : {false, true}) {
        FailingWriteFile pixels(40 + 1024 + 100);
        ASSERT_TRUE(pixels.Open(dir.File("p").c_str(), CFile::modeCreate | CFile::modeReadWrite));
        CIO::IOError error = CIO::IOERR_NONE;
        EXPECT_FALSE(CBmpIO::Save(pixels, *image, rle, error));
        EXPECT_EQ(error, CIO::IOERR_NO_MEMORY);
    }
    FailingWriteFile header(10);
    ASSERT_TRUE(header.Open(dir.File("h").c_str(), CFile::modeCreate | CFile::modeReadWrite));
    CIO::IOError error = CIO::IOERR_BAD_PATH;
    EXPECT_THROW(CBmpIO::Save(header, *image, false, error), CFileException);
    EXPECT_EQ(error, CIO::IOERR_BAD_PATH);
}
