// CScale: behaviour of single tiles, and whole images through the tile flow against a
// direct whole-image computation of the same arithmetic.
#include "TransformTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// One 8-bit grey row of `values` as a source map of the given height (rows equal).
std::unique_ptr<CPixMap> RowMap(std::vector<int> const& values, int rows = 1)
{
    auto map = std::make_unique<CPixMap>(IM_GRAY, static_cast<int>(values.size()), rows, false);
    for (int r = 0; r < rows; ++r)
        for (size_t x = 0; x < values.size(); ++x)
            map->plane[0].data[r * map->plane[0].rowStride + x] = static_cast<unsigned char>(values[x]);
    return map;
}

std::vector<int> FirstRow(CPixMap const& map, int count)
{
    std::vector<int> out;
    for (int x = 0; x < count; ++x)
        out.push_back(map.plane[0].data[x]);
    return out;
}

// Scales one row of source samples (supplied with the margins GetSrcRect asks for,
// repeating the edge samples) to dstWidth with the given smoothing.
std::vector<int> ScaleRow(std::vector<int> const& image, int dstWidth, bool smooth)
{
    CScale scale(CSize(dstWidth, 1), CSize(static_cast<int>(image.size()), 1), smooth);
    CRect src;
    scale.GetSrcRect(CRect(0, 0, dstWidth, 1), src);
    std::vector<int> row;
    for (int x = src.left; x < src.right; ++x)
        row.push_back(image[std::clamp(x, 0, static_cast<int>(image.size()) - 1)]);
    auto in = RowMap(row, src.Height());
    CPixMap out(IM_GRAY, dstWidth, 1, false);
    EXPECT_TRUE(scale.Transform(out, *in));
    return FirstRow(out, dstWidth);
}

} // namespace

TEST(ScaleTile, CubicAtPhase128GivesTheMeanOfTheMiddleSamples)
{
    // Enlarging 4 -> 8: odd outputs sit halfway between two samples.
    for (int level = 0; level <= MaxKernelLevel(); ++level) {
        TransformSwitches sw(true, level);
        // output 3 sits at 1.5 between samples 10, 10 | 15, 15: each outer sample
        // equals its neighbour, so the weights -512, 2560, 2560, -512 give the mean
        const auto out = ScaleRow({10, 10, 15, 15}, 8, true);
        EXPECT_EQ(out[0], 10);
        EXPECT_EQ(out[2], 10);
        EXPECT_EQ(out[3], 12); // mean of 10 and 15, rounded down
        EXPECT_EQ(out[4], 15);
    }
}

TEST(ScaleTile, ClampsTheCubicOvershootOfAStep)
{
    for (int level = 0; level <= MaxKernelLevel(); ++level) {
        TransformSwitches sw(true, level);
        const auto out = ScaleRow({0, 0, 0, 0, 255, 255, 255, 255}, 29, true);
        EXPECT_EQ(out.front(), 0);
        EXPECT_EQ(out.back(), 255);
        // A wrapped overshoot would break the rise (a negative value stored as a large byte).
        EXPECT_TRUE(std::is_sorted(out.begin(), out.end())) << "level " << level;
    }
}

TEST(ScaleTile, NearestTakesTheLaterSampleAtExactHalves)
{
    const auto out = ScaleRow({10, 20, 30, 40}, 8, false);
    const std::vector<int> expect{10, 20, 20, 30, 30, 40, 40};
    EXPECT_EQ(std::vector<int>(out.begin(), out.begin() + 7), expect);
}

TEST(ScaleTile, EqualSizesCopyTheTile)
{
    auto image = RandomImage(IM_RGB16, 40, 30, 3);
    CScale scale(CSize(40, 30), CSize(40, 30), true);
    CRect src;
    scale.GetSrcRect(CRect(5, 6, 25, 26), src);
    EXPECT_EQ(src, CRect(5, 6, 25, 26));
    CPixMap in(IM_RGB16, 20, 20, true), out(IM_RGB16, 20, 20, false);
    image->GetBuf(5, 6, in, MM_CLIP, 1);
    ASSERT_TRUE(scale.Transform(out, in));
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                ASSERT_EQ(std::memcmp(out.plane[p].data + y * out.plane[p].rowStride + 2 * x,
                                      in.plane[0].data + y * in.plane[0].rowStride + 2 * (3 * x + p), 2),
                          0);
}

// The index plane of a palette map is never blended, with or without alpha; the
// alpha plane and a grey plane are.
TEST(ScaleTile, NeverBlendsTheIndexPlane)
{
    struct {
        IMAGE_MODE mode;
        int plane;
        bool blended;
    } const cases[] = {
        {IM_INDEXED, 0, false},
        {IM_INDEXED | IM_ALPHA, 1, false},
        {IM_INDEXED | IM_ALPHA, 0, true},
        {IM_GRAY | IM_ALPHA, 1, true},
    };
    for (auto const& c : cases) {
        const int planes = ModePlaneCount(c.mode);
        CScale scale(CSize(64, 4), CSize(16, 1), true);
        CRect src;
        scale.GetSrcRect(CRect(0, 0, 64, 4), src);
        CPixMap in(c.mode, src.Width(), src.Height(), false), out(c.mode, 64, 4, false);
        for (int p = 0; p < planes; ++p)
            for (int y = 0; y < src.Height(); ++y)
                for (int x = 0; x < src.Width(); ++x)
                    in.plane[p].data[y * in.plane[p].rowStride + x] = (x % 2) ? 200 : 7;
        ASSERT_TRUE(scale.Transform(out, in));
        bool onlySourceValues = true;
        for (int x = 0; x < 64; ++x) {
            const int v = out.plane[c.plane].data[x];
            onlySourceValues &= v == 200 || v == 7;
        }
        EXPECT_EQ(onlySourceValues, !c.blended) << "mode " << c.mode << " plane " << c.plane;
    }
}

TEST(ScaleTransform, RefusesWithoutWritingWhenTablesOrMapsDoNotFit)
{
    CPixMap out(IM_GRAY, 4, 4, false), in(IM_GRAY, 64, 64, false);
    std::fill(out.plane[0].data, out.plane[0].data + out.size[0], 0x5A);
    CRect src;

    CScale huge(CSize(1, 1), CSize(100000000, 1), true); // a table beyond the tap limit
    huge.GetSrcRect(CRect(0, 0, 1, 1), src);
    EXPECT_FALSE(huge.Transform(out, in));

    CScale empty(CSize(0, 4), CSize(4, 4), true); // no destination size
    EXPECT_FALSE(empty.Transform(out, in));

    CScale small(CSize(4, 4), CSize(64, 64), true);
    small.GetSrcRect(CRect(0, 0, 4, 4), src);
    CPixMap tooSmall(IM_GRAY, 8, 8, false);
    EXPECT_FALSE(small.Transform(out, tooSmall)); // the source map cannot hold srcRect
    CPixMap deep(IM_GRAY16, 64, 64, false);
    EXPECT_FALSE(small.Transform(out, deep)); // unequal depths

    for (int i = 0; i < out.size[0]; ++i)
        ASSERT_EQ(out.plane[0].data[i], 0x5A);

    CPixMap none(static_cast<IMAGE_MODE>(4), 4, 4, false); // no planes: nothing to do
    EXPECT_TRUE(small.Transform(none, in));
}

TEST(ScaleCopy, OwnsTablesOfItsOwn)
{
    auto image = RandomImage(IM_GRAY, 90, 70, 5);
    auto run = [&](CScale& s) {
        CRect src;
        s.GetSrcRect(CRect(0, 0, 30, 50), src);
        CPixMap in(IM_GRAY, src.Width(), src.Height(), false), out(IM_GRAY, 30, 50, false);
        image->GetBuf(src.left, src.top, in, MM_ZERO, 1);
        EXPECT_TRUE(s.Transform(out, in));
        return std::vector<uint8_t>(out.plane[0].data, out.plane[0].data + out.size[0]);
    };
    auto original = std::make_unique<CScale>(CSize(30, 140), CSize(90, 70), true);
    const auto expect = run(*original);
    CScale copy(*original);
    CScale assigned(CSize(5, 5), CSize(6, 6), false);
    assigned = *original;
    original.reset();
    EXPECT_EQ(run(copy), expect);
    EXPECT_EQ(run(assigned), expect);
}

// ---- whole images: the tile flow against a direct computation ----

namespace {

// The arithmetic written per destination pixel over the whole image: positions restart
// at each 256-pixel tile (trunc(tileStart * scale * 65536)) and advance by the
// truncated step; samples outside the image are 0, as GetBuf with MM_ZERO gives them.
struct Direct {
    int srcW, srcH, dstW, dstH, planes, bytes;
    std::vector<uint8_t> const& px;

    int Sample(int x, int y, int p) const
    {
        if (x < 0 || y < 0 || x >= srcW || y >= srcH)
            return 0;
        const size_t i = ((static_cast<size_t>(y) * srcW + x) * planes + p) * bytes;
        return bytes == 1 ? px[i] : px[i] | (px[i + 1] << 8);
    }

    // Weights and first sample of a position along an axis of extent src -> dst.
    static void Weights(int src, int dst, long long pos, std::vector<int>& w, long long& first, int& round)
    {
        const double s = static_cast<double>(src) / dst;
        const int phase = static_cast<int>((pos & 0xFFFF) >> 8);
        w.clear();
        if (src < dst) {
            const double f = phase / 256.0;
            for (double x : {-1 - f, -f, 1 - f, 2 - f})
                w.push_back(static_cast<int>(K(x) * 4096));
            first = (pos >> 16) - 1;
            round = 0;
        } else {
            const int taps = static_cast<int>(std::ceil(4 * s)) + 1, offset = static_cast<int>(std::floor(2 * s));
            std::vector<double> raw;
            double sum = 0;
            for (int j = 0; j < taps; ++j) {
                raw.push_back(K((j - offset - phase / 256.0) / s));
                sum += raw.back();
            }
            for (double r : raw)
                w.push_back(static_cast<int>(r * 4096 / sum));
            first = (pos >> 16) - offset;
            round = 2048;
        }
    }

    static double K(double x)
    {
        double a = std::fabs(x);
        return a < 1 ? a * a * a - 2 * a * a + 1 : a < 2 ? -a * a * a + 5 * a * a - 8 * a + 4 : 0;
    }

    static long long Position(int src, int dst, int out)
    {
        const double s = static_cast<double>(src) / dst;
        const int tile = out / 256 * 256;
        return static_cast<long long>(tile * s * 65536) + static_cast<long long>(out - tile) * static_cast<int>(s * 65536);
    }

    std::vector<uint8_t> Run() const
    {
        const int max = bytes == 1 ? 255 : 65535;
        auto clamp = [max](int v) { return v < 0 ? 0 : v > max ? max : v; };
        std::vector<uint8_t> out(static_cast<size_t>(dstW) * dstH * planes * bytes);
        std::vector<int> wx, wy;
        for (int X = 0; X < dstW; ++X) {
            long long fx;
            int rx;
            const long long posX = Position(srcW, dstW, X);
            if (srcW != dstW)
                Weights(srcW, dstW, posX, wx, fx, rx);
            for (int Y = 0; Y < dstH; ++Y) {
                long long fy;
                int ry;
                const long long posY = Position(srcH, dstH, Y);
                if (srcH != dstH)
                    Weights(srcH, dstH, posY, wy, fy, ry);
                for (int p = 0; p < planes; ++p) {
                    auto across = [&](long long y) {
                        if (srcW == dstW)
                            return Sample(X, static_cast<int>(y), p);
                        int sum = rx;
                        for (size_t j = 0; j < wx.size(); ++j)
                            sum += Sample(static_cast<int>(fx + j), static_cast<int>(y), p) * wx[j];
                        return clamp(sum >> 12);
                    };
                    int v;
                    if (srcH == dstH) {
                        v = across(Y);
                    } else {
                        int sum = ry;
                        for (size_t j = 0; j < wy.size(); ++j)
                            sum += across(fy + j) * wy[j];
                        v = clamp(sum >> 12);
                    }
                    const size_t i = ((static_cast<size_t>(Y) * dstW + X) * planes + p) * bytes;
                    out[i] = static_cast<uint8_t>(v);
                    if (bytes == 2)
                        out[i + 1] = static_cast<uint8_t>(v >> 8);
                }
            }
        }
        return out;
    }
};

// The host's loop: per 256 x 256 destination tile, GetSrcRect, GetBuf, Transform.
std::vector<uint8_t> TileFlow(CImage& image, int dstW, int dstH, bool srcInterleaved, bool dstInterleaved)
{
    CImage result(image.GetMode(), dstW, dstH, 72.0);
    CScale scale(CSize(dstW, dstH), CSize(image.Width(), image.Height()), true);
    for (int y = 0; y < dstH; y += 256)
        for (int x = 0; x < dstW; x += 256) {
            const CRect tile(x, y, std::min(x + 256, dstW), std::min(y + 256, dstH));
            CRect src;
            scale.GetSrcRect(tile, src);
            CPixMap in(image.GetMode(), src.Width(), src.Height(), srcInterleaved);
            image.GetBuf(src.left, src.top, in, MM_ZERO, 1);
            CPixMap out(image.GetMode(), tile.Width(), tile.Height(), dstInterleaved);
            EXPECT_TRUE(scale.Transform(out, in));
            result.SetBuf(x, y, out, MM_CLIP, 1);
        }
    return Pixels(result);
}

} // namespace

TEST(ScaleWholeImage, TileFlowEqualsTheDirectComputation)
{
    struct {
        IMAGE_MODE mode;
        int srcW, srcH, dstW, dstH;
    } const cases[] = {
        {IM_RGB, 610, 410, 250, 170},       // reduce
        {IM_RGB, 150, 100, 530, 300},       // enlarge
        {IM_GRAY | IM_ALPHA, 300, 280, 120, 600}, // reduce x, enlarge y
        {IM_RGB16, 300, 90, 300, 270},      // x kept
        {IM_GRAY16, 500, 300, 160, 300},    // y kept
        // Reduction by 40/21: the packed form pads 9 taps to 12, three more than the
        // margin covers; those taps weigh 0 and must not be read (regression:
        // tests/data/regress/transform-packed-filter-margin).
        {IM_RGB16, 50, 40, 150, 21},
    };
    for (auto const& c : cases) {
        auto image = RandomImage(c.mode, c.srcW, c.srcH, static_cast<unsigned>(c.srcW + c.dstH));
        const auto px = Pixels(*image);
        const Direct direct{c.srcW, c.srcH, c.dstW, c.dstH, image->GetPlanes(), image->GetBitsPerPlane() / 8, px};
        const auto expect = direct.Run();
        for (bool mmx : {false, true})
            for (int level = 0; level <= MaxKernelLevel(); ++level) {
                TransformSwitches sw(mmx, level);
                const bool interleaved = level % 2 == 0;
                EXPECT_EQ(TileFlow(*image, c.dstW, c.dstH, interleaved, !interleaved), expect)
                    << c.srcW << "x" << c.srcH << " -> " << c.dstW << "x" << c.dstH << " mmx " << mmx << " level "
                    << level;
            }
    }
}

TEST(ScaleWholeImage, IdentityReproducesTheSource)
{
    for (IMAGE_MODE mode : {IM_RGB, IM_RGB16 | IM_ALPHA, IM_INDEXED}) {
        auto image = RandomImage(mode, 300, 270, 9);
        EXPECT_EQ(TileFlow(*image, 300, 270, true, false), Pixels(*image));
    }
}
