#include "display/Display.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

// A memory device context that also keeps the last bitmap drawn onto it.
struct RecordingDC : CMemoryDC {
    using CMemoryDC::CMemoryDC;
    struct Call {
        int xDest, yDest;
        DWORD width, height;
        int xSrc, ySrc;
        UINT startScan, scanLines;
        const void* bits;
        BITMAPINFO info;
        UINT colorUse;
    };
    std::vector<Call> calls;

    int SetDIBitsToDevice(int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc, UINT startScan,
                          UINT scanLines, const void* bits, const BITMAPINFO* info, UINT colorUse) override
    {
        calls.push_back(Call{xDest, yDest, width, height, xSrc, ySrc, startScan, scanLines, bits, *info, colorUse});
        return HDC__::SetDIBitsToDevice(xDest, yDest, width, height, xSrc, ySrc, startScan, scanLines, bits, info,
                                        colorUse);
    }
};

constexpr std::uint32_t kBackground = 0x00ABCDEF;

int StrideOf(IMAGE_MODE mode, int bufferWidth)
{
    return mode == IM_RGB ? (3 * bufferWidth + 3) / 4 * 4 : (bufferWidth + 3) / 4 * 4;
}

std::vector<unsigned char> RandomBuffer(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<unsigned char> v(n);
    for (auto& b : v)
        b = static_cast<unsigned char>(rng());
    return v;
}

// The colour that buffer pixel (x, y) should show, as 0x00RRGGBB.
std::uint32_t Expected(IMAGE_MODE mode, std::vector<unsigned char> const& buffer, int stride, int x, int y,
                       CLut const* lut)
{
    const unsigned char* p = buffer.data() + static_cast<std::size_t>(y) * stride;
    if (mode == IM_RGB) {
        p += 3 * x;
        return std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
    }
    unsigned v = p[x];
    if (mode == IM_INDEXED && lut) {
        LutColor const& c = (*lut)[v];
        return std::uint32_t(c.red) << 16 | std::uint32_t(c.green) << 8 | c.blue;
    }
    return v << 16 | v << 8 | v;
}

CLut SampleLut()
{
    CLut lut;
    for (unsigned i = 0; i < 256; ++i)
        lut[i] = LutColor{static_cast<unsigned char>(i * 7), static_cast<unsigned char>(255 - i),
                          static_cast<unsigned char>(i ^ 0x5A)};
    return lut;
}

// Checks every pixel of the surface: the drawn rectangle shows the buffer, the rest
// the background.
void ExpectDrawn(CMemoryDC const& dc, IMAGE_MODE mode, std::vector<unsigned char> const& buffer, int stride,
                 int xDest, int yDest, int width, int rows, CLut const* lut)
{
    for (int y = 0; y < dc.Height(); ++y)
        for (int x = 0; x < dc.Width(); ++x) {
            int bx = x - xDest, by = y - yDest;
            bool inside = bx >= 0 && bx < width && by >= 0 && by < rows;
            std::uint32_t want = inside ? Expected(mode, buffer, stride, bx, by, lut) : kBackground;
            ASSERT_EQ(dc.Pixel(x, y), want) << "surface pixel " << x << "," << y << " mode " << mode;
        }
}

} // namespace

TEST(BltBuf, DescribesTheBufferAsATopDownBitmap)
{
    struct Case {
        IMAGE_MODE mode;
        int bufferWidth;
        WORD bitCount;
        DWORD stride;
    } cases[] = {
        {IM_GRAY, 4, 8, 4},     {IM_GRAY, 5, 8, 8},   {IM_INDEXED, 4, 8, 4},
        {IM_INDEXED, 5, 8, 8}, {IM_RGB, 4, 24, 12}, {IM_RGB, 5, 24, 16},
    };
    for (auto const& c : cases) {
        RecordingDC dc(16, 16);
        CLut lut;
        std::vector<unsigned char> buffer(c.stride * 10);
        CDisplay().BltBuf(&dc, 2, 3, c.bufferWidth, 10, buffer.data(), 77, 88, c.bufferWidth, c.mode, &lut);
        ASSERT_EQ(dc.calls.size(), 1u) << c.mode;
        auto const& call = dc.calls[0];
        BITMAPINFOHEADER const& h = call.info.bmiHeader;
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(h.biWidth, c.bufferWidth);
        EXPECT_EQ(h.biHeight, -10);
        EXPECT_EQ(h.biPlanes, 1);
        EXPECT_EQ(h.biBitCount, c.bitCount) << c.mode;
        EXPECT_EQ(h.biCompression, 0u);
        EXPECT_EQ(h.biSizeImage, c.stride * 10) << c.mode << " width " << c.bufferWidth;
        EXPECT_EQ(h.biXPelsPerMeter, 0);
        EXPECT_EQ(h.biYPelsPerMeter, 0);
        EXPECT_EQ(h.biClrUsed, 0u);
        EXPECT_EQ(h.biClrImportant, 0u);
        EXPECT_EQ(call.xDest, 2);
        EXPECT_EQ(call.yDest, 3);
        EXPECT_EQ(call.width, DWORD(c.bufferWidth));
        EXPECT_EQ(call.height, 10u);
        EXPECT_EQ(call.xSrc, 0);
        EXPECT_EQ(call.ySrc, 0);
        EXPECT_EQ(call.startScan, 0u);
        EXPECT_EQ(call.scanLines, 10u);
        EXPECT_EQ(call.bits, buffer.data());
        EXPECT_EQ(call.colorUse, UINT(DIB_RGB_COLORS));
    }
}

TEST(BltBuf, ColourTableComesFromTheLutOrIsAGreyRamp)
{
    CLut lut;
    lut[7] = LutColor{10, 20, 30};
    lut[200] = LutColor{1, 2, 3};
    lut.SetColors(8); // entry 200 lies beyond the colour count and is copied all the same
    unsigned char pixel[4] = {7, 0, 0, 0};

    RecordingDC indexed(4, 4);
    CDisplay().BltBuf(&indexed, 0, 0, 1, 1, pixel, 0, 0, 1, IM_INDEXED, &lut);
    ASSERT_EQ(indexed.calls.size(), 1u);
    RGBQUAD const* table = indexed.calls[0].info.bmiColors;
    EXPECT_EQ(table[7].rgbRed, 10);
    EXPECT_EQ(table[7].rgbGreen, 20);
    EXPECT_EQ(table[7].rgbBlue, 30);
    EXPECT_EQ(table[7].rgbReserved, 0);
    EXPECT_EQ(table[200].rgbRed, 1);
    EXPECT_EQ(table[200].rgbGreen, 2);
    EXPECT_EQ(table[200].rgbBlue, 3);
    EXPECT_EQ(table[0].rgbRed + table[0].rgbGreen + table[0].rgbBlue + table[0].rgbReserved, 0);
    EXPECT_EQ(indexed.Pixel(0, 0), 0x000A141Eu);

    // Grey pixels, and palette pixels without a table, show grey levels.
    for (IMAGE_MODE mode : {IM_GRAY, IM_INDEXED}) {
        RecordingDC dc(4, 4);
        CDisplay().BltBuf(&dc, 0, 0, 1, 1, pixel, 0, 0, 1, mode, nullptr);
        ASSERT_EQ(dc.calls.size(), 1u);
        for (int i = 0; i < 256; ++i) {
            RGBQUAD const& q = dc.calls[0].info.bmiColors[i];
            ASSERT_TRUE(q.rgbRed == i && q.rgbGreen == i && q.rgbBlue == i && q.rgbReserved == 0) << mode << " " << i;
        }
        EXPECT_EQ(dc.Pixel(0, 0), 0x00070707u);
    }
}

TEST(BltBuf, DrawsEveryPixelOfTheBuffer)
{
    CLut lut = SampleLut();
    for (IMAGE_MODE mode : {IM_GRAY, IM_INDEXED, IM_RGB})
        for (int bufferWidth : {4, 5, 7}) {
            const int rows = 10, stride = StrideOf(mode, bufferWidth);
            auto buffer = RandomBuffer(static_cast<std::size_t>(stride) * rows, mode * 100 + bufferWidth);
            CMemoryDC dc(16, 16, kBackground);
            CDisplay().BltBuf(&dc, 3, 2, bufferWidth, rows, buffer.data(), 0, 0, bufferWidth, mode, &lut);
            ExpectDrawn(dc, mode, buffer, stride, 3, 2, bufferWidth, rows, &lut);
        }
}

TEST(BltBuf, NarrowerWidthDrawsTheLeftPartOfEachRow)
{
    CLut lut = SampleLut();
    for (IMAGE_MODE mode : {IM_GRAY, IM_INDEXED, IM_RGB})
        for (int width : {1, 3, 4}) {
            const int bufferWidth = 5, rows = 6, stride = StrideOf(mode, bufferWidth);
            auto buffer = RandomBuffer(static_cast<std::size_t>(stride) * rows, mode * 10 + width);
            CMemoryDC dc(12, 12, kBackground);
            CDisplay().BltBuf(&dc, 1, 4, width, rows, buffer.data(), 0, 0, bufferWidth, mode, &lut);
            ExpectDrawn(dc, mode, buffer, stride, 1, 4, width, rows, &lut);
        }
}

TEST(BltBuf, WiderWidthStopsAtTheBufferWidth)
{
    const int rows = 3, stride = 8;
    auto buffer = RandomBuffer(stride * rows, 5);
    CMemoryDC dc(12, 6, kBackground);
    CDisplay().BltBuf(&dc, 0, 0, 9, rows, buffer.data(), 0, 0, 5, IM_GRAY, nullptr);
    ExpectDrawn(dc, IM_GRAY, buffer, stride, 0, 0, 5, rows, nullptr);
}

TEST(BltBuf, ClipsToTheDeviceContext)
{
    CLut lut = SampleLut();
    struct Case {
        int x, y;
    } cases[] = {{-2, -3}, {6, 5}, {-10, 0}, {0, 40}};
    for (auto const& c : cases) {
        const int bufferWidth = 5, rows = 7, stride = StrideOf(IM_RGB, bufferWidth);
        auto buffer = RandomBuffer(static_cast<std::size_t>(stride) * rows, 9);
        CMemoryDC dc(8, 8, kBackground);
        CDisplay().BltBuf(&dc, c.x, c.y, bufferWidth, rows, buffer.data(), 0, 0, bufferWidth, IM_RGB, &lut);
        ExpectDrawn(dc, IM_RGB, buffer, stride, c.x, c.y, bufferWidth, rows, &lut);
    }
}

TEST(BltBuf, CdcOverloadDrawsWhatTheHandleOverloadDraws)
{
    CLut lut = SampleLut();
    for (IMAGE_MODE mode : {IM_GRAY, IM_INDEXED, IM_RGB}) {
        const int bufferWidth = 6, rows = 5, stride = StrideOf(mode, bufferWidth);
        auto buffer = RandomBuffer(static_cast<std::size_t>(stride) * rows, 21);
        RecordingDC direct(10, 10, kBackground), wrapped(10, 10, kBackground);
        CDisplay display;
        display.BltBuf(&direct, 1, 2, 4, rows, buffer.data(), 0, 0, bufferWidth, mode, &lut);
        CDC dc(&wrapped);
        display.BltBuf(&dc, 1, 2, 4, rows, buffer.data(), 0, 0, bufferWidth, mode, &lut);
        ASSERT_EQ(direct.calls.size(), 1u);
        ASSERT_EQ(wrapped.calls.size(), 1u);
        EXPECT_EQ(std::memcmp(&direct.calls[0].info, &wrapped.calls[0].info, sizeof(BITMAPINFO)), 0);
        for (int y = 0; y < 10; ++y)
            EXPECT_EQ(std::memcmp(direct.Row(y), wrapped.Row(y), 10 * 4), 0) << y;
    }
}

TEST(BltBuf, ModesWithoutABitmapFormAndEmptyBuffersDrawNothing)
{
    CLut lut = SampleLut();
    std::vector<unsigned char> buffer(64 * 4, 0x55);
    const IMAGE_MODE modes[] = {IM_HLS,
                                IM_HSV,
                                IM_GRAY16,
                                IM_RGB16,
                                IM_YCC,
                                IM_CHANNELS8,
                                IM_CHANNELS16,
                                IM_MASK,
                                IM_MASK16,
                                IM_GRAY | IM_ALPHA,
                                IM_INDEXED | IM_ALPHA,
                                IM_RGB | IM_ALPHA,
                                IM_MASK | IM_ALPHA,
                                static_cast<IMAGE_MODE>(0),
                                static_cast<IMAGE_MODE>(4)};
    for (IMAGE_MODE mode : modes) {
        RecordingDC dc(8, 8, kBackground);
        CDisplay().BltBuf(&dc, 0, 0, 4, 4, buffer.data(), 0, 0, 4, mode, &lut);
        EXPECT_TRUE(dc.calls.empty()) << mode;
        EXPECT_EQ(dc.Pixel(0, 0), kBackground) << mode;
    }
    // No rows, no columns, or a null device: nothing happens.
    for (int rows : {0, -3}) {
        RecordingDC dc(8, 8, kBackground);
        CDisplay().BltBuf(&dc, 0, 0, 4, rows, buffer.data(), 0, 0, 4, IM_GRAY, nullptr);
        EXPECT_TRUE(dc.calls.empty()) << rows;
    }
    RecordingDC dc(8, 8, kBackground);
    CDisplay().BltBuf(&dc, 0, 0, 0, 4, buffer.data(), 0, 0, 4, IM_GRAY, nullptr);
    EXPECT_TRUE(dc.calls.empty());
    CDisplay().BltBuf(static_cast<HDC>(nullptr), 0, 0, 4, 4, buffer.data(), 0, 0, 4, IM_GRAY, nullptr);
    CDC empty;
    CDisplay().BltBuf(&empty, 0, 0, 4, 4, buffer.data(), 0, 0, 4, IM_GRAY, nullptr);
}
