// Decoding RLE8 and RLE4 pixel data.
#include "BmpBuilder.h"

using namespace bmptest;

namespace {

// An RLE file of the given size whose table is a colour ramp (so IM_INDEXED), or a
// grey ramp reversed (IM_GRAY, grey = 255 - index) when grey is set.
BmpBuilder RleFile(int width, int height, Bytes stream, bool four = false, bool grey = false)
{
    BmpBuilder b;
    b.bitCount = four ? 4 : 8;
    b.compression = four ? 2 : 1;
    b.width = width;
    b.height = height;
    for (int i = 0; i < (four ? 16 : 256); ++i) {
        uint8_t g = static_cast<uint8_t>(255 - i);
        b.table.push_back(grey ? Rgb{g, g, g} : Rgb{static_cast<uint8_t>(i), 1, 2});
    }
    b.pixels = std::move(stream);
    return b;
}

struct Decoded {
    CIO::IOError error = CIO::IOERR_NOT_FOUND;
    ImagePtr image;
    Bytes pixels;
};

Decoded Decode(BmpBuilder const& b)
{
    Decoded d;
    d.image = LoadBytes(b.Build(), d.error);
    if (d.image)
        d.pixels = Pixels(*d.image);
    return d;
}

} // namespace

TEST(BmpRle, Rle8ItemsBuildRowsBottomUp)
{
    // 4 x 3: bottom row a run and a literal, middle row a delta, top row empty.
    Bytes stream = {2, 7, 0, 0,             // bottom row: 7 7 . .
                    0, 2, 1, 0, 1, 9, 0, 0, // middle row: . 9 . .
                    0, 3, 4, 5, 6, 0,       // top row: literal 4 5 6 (padded)
                    0, 0, 0, 1};
    Decoded d = Decode(RleFile(4, 3, stream));
    ASSERT_EQ(d.error, CIO::IOERR_NONE);
    EXPECT_EQ(d.image->GetMode(), IM_INDEXED);
    EXPECT_EQ(d.pixels, (Bytes{4, 5, 6, 0, 0, 9, 0, 0, 7, 7, 0, 0}));
}

TEST(BmpRle, UnsetPixelsAreZeroInGreyImagesToo)
{
    // Grey table: index 0 is white, yet pixels no item sets stay 0.
    // Bottom: 254 . ; delta up 1, right 1 (skips the middle row); top: . 254
    Bytes stream = {1, 1, 0, 0, 0, 2, 1, 1, 1, 1, 0, 0, 0, 1};
    Decoded d = Decode(RleFile(2, 3, stream, false, true));
    ASSERT_EQ(d.error, CIO::IOERR_NONE);
    EXPECT_EQ(d.image->GetMode(), IM_GRAY);
    EXPECT_EQ(d.pixels, (Bytes{0, 254, 0, 0, 254, 0}));
}

TEST(BmpRle, RunsAndDeltasStayInsideTheRow)
{
    const struct {
        const char* what;
        Bytes stream;
        bool ok;
    } cases[] = {
        {"run of 5 from width - 5", {0, 2, 3, 0, 5, 1, 0, 1}, true},
        {"run of 5 from width - 4", {0, 2, 4, 0, 5, 1, 0, 1}, false},
        {"literal past the edge", {0, 2, 6, 0, 0, 3, 1, 2, 3, 0, 0, 1}, false},
        {"delta to column width - 1", {0, 2, 7, 0, 1, 1, 0, 1}, true},
        {"delta to column width", {0, 2, 8, 0, 0, 1}, false},
        {"delta above the top", {0, 2, 0, 2, 0, 1}, false},
        {"delta to the top row", {0, 2, 0, 1, 8, 1, 0, 1}, true},
        {"stream ends early", {3, 1, 0, 0}, false},
        {"literal cut short", {0, 5, 1, 2}, false},
        {"delta cut short", {0, 2, 1}, false},
        {"empty stream", {}, false},
    };
    for (auto const& c : cases) {
        Decoded d = Decode(RleFile(8, 2, c.stream));
        EXPECT_EQ(d.error, c.ok ? CIO::IOERR_NONE : CIO::IOERR_BAD_FORMAT) << c.what;
        EXPECT_EQ(d.image != nullptr, c.ok) << c.what;
    }
}

TEST(BmpRle, TopRowCompletesTheImage)
{
    // End of bitmap right after the top row's end of line.
    Decoded d = Decode(RleFile(2, 2, {2, 1, 0, 0, 2, 3, 0, 0, 0, 1}));
    ASSERT_EQ(d.error, CIO::IOERR_NONE);
    EXPECT_EQ(d.pixels, (Bytes{3, 3, 1, 1}));

    // Data past the top row is ignored, even data that would be refused.
    d = Decode(RleFile(2, 2, {2, 1, 0, 0, 2, 3, 0, 0, 2, 9, 0, 0, 0, 0, 9, 9, 0, 2, 50, 50}));
    ASSERT_EQ(d.error, CIO::IOERR_NONE);
    EXPECT_EQ(d.pixels, (Bytes{3, 3, 1, 1}));
}

TEST(BmpRle, EarlyEndOfBitmapKeepsTheRowsSoFar)
{
    Decoded d = Decode(RleFile(3, 3, {3, 5, 0, 0, 1, 6, 0, 1}));
    ASSERT_EQ(d.error, CIO::IOERR_NONE);
    EXPECT_EQ(d.pixels, (Bytes{0, 0, 0, 6, 0, 0, 5, 5, 5}));
}

TEST(BmpRle, Rle4AlternatesNibbles)
{
    // Bottom: run of 5 of 0x12 -> 1 2 1 2 1; top: literal of 5 -> 3 4 5 6 7, bytes 34 56 70 padded to 4.
    Bytes stream = {5, 0x12, 0, 0, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 0, 1};
    Decoded d = Decode(RleFile(5, 2, stream, true));
    ASSERT_EQ(d.error, CIO::IOERR_NONE);
    EXPECT_EQ(d.pixels, (Bytes{3, 4, 5, 6, 7, 1, 2, 1, 2, 1}));

    // A literal of 3 takes two bytes; the run bound is the same as for RLE8.
    d = Decode(RleFile(4, 1, {0, 3, 0xAB, 0xC0, 1, 0xDD, 0, 1}, true));
    ASSERT_EQ(d.error, CIO::IOERR_NONE);
    EXPECT_EQ(d.pixels, (Bytes{10, 11, 12, 13}));
    d = Decode(RleFile(4, 1, {0, 3, 0xAB, 0xC0, 2, 0xDD, 0, 1}, true));
    EXPECT_EQ(d.error, CIO::IOERR_BAD_FORMAT);
}

TEST(BmpRle, CompressionSelectsTheDecoder)
{
    // RLE8 data in a 4-bit file: values index the 16-entry table or beyond.
    BmpBuilder b = RleFile(3, 1, {3, 200, 0, 1}, true);
    b.compression = 1;
    Decoded d = Decode(b);
    ASSERT_EQ(d.error, CIO::IOERR_NONE);
    EXPECT_EQ(d.pixels, (Bytes{200, 200, 200}));
}

TEST(BmpRle, TallImagesSpanStrips)
{
    // 300 rows of one run each, value = row from the bottom; then a delta over 40 rows.
    Bytes stream;
    for (int i = 0; i < 250; ++i) {
        stream.insert(stream.end(), {3, static_cast<uint8_t>(i), 0, 0});
    }
    stream.insert(stream.end(), {0, 2, 1, 40, 1, 77, 0, 1});
    Decoded d = Decode(RleFile(3, 300, stream));
    ASSERT_EQ(d.error, CIO::IOERR_NONE);
    for (int i = 0; i < 250; ++i) {
        const size_t top = static_cast<size_t>(299 - i) * 3;
        ASSERT_EQ(d.pixels[top], i) << i;
    }
    // Rows 250 to 289 from the bottom skipped; row 290 has 77 at column 1.
    for (int i = 250; i < 300; ++i) {
        const size_t top = static_cast<size_t>(299 - i) * 3;
        EXPECT_EQ(d.pixels[top + 1], i == 290 ? 77 : 0) << i;
    }
}

TEST(BmpRle, TruncatedStreamsFailCleanly)
{
    Bytes stream = {3, 1, 0, 4, 1, 2, 3, 4, 0, 0, 0, 2, 1, 1, 2, 9, 0, 0, 0, 1};
    Bytes whole = RleFile(7, 3, stream).Build();
    const size_t dataStart = whole.size() - stream.size();
    for (size_t n = 0; n < whole.size(); ++n) {
        CIO::IOError error = CIO::IOERR_NONE;
        ImagePtr image = LoadBytes(Bytes(whole.begin(), whole.begin() + n), error);
        // The top row ends at the last end of line: from there the end of bitmap is optional.
        const bool complete = n >= whole.size() - 2 && n > dataStart;
        EXPECT_EQ(image != nullptr, complete) << n;
        EXPECT_EQ(error, complete ? CIO::IOERR_NONE : CIO::IOERR_BAD_FORMAT) << n;
    }
}

TEST(BmpRle, StreamIsLeftAfterTheEndOfBitmap)
{
    BmpBuilder b = RleFile(2, 1, {2, 5, 0, 1});
    b.fileHeader = false;
    Bytes bytes = b.Build();
    bytes.insert(bytes.end(), 1000, 0xCC);
    TempDir dir;
    WriteFile(dir.File("d"), bytes);
    CFile file;
    ASSERT_TRUE(file.Open(dir.File("d").c_str(), CFile::modeRead));
    CIO::IOError error = CIO::IOERR_BAD_PATH;
    ImagePtr image(CBmpIO::Load(file, error));
    ASSERT_TRUE(image);
    EXPECT_EQ(file.GetPosition(), bytes.size() - 1000);
}

TEST(BmpRle, HugeDeclaredSizeWithTinyData)
{
    // The largest RLE image: its store is only touched where rows are decoded.
    CIO::IOError error = CIO::IOERR_NOT_FOUND;
    ImagePtr image = LoadBytes(RleFile(32766, 32766, {2, 1, 0, 1}).Build(), error);
    ASSERT_EQ(error, CIO::IOERR_NONE);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Width(), 32766);
    CPixMap corner(IM_INDEXED, 3, 1, true);
    image->GetBuf(0, 32765, corner, MM_CLIP, 1);
    EXPECT_EQ(corner.plane[0].data[0], 1);
    EXPECT_EQ(corner.plane[0].data[2], 0);
}

TEST(BmpRle, FastRle8PathMatchesThePlainPath)
{
    // Indexed images take the branch-free path for long streams; an identity grey
    // table sends the same stream through the plain path. Random valid streams with
    // every item kind (short and long runs and literals, deltas, early ends of line).
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        const int width = 40 + static_cast<int>(seed) * 37, height = 90;
        Bytes random = RandomBytes(1 << 20, seed);
        size_t r = 0;
        auto next = [&](int below) { return static_cast<int>(random[r++ % random.size()]) % below; };
        Bytes stream;
        int y = 0; // rows from the bottom
        int x = 0;
        while (y < height) {
            bool moved = false;
            while (x < width && !moved) {
                const int kind = next(10);
                const int room = width - x;
                if (kind < 4) { // run
                    const int m = 1 + (next(4) == 0 ? next(std::min(room, 255)) : next(std::min(room, 20)));
                    stream.insert(stream.end(), {static_cast<uint8_t>(m), static_cast<uint8_t>(next(256))});
                    x += m;
                } else if (kind < 8 && room >= 3) { // literal
                    const int n = 3 + (next(4) == 0 ? next(std::min(room, 255) - 2) : next(std::min(room, 30) - 2));
                    stream.insert(stream.end(), {0, static_cast<uint8_t>(n)});
                    for (int i = 0; i < n + (n & 1); ++i)
                        stream.push_back(static_cast<uint8_t>(next(256)));
                    x += n;
                } else if (kind == 8 && room > 1) { // delta right, sometimes up
                    const int dx = next(room - 1) + 1;
                    const int dy = y + 1 < height && next(3) == 0 ? 1 : 0;
                    stream.insert(stream.end(), {0, 2, static_cast<uint8_t>(dx), static_cast<uint8_t>(dy)});
                    x += dx;
                    if (dy) {
                        ++y;
                        moved = true;
                    }
                } else if (kind == 9) { // end the row early
                    break;
                }
            }
            if (!moved) {
                stream.insert(stream.end(), {0, 0});
                ++y;
                x = 0;
            }
        }
        stream.insert(stream.end(), {0, 1});

        BmpBuilder indexed = RleFile(width, height, stream);
        BmpBuilder grey = indexed;
        for (int i = 0; i < 256; ++i)
            grey.table[i] = Rgb{static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
        Decoded fast = Decode(indexed), plain = Decode(grey);
        ASSERT_EQ(fast.error, CIO::IOERR_NONE) << seed;
        ASSERT_EQ(plain.error, CIO::IOERR_NONE) << seed;
        EXPECT_EQ(fast.image->GetMode(), IM_INDEXED);
        EXPECT_EQ(plain.image->GetMode(), IM_GRAY);
        EXPECT_EQ(fast.pixels, plain.pixels) << seed;
    }
}
