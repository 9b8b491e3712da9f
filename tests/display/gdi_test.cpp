// SetDIBitsToDevice beyond the bitmaps CDisplay builds: bottom-up rows, source
// rectangles, bands of scan lines, 32-bit pixels, short colour tables, refusals.
#include "platform/Gdi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t kBackground = 0x00FF00FF;

// An 8-bit bitmap whose pixel (column c, row t from the top) has index 10 * t + c;
// its palette maps index i to blue i, so a drawn pixel reads back as its index.
struct IndexBitmap {
    BITMAPINFO info;
    std::vector<unsigned char> bits;
    int width, height, stride;

    IndexBitmap(int w, int h, bool topDown) : width(w), height(h), stride((w + 3) / 4 * 4)
    {
        std::memset(&info, 0, sizeof info);
        info.bmiHeader.biSize = 40;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = topDown ? -h : h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 8;
        for (int i = 0; i < 256; ++i)
            info.bmiColors[i] = RGBQUAD{BYTE(i), 0, 0, 0};
        bits.assign(static_cast<std::size_t>(stride) * h, 0);
        for (int t = 0; t < h; ++t) {
            int stored = topDown ? t : h - 1 - t;
            for (int c = 0; c < w; ++c)
                bits[static_cast<std::size_t>(stored) * stride + c] = static_cast<unsigned char>(10 * t + c);
        }
    }
};

} // namespace

TEST(SetDIBitsToDevice, BottomUpAndTopDownShowTheSameImage)
{
    for (bool topDown : {false, true}) {
        IndexBitmap bmp(5, 4, topDown);
        CMemoryDC dc(6, 6, kBackground);
        EXPECT_EQ(SetDIBitsToDevice(&dc, 1, 1, 5, 4, 0, 0, 0, 4, bmp.bits.data(), &bmp.info, DIB_RGB_COLORS), 4);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x) {
                bool inside = x >= 1 && y >= 1 && y < 5;
                std::uint32_t want = inside ? std::uint32_t(10 * (y - 1) + (x - 1)) : kBackground;
                ASSERT_EQ(dc.Pixel(x, y), want) << topDown << " " << x << "," << y;
            }
    }
}

TEST(SetDIBitsToDevice, SourceRectangleOfABottomUpBitmapStartsAtItsLowerLeftCorner)
{
    IndexBitmap bmp(5, 4, false);
    CMemoryDC dc(4, 4, kBackground);
    // 2 x 2 pixels with the lower-left corner at column 1, scan line 1 (the row 2 from the top).
    SetDIBitsToDevice(&dc, 0, 0, 2, 2, 1, 1, 0, 4, bmp.bits.data(), &bmp.info, DIB_RGB_COLORS);
    EXPECT_EQ(dc.Pixel(0, 0), 11u);
    EXPECT_EQ(dc.Pixel(1, 0), 12u);
    EXPECT_EQ(dc.Pixel(0, 1), 21u);
    EXPECT_EQ(dc.Pixel(1, 1), 22u);
    EXPECT_EQ(dc.Pixel(2, 0), kBackground);
    EXPECT_EQ(dc.Pixel(0, 2), kBackground);
}

TEST(SetDIBitsToDevice, BandOfScanLinesDrawsOnlyThoseRows)
{
    IndexBitmap bmp(3, 4, false);
    CMemoryDC dc(3, 4, kBackground);
    // Scan lines 1 and 2 (rows 2 and 1 from the top), given on their own.
    const unsigned char* band = bmp.bits.data() + bmp.stride;
    EXPECT_EQ(SetDIBitsToDevice(&dc, 0, 0, 3, 4, 0, 0, 1, 2, band, &bmp.info, DIB_RGB_COLORS), 2);
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(dc.Pixel(x, 0), kBackground);
        EXPECT_EQ(dc.Pixel(x, 1), std::uint32_t(10 + x));
        EXPECT_EQ(dc.Pixel(x, 2), std::uint32_t(20 + x));
        EXPECT_EQ(dc.Pixel(x, 3), kBackground);
    }
}

TEST(SetDIBitsToDevice, ThirtyTwoBitPixelsAndShortColourTables)
{
    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    info.bmiHeader = BITMAPINFOHEADER{40, 2, -1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const unsigned char bgrx[8] = {1, 2, 3, 99, 4, 5, 6, 99};
    CMemoryDC dc(2, 1, kBackground);
    SetDIBitsToDevice(&dc, 0, 0, 2, 1, 0, 0, 0, 1, bgrx, &info, DIB_RGB_COLORS);
    EXPECT_EQ(dc.Pixel(0, 0), 0x00030201u);
    EXPECT_EQ(dc.Pixel(1, 0), 0x00060504u);

    info.bmiHeader = BITMAPINFOHEADER{40, 2, -1, 1, 8, BI_RGB, 0, 0, 0, 2, 0};
    info.bmiColors[1] = RGBQUAD{9, 8, 7, 0};
    info.bmiColors[5] = RGBQUAD{1, 1, 1, 0};
    const unsigned char indices[4] = {1, 5, 0, 0};
    SetDIBitsToDevice(&dc, 0, 0, 2, 1, 0, 0, 0, 1, indices, &info, DIB_RGB_COLORS);
    EXPECT_EQ(dc.Pixel(0, 0), 0x00070809u);
    EXPECT_EQ(dc.Pixel(1, 0), 0u) << "an index beyond biClrUsed draws black";
}

TEST(SetDIBitsToDevice, RefusesWhatItCannotDraw)
{
    IndexBitmap bmp(2, 2, true);
    auto headerWith = [&](auto change) {
        BITMAPINFO info = bmp.info;
        change(info.bmiHeader);
        return info;
    };
    const BITMAPINFO bad[] = {
        headerWith([](BITMAPINFOHEADER& h) { h.biSize = 12; }),
        headerWith([](BITMAPINFOHEADER& h) { h.biPlanes = 2; }),
        headerWith([](BITMAPINFOHEADER& h) { h.biBitCount = 4; }),
        headerWith([](BITMAPINFOHEADER& h) { h.biBitCount = 16; }),
        headerWith([](BITMAPINFOHEADER& h) { h.biCompression = 1; }),
        headerWith([](BITMAPINFOHEADER& h) { h.biWidth = 0; }),
        headerWith([](BITMAPINFOHEADER& h) { h.biWidth = -2; }),
        headerWith([](BITMAPINFOHEADER& h) { h.biHeight = 0; }),
    };
    CMemoryDC dc(2, 2, kBackground);
    for (auto const& info : bad)
        EXPECT_EQ(SetDIBitsToDevice(&dc, 0, 0, 2, 2, 0, 0, 0, 2, bmp.bits.data(), &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(SetDIBitsToDevice(&dc, 0, 0, 2, 2, 0, 0, 0, 2, bmp.bits.data(), &bmp.info, DIB_PAL_COLORS), 0);
    EXPECT_EQ(SetDIBitsToDevice(&dc, 0, 0, 2, 2, 0, 0, 0, 2, nullptr, &bmp.info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(SetDIBitsToDevice(&dc, 0, 0, 2, 2, 0, 0, 0, 2, bmp.bits.data(), nullptr, DIB_RGB_COLORS), 0);
    EXPECT_EQ(SetDIBitsToDevice(nullptr, 0, 0, 2, 2, 0, 0, 0, 2, bmp.bits.data(), &bmp.info, DIB_RGB_COLORS), 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(dc.Pixel(x, y), kBackground);
}

TEST(SetDIBitsToDevice, HugeRectanglesAreClippedNotRead)
{
    IndexBitmap bmp(3, 3, true);
    CMemoryDC dc(4, 4, kBackground);
    // Width and height far beyond the bitmap and the surface, source offsets outside it.
    SetDIBitsToDevice(&dc, -1, -1, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0, 0, 3, bmp.bits.data(), &bmp.info, DIB_RGB_COLORS);
    EXPECT_EQ(dc.Pixel(0, 0), 11u);
    EXPECT_EQ(dc.Pixel(1, 1), 22u);
    EXPECT_EQ(dc.Pixel(2, 2), kBackground);
    CMemoryDC other(4, 4, kBackground);
    SetDIBitsToDevice(&other, 0, 0, 4, 4, 100, -100, 0, 3, bmp.bits.data(), &bmp.info, DIB_RGB_COLORS);
    EXPECT_EQ(other.Pixel(0, 0), kBackground);
}
