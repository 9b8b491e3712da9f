// The image model: mode tables, CPixMap layout, CLut/CColor, and CImage tile
// transfers in every map layout against a pixel pattern known at every position.
#include "image/Image.h"
#include "image/Planes.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

TEST(ModeTables, PlanesAndBitsOfEveryMode)
{
    struct Row {
        IMAGE_MODE mode;
        int planes, bits;
    } const rows[] = {
        {IM_GRAY, 1, 8},           {IM_INDEXED, 1, 8},         {IM_RGB, 3, 8},
        {IM_HLS, 3, 8},            {IM_HSV, 3, 8},             {IM_GRAY16, 1, 16},
        {IM_RGB16, 3, 16},         {IM_YCC, 3, 8},             {IM_CHANNELS8, 0, 8},
        {IM_CHANNELS16, 0, 16},    {IM_CHANNELS32, 0, 32},     {IM_CHANNELS64, 0, 64},
        {IM_MASK, 0, 8},           {IM_MASK16, 0, 16},         {IM_GRAY | IM_ALPHA, 2, 8},
        {IM_INDEXED | IM_ALPHA, 2, 8}, {IM_RGB | IM_ALPHA, 4, 8}, {IM_HLS | IM_ALPHA, 4, 8},
        {IM_HSV | IM_ALPHA, 4, 8}, {IM_YCC | IM_ALPHA, 4, 8},  {IM_GRAY16 | IM_ALPHA, 2, 16},
        {IM_RGB16 | IM_ALPHA, 4, 16}, {IM_MASK | IM_ALPHA, 1, 8}, {IM_MASK16 | IM_ALPHA, 1, 16},
        {IM_CHANNELS8 | IM_ALPHA, 0, 0}, {static_cast<IMAGE_MODE>(4), 0, 0}, {static_cast<IMAGE_MODE>(9), 0, 0},
    };
    for (auto const& r : rows) {
        EXPECT_EQ(ModePlaneCount(r.mode), r.planes) << r.mode;
        EXPECT_EQ(ModeBitsPerSample(r.mode), r.bits) << r.mode;
        EXPECT_EQ(IsChannelsMode(r.mode), r.mode >= IM_CHANNELS8 && r.mode <= IM_CHANNELS64) << r.mode;
    }
}

TEST(PixMap, LayoutOfTheDocumentedCases)
{
    CPixMap none(static_cast<IMAGE_MODE>(4), 10, 10, true);
    EXPECT_EQ(none.planes, 0);
    EXPECT_EQ(none.buffer[0].ptr, nullptr);

    CPixMap channels(IM_CHANNELS16, 10, 2, false, 3);
    EXPECT_EQ(channels.planes, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(channels.plane[i].rowStride, 20);
        EXPECT_EQ(channels.plane[i].step, 1);
        EXPECT_NE(channels.plane[i].data, nullptr);
    }
    EXPECT_EQ(channels.plane[3].rowStride, 0);
    EXPECT_EQ(channels.plane[3].data, nullptr);

    CPixMap rgba(IM_RGB | IM_ALPHA, 5, 3, true);
    EXPECT_EQ(rgba.planes, 4);
    EXPECT_EQ(rgba.plane[0].step, 4);
    EXPECT_EQ(rgba.plane[0].rowStride, 20);
    EXPECT_EQ(rgba.size[0], 60);
    EXPECT_EQ(rgba.plane[1].data, nullptr);

    EXPECT_EQ(CPixMap(IM_GRAY, 1, 1, false).plane[0].rowStride, 4);
    EXPECT_EQ(CPixMap(IM_RGB, 3, 1, true).plane[0].rowStride, 12);

    // Four descriptors hold at most four planes: a larger channel count gets none.
    CPixMap tooMany(IM_CHANNELS8, 4, 4, false, 5);
    EXPECT_EQ(tooMany.planes, 0);
    EXPECT_EQ(tooMany.buffer[0].ptr, nullptr);
}

TEST(Lut, IndexingCountsEntriesAndCopiesKeepThem)
{
    CLut lut;
    EXPECT_EQ(lut.GetColors(), 0);
    lut[9] = LutColor{1, 2, 3};
    EXPECT_EQ(lut.GetColors(), 10);
    lut[3].red = 7;
    EXPECT_EQ(lut.GetColors(), 10);
    CLut copy(lut);
    CLut const& view = copy;
    EXPECT_EQ(view.GetColors(), 10);
    EXPECT_EQ(view[9].blue, 3);
    EXPECT_EQ(view[3].red, 7);
}

TEST(Color, DefaultIsBlackAndCopiesKeepModeAndComponents)
{
    CColor black;
    EXPECT_EQ(black.GetMode(), IM_RGB);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(black.GetColor()[i], 0);
    const unsigned char c[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    CColor custom(IM_RGB16 | IM_ALPHA, c, 9);
    CColor copy = black;
    copy = custom;
    EXPECT_EQ(copy.GetMode(), IM_RGB16 | IM_ALPHA);
    EXPECT_EQ(copy.GetColor()[7], 8);
    EXPECT_EQ(CColor(CN_WHITE).GetColor()[2], 255);
}

namespace {

// The sample of plane p at image position (x, y) in the test pattern.
unsigned Pattern(int x, int y, int p, int bits)
{
    unsigned v = static_cast<unsigned>(x * 7919 + y * 104729 + p * 15485863);
    v ^= v >> 7;
    return bits == 8 ? (v & 0xFF) : (v & 0xFFFF);
}

// A map of a given layout over an independent buffer: interleaved, planar, either
// row direction, and planar with a sample step of 2.
enum Layout { Interleaved, Planar, InterleavedBottomUp, PlanarBottomUp, PlanarStep2 };

struct TestMap {
    CPixMap map;
    std::vector<unsigned char> wide[4]; // storage for PlanarStep2
    TestMap(IMAGE_MODE mode, int w, int h, Layout layout)
        : map(mode, w, h, layout == Interleaved || layout == InterleavedBottomUp)
    {
        int n = layout == Interleaved || layout == InterleavedBottomUp ? 1 : map.planes;
        for (int i = 0; i < n; ++i) {
            if (layout == InterleavedBottomUp || layout == PlanarBottomUp) {
                map.plane[i].data += (h - 1) * map.plane[i].rowStride;
                map.plane[i].rowStride = -map.plane[i].rowStride;
            } else if (layout == PlanarStep2) {
                int bytes = map.bits / 8;
                wide[i].assign(static_cast<size_t>(w) * h * 2 * bytes, 0);
                map.plane[i] = PlaneDesc{wide[i].data(), 2, w * 2 * bytes};
            }
        }
    }
    // Sample of plane p at map position (x, y).
    unsigned char* At(int x, int y, int p)
    {
        int bytes = map.bits / 8;
        if (map.interleaved)
            return map.plane[0].data + static_cast<long>(y) * map.plane[0].rowStride +
                   (static_cast<long>(x) * map.plane[0].step + p) * bytes;
        return map.plane[p].data + static_cast<long>(y) * map.plane[p].rowStride +
               static_cast<long>(x) * map.plane[p].step * bytes;
    }
    unsigned Get(int x, int y, int p)
    {
        unsigned char* s = At(x, y, p);
        return map.bits == 8 ? s[0] : static_cast<unsigned>(s[0] | s[1] << 8);
    }
    void Put(int x, int y, int p, unsigned v)
    {
        unsigned char* s = At(x, y, p);
        s[0] = static_cast<unsigned char>(v);
        if (map.bits == 16)
            s[1] = static_cast<unsigned char>(v >> 8);
    }
};

// Builds a pattern image through SetBuf, tile by tile in the given layout.
std::unique_ptr<CImage> PatternImage(IMAGE_MODE mode, int w, int h, Layout layout)
{
    auto image = std::make_unique<CImage>(mode, w, h, 72.0);
    const int tile = 37;
    for (int ty = 0; ty < h; ty += tile) {
        for (int tx = 0; tx < w; tx += tile) {
            TestMap t(mode, tile, tile, layout);
            for (int y = 0; y < tile; ++y)
                for (int x = 0; x < tile; ++x)
                    for (int p = 0; p < t.map.planes; ++p)
                        t.Put(x, y, p, Pattern(tx + x, ty + y, p, t.map.bits));
            image->SetBuf(tx, ty, t.map, MM_CLIP, 1);
        }
    }
    return image;
}

} // namespace

TEST(ImageTransfer, EveryLayoutRoundTripsThroughThePattern)
{
    const IMAGE_MODE modes[] = {IM_GRAY, IM_RGB, IM_RGB | IM_ALPHA, IM_GRAY | IM_ALPHA, IM_RGB16, IM_GRAY16 | IM_ALPHA,
                                IM_YCC | IM_ALPHA};
    const Layout layouts[] = {Interleaved, Planar, InterleavedBottomUp, PlanarBottomUp, PlanarStep2};
    std::mt19937 rng(42);
    for (IMAGE_MODE mode : modes) {
        for (Layout in : layouts) {
            auto image = PatternImage(mode, 90, 61, in);
            for (Layout out : layouts) {
                // Rectangles inside the image and across every edge (method 0 clips).
                for (int trial = 0; trial < 6; ++trial) {
                    int w = 1 + static_cast<int>(rng() % 60), h = 1 + static_cast<int>(rng() % 60);
                    int x = static_cast<int>(rng() % 130) - 20, y = static_cast<int>(rng() % 100) - 20;
                    TestMap t(mode, w, h, out);
                    const unsigned sentinel = 0xA5A5 & (t.map.bits == 8 ? 0xFF : 0xFFFF);
                    for (int yy = 0; yy < h; ++yy)
                        for (int xx = 0; xx < w; ++xx)
                            for (int p = 0; p < t.map.planes; ++p)
                                t.Put(xx, yy, p, sentinel);
                    image->GetBuf(x, y, t.map, MM_CLIP, 1);
                    for (int yy = 0; yy < h; ++yy) {
                        for (int xx = 0; xx < w; ++xx) {
                            bool inside = x + xx >= 0 && x + xx < 90 && y + yy >= 0 && y + yy < 61;
                            for (int p = 0; p < t.map.planes; ++p) {
                                unsigned want = inside ? Pattern(x + xx, y + yy, p, t.map.bits) : sentinel;
                                ASSERT_EQ(t.Get(xx, yy, p), want)
                                    << "mode " << mode << " layouts " << in << "/" << out << " at " << x + xx << ","
                                    << y + yy << " plane " << p;
                            }
                        }
                    }
                }
            }
        }
    }
}

TEST(ImageTransfer, OutsideSamplesTakeMaskColourOrZero)
{
    auto image = PatternImage(IM_RGB16 | IM_ALPHA, 10, 10, Planar);
    const unsigned char c[8] = {0x01, 0x10, 0x02, 0x20, 0x03, 0x30, 0x04, 0x40};
    image->SetMaskColor(CColor(IM_RGB16 | IM_ALPHA, c, 8));
    for (maskMethod method : {MM_MASK_COLOR, MM_ZERO}) {
        for (Layout layout : {Interleaved, Planar}) {
            TestMap t(IM_RGB16 | IM_ALPHA, 14, 14, layout);
            image->GetBuf(-2, -3, t.map, method, 1);
            for (int y = 0; y < 14; ++y) {
                for (int x = 0; x < 14; ++x) {
                    int ix = x - 2, iy = y - 3;
                    bool inside = ix >= 0 && ix < 10 && iy >= 0 && iy < 10;
                    for (int p = 0; p < 4; ++p) {
                        unsigned outside = method == MM_MASK_COLOR ? static_cast<unsigned>(c[2 * p] | c[2 * p + 1] << 8) : 0;
                        ASSERT_EQ(t.Get(x, y, p), inside ? Pattern(ix, iy, p, 16) : outside) << x << "," << y;
                    }
                }
            }
        }
    }
}

TEST(ImageTransfer, RectangleWhollyOutsideIsFilledOrLeftAlone)
{
    CImage image(IM_GRAY, 4, 4, 0.0);
    CPixMap map(IM_GRAY, 3, 3, true);
    FillBytes(map.plane[0].data, 9, static_cast<unsigned>(map.size[0]));
    image.GetBuf(100, -50, map, MM_CLIP, 1);
    EXPECT_EQ(map.plane[0].data[0], 9);
    image.SetBuf(-10, 2, map, MM_CLIP, 1); // nothing of it inside the image
    image.GetBuf(100, -50, map, MM_ZERO, 1);
    EXPECT_EQ(map.plane[0].data[2 * map.plane[0].rowStride + 2], 0);
}

TEST(ImageConstruction, AccessorsAndEmptyImages)
{
    CImage image(IM_INDEXED | IM_ALPHA, 7, 5, 96.5);
    EXPECT_EQ(image.GetMode(), IM_INDEXED | IM_ALPHA);
    EXPECT_TRUE(image.HasAlpha());
    EXPECT_EQ(image.GetPlanes(), 2);
    EXPECT_EQ(image.GetBitsPerPlane(), 8);
    EXPECT_EQ(image.Width(), 7);
    EXPECT_EQ(image.Height(), 5);
    EXPECT_EQ(image.GetDpi(), 96.5);
    // A new image is zero everywhere.
    CPixMap map(IM_INDEXED | IM_ALPHA, 7, 5, true);
    FillBytes(map.plane[0].data, 0xFF, static_cast<unsigned>(map.size[0]));
    image.GetBuf(0, 0, map, MM_CLIP, 1);
    EXPECT_EQ(map.plane[0].data[4 * map.plane[0].rowStride + 13], 0);

    CImage empty(IM_RGB, 0, 0, 0.0);
    CPixMap tile(IM_RGB, 4, 4, true);
    empty.GetBuf(0, 0, tile, MM_ZERO, 1);
    empty.SetBuf(0, 0, tile, MM_CLIP, 1);
    EXPECT_EQ(empty.Width(), 0);

    EXPECT_THROW(CImage(IM_RGB16 | IM_ALPHA, 2000000000, 2000000000, 0.0), std::bad_alloc);
}
