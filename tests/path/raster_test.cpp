// CPath::Rasterize: the coverage of small known shapes, fill rules, clipping, output
// addressing and refusals.
#include "path/Path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kOne = 65536;

using Mask = std::vector<int>; // row-major, values 0..255

// Rasterizes into a 4 x 4 (or w x h) buffer surrounded by guard bytes; fails the test
// if a guard byte changes.
Mask Raster(CPath& path, CPath::FILL_RULE rule, int level, CRect rect = CRect(0, 0, 4, 4))
{
    const int w = rect.Width(), h = rect.Height(), guard = 16;
    std::vector<unsigned char> buf(w * h + 2 * guard, 0xA5);
    EXPECT_TRUE(path.Rasterize(rect, buf.data() + guard, 1, w, rule, level));
    for (int i = 0; i < guard; ++i) {
        EXPECT_EQ(buf[i], 0xA5);
        EXPECT_EQ(buf[buf.size() - 1 - i], 0xA5);
    }
    return Mask(buf.begin() + guard, buf.end() - guard);
}

void Polygon(CPath& p, std::initializer_list<std::pair<double, double>> pts, bool close = true)
{
    bool first = true;
    for (auto const& pt : pts) {
        if (first)
            p.MoveTo(pt.first, pt.second);
        else
            p.LineTo(pt.first, pt.second);
        first = false;
    }
    if (close)
        p.Close();
}

TEST(PathRaster, WholePixelSquareIsExactAtEveryLevel)
{
    CPath p;
    Polygon(p, {{1, 1}, {3, 1}, {3, 3}, {1, 3}});
    const Mask want = {0, 0, 0, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 0, 0, 0};
    for (int level = 1; level <= 16; ++level) {
        EXPECT_EQ(Raster(p, CPath::FR_EVEN_ODD, level), want) << "level " << level;
        EXPECT_EQ(Raster(p, CPath::FR_NON_ZERO, level), want) << "level " << level;
    }
}

TEST(PathRaster, HalfPixelSquare)
{
    CPath p;
    Polygon(p, {{0.5, 0.5}, {3.5, 0.5}, {3.5, 3.5}, {0.5, 3.5}});
    const Mask level4 = {63, 127, 127, 63, 127, 255, 255, 127, 127, 255, 255, 127, 63, 127, 127, 63};
    EXPECT_EQ(Raster(p, CPath::FR_EVEN_ODD, 4), level4);
    EXPECT_EQ(Raster(p, CPath::FR_NON_ZERO, 4), level4);
    // One sample line per row, at its top: the span 0.5..3.5 lights columns 0 to 2.
    const Mask level1 = {0, 0, 0, 0, 255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0};
    EXPECT_EQ(Raster(p, CPath::FR_EVEN_ODD, 1), level1);
}

TEST(PathRaster, Triangle)
{
    CPath p;
    Polygon(p, {{0, 0}, {4, 0}, {0, 4}});
    const Mask level4 = {255, 255, 255, 159, 255, 255, 159, 0, 255, 159, 0, 0, 159, 0, 0, 0};
    EXPECT_EQ(Raster(p, CPath::FR_EVEN_ODD, 4), level4);
    const Mask level16 = {255, 255, 255, 135, 255, 255, 135, 0, 255, 135, 0, 0, 135, 0, 0, 0};
    EXPECT_EQ(Raster(p, CPath::FR_EVEN_ODD, 16), level16);
}

TEST(PathRaster, OverlappingSquaresUnderBothRules)
{
    const Mask outerOnly = {255, 255, 255, 0, 255, 0, 0, 255, 255, 0, 0, 255, 0, 255, 255, 255};
    const Mask filled = {255, 255, 255, 0, 255, 255, 255, 255, 255, 255, 255, 255, 0, 255, 255, 255};
    CPath same;
    Polygon(same, {{0, 0}, {3, 0}, {3, 3}, {0, 3}});
    Polygon(same, {{1, 1}, {4, 1}, {4, 4}, {1, 4}});
    EXPECT_EQ(Raster(same, CPath::FR_EVEN_ODD, 1), outerOnly);
    EXPECT_EQ(Raster(same, CPath::FR_NON_ZERO, 1), filled);
    CPath opposite;
    Polygon(opposite, {{0, 0}, {3, 0}, {3, 3}, {0, 3}});
    Polygon(opposite, {{1, 1}, {1, 4}, {4, 4}, {4, 1}});
    EXPECT_EQ(Raster(opposite, CPath::FR_EVEN_ODD, 1), outerOnly);
    EXPECT_EQ(Raster(opposite, CPath::FR_NON_ZERO, 1), outerOnly);
}

TEST(PathRaster, OpenSubpathWithOddCrossings)
{
    // An open upward line at x = 0 and a square 1..3 whose left side runs upwards:
    // crossings per sub-scanline at x = 0 (-1), 1 (-1), 3 (+1).
    CPath p;
    Polygon(p, {{0, 4}, {0, 0}}, false);
    Polygon(p, {{1, 0}, {3, 0}, {3, 4}, {1, 4}});
    // Even-odd pairs 0-1 and ignores the last edge.
    const Mask evenOdd = {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0};
    EXPECT_EQ(Raster(p, CPath::FR_EVEN_ODD, 1), evenOdd);
    // Non-zero: the count runs -1, -2, -1 and never returns to zero: no span.
    EXPECT_EQ(Raster(p, CPath::FR_NON_ZERO, 1), Mask(16, 0));
    EXPECT_EQ(Raster(p, CPath::FR_NON_ZERO, 4), Mask(16, 0));
}

TEST(PathRaster, PathWithoutEdgesClearsTheRectangle)
{
    CPath moves;
    moves.MoveTo(1.0, 1.0);
    moves.MoveTo(2.0, 2.0);
    CPath horizontal;
    Polygon(horizontal, {{0, 1}, {4, 1}}, false);
    for (CPath* p : {&moves, &horizontal})
        for (auto rule : {CPath::FR_EVEN_ODD, CPath::FR_NON_ZERO})
            EXPECT_EQ(Raster(*p, rule, 4), Mask(16, 0));
}

TEST(PathRaster, PathWithoutRecordsLeavesTheBuffer)
{
    CPath p;
    unsigned char buf[16];
    std::memset(buf, 7, sizeof buf);
    EXPECT_TRUE(p.Rasterize(CRect(0, 0, 4, 4), buf, 1, 4, CPath::FR_EVEN_ODD, 4));
    for (unsigned char b : buf)
        EXPECT_EQ(b, 7);
}

TEST(PathRaster, RefusesWithoutWriting)
{
    CPath square;
    Polygon(square, {{1, 1}, {3, 1}, {3, 3}, {1, 3}});
    CPath empty;
    CPath relative(square);
    relative.SetAbsolute(false);
    struct Case {
        CPath* path;
        CRect rect;
        int rule;
        int level;
        bool want;
    } cases[] = {
        {&square, CRect(0, 0, 4, 4), 2, 4, false},          // unknown rule
        {&square, CRect(0, 0, 4, 4), -1, 4, false},
        {&relative, CRect(0, 0, 4, 4), 0, 4, false},        // not absolute
        {&square, CRect(0, 0, 4, 4), 0, 0, false},          // level outside 1..16
        {&square, CRect(0, 0, 4, 4), 0, 17, false},
        {&square, CRect(0, 0, 4, 4), 1, -3, false},
        {&empty, CRect(0, 0, 4, 4), 0, 0, false},           // level refused before "no records"
        {&empty, CRect(-40000, 0, 4, 4), 0, 4, false},      // coordinate outside -32768..32767
        {&square, CRect(0, 0, 32768, 4), 0, 4, false},
        {&square, CRect(0, -32769, 4, 4), 1, 4, false},
        {&square, CRect(0, 0, 4, 40000), 1, 4, false},
        {&square, CRect(4, 0, 4, 4), 0, 4, true},           // empty rectangle: nothing to do
        {&square, CRect(0, 3, 4, 1), 1, 4, true},
    };
    for (auto const& c : cases) {
        unsigned char buf[16];
        std::memset(buf, 7, sizeof buf);
        EXPECT_EQ(c.path->Rasterize(c.rect, buf, 1, 4, static_cast<CPath::FILL_RULE>(c.rule), c.level), c.want)
            << c.rect.left << "," << c.rect.top << "," << c.rect.right << "," << c.rect.bottom << " rule "
            << c.rule << " level " << c.level;
        for (unsigned char b : buf)
            EXPECT_EQ(b, 7);
    }
    // The relative path still flattens and reports its box.
    EXPECT_TRUE(relative.Flatten());
    EXPECT_EQ(relative.GetBoundingBox(), CRect(1, 1, 3, 3));
}

TEST(PathRaster, ExtremeRectangleCoordinatesAreServed)
{
    CPath p;
    Polygon(p, {{-32768, -32768}, {-32766, -32768}, {-32766, -32766}, {-32768, -32766}});
    Mask m = Raster(p, CPath::FR_NON_ZERO, 16, CRect(-32768, -32768, -32764, -32764));
    const Mask want = {255, 255, 0, 0, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(m, want);
    CPath q;
    Polygon(q, {{32765, 32765}, {32767, 32765}, {32767, 32767}, {32765, 32767}});
    EXPECT_EQ(Raster(q, CPath::FR_EVEN_ODD, 16, CRect(32763, 32763, 32767, 32767)),
              Mask({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 255, 255}));
}

// Columns of a sub-rectangle are exactly the matching crop of the full raster: a span
// reaching the rectangle's right edge touches nothing beyond. Rows match too where the
// edges' steps are exact (slope 1 at levels that divide 65536): an edge starting
// above the rectangle is activated on its first sub-scanline with x computed for
// that y.
TEST(PathRaster, SubRectangleIsACropOfTheFullRaster)
{
    CPath curvy;
    curvy.MoveTo(0.3, -2.7);
    curvy.CurveTo(9.0, -1.0, -3.0, 11.0, 7.9, 9.6);
    curvy.LineTo(1.1, 4.4);
    curvy.Close();
    Polygon(curvy, {{2.2, 0.1}, {6.6, 3.3}, {0.4, 7.7}});
    CPath diamond;
    Polygon(diamond, {{4.3, -3.0}, {11.3, 4.0}, {4.3, 11.0}, {-2.7, 4.0}});
    struct Case {
        CPath* path;
        CRect sub;
        std::initializer_list<int> levels;
    } cases[] = {
        {&curvy, CRect(1, -3, 6, 11), {1, 3, 4, 7, 16}},
        {&diamond, CRect(1, 2, 6, 8), {1, 2, 4, 8, 16}},
    };
    for (auto const& c : cases) {
        for (int level : c.levels) {
            for (auto rule : {CPath::FR_EVEN_ODD, CPath::FR_NON_ZERO}) {
                Mask full = Raster(*c.path, rule, level, CRect(-1, -3, 9, 11));
                Mask crop = Raster(*c.path, rule, level, c.sub);
                for (int y = c.sub.top; y < c.sub.bottom; ++y)
                    for (int x = c.sub.left; x < c.sub.right; ++x)
                        EXPECT_EQ(crop[(y - c.sub.top) * c.sub.Width() + (x - c.sub.left)],
                                  full[(y + 3) * 10 + (x + 1)])
                            << "level " << level << " at " << x << "," << y;
            }
        }
    }
}

TEST(PathRaster, SpanEndingAtTheRightEdgeTouchesNothingBeyond)
{
    CPath p;
    Polygon(p, {{0.5, 0.5}, {2.0, 0.5}, {2.0, 3.5}, {0.5, 3.5}}); // right side on x = 2
    for (auto rule : {CPath::FR_EVEN_ODD, CPath::FR_NON_ZERO}) {
        unsigned char buf[4 * 4];
        std::memset(buf, 0x33, sizeof buf);
        ASSERT_TRUE(p.Rasterize(CRect(0, 0, 2, 4), buf, 1, 4, rule, 4)); // rows of 4 bytes, 2 pixels
        const int want[4][2] = {{63, 127}, {127, 255}, {127, 255}, {63, 127}};
        for (int y = 0; y < 4; ++y) {
            EXPECT_EQ(buf[y * 4], want[y][0]);
            EXPECT_EQ(buf[y * 4 + 1], want[y][1]);
            EXPECT_EQ(buf[y * 4 + 2], 0x33);
            EXPECT_EQ(buf[y * 4 + 3], 0x33);
        }
    }
}

TEST(PathRaster, HonoursPixelStepAndNegativeRowStride)
{
    CPath p;
    Polygon(p, {{0.5, 0.5}, {3.5, 0.5}, {3.5, 3.5}, {0.5, 3.5}});
    Mask want = Raster(p, CPath::FR_EVEN_ODD, 4);
    // Interleaved RGB-like rows of 13 bytes, written bottom-up, step 3.
    std::vector<unsigned char> buf(4 * 13, 0x11);
    ASSERT_TRUE(p.Rasterize(CRect(0, 0, 4, 4), buf.data() + 3 * 13 + 1, 3, -13, CPath::FR_EVEN_ODD, 4));
    for (int row = 0; row < 4; ++row) {
        for (int i = 0; i < 13; ++i) {
            unsigned char b = buf[(3 - row) * 13 + i];
            if (i % 3 == 1 && i / 3 < 4)
                EXPECT_EQ(b, want[row * 4 + i / 3]);
            else
                EXPECT_EQ(b, 0x11) << "row " << row << " byte " << i;
        }
    }
    // The CPixMap overload uses plane 0's data, step and row stride.
    CPixMap map(IM_GRAY, 4, 4, false);
    map.plane[0].data += 3 * map.plane[0].rowStride;
    map.plane[0].rowStride = -map.plane[0].rowStride;
    ASSERT_TRUE(p.Rasterize(CRect(0, 0, 4, 4), map, CPath::FR_NON_ZERO, 4));
    for (int row = 0; row < 4; ++row)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(map.buffer[0].ptr[(3 - row) * 4 + x], want[row * 4 + x]);
}

TEST(PathRaster, TranslateMovesTheRaster)
{
    CPath p;
    Polygon(p, {{0.5, 0.5}, {2.5, 0.5}, {2.5, 2.5}, {0.5, 2.5}});
    p.CurveTo(0.5, 0.5, 0.5, 0.5, 0.5, 0.5); // control points move too
    Mask before = Raster(p, CPath::FR_EVEN_ODD, 8);
    p.Translate(kOne, 0);
    Mask after = Raster(p, CPath::FR_EVEN_ODD, 8);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(after[y * 4], 0);
        for (int x = 1; x < 4; ++x)
            EXPECT_EQ(after[y * 4 + x], before[y * 4 + x - 1]);
    }
    p.Rotate(45.0, 1.0, 1.0);
    p.Scale(3.0, 3.0);
    EXPECT_EQ(Raster(p, CPath::FR_EVEN_ODD, 8), after);
}

// A loop drawn as one curve back to its start point is subdivided by its control
// points' distance from the start, so it is filled instead of dropped.
TEST(PathRaster, ClosedLoopCurveIsFilled)
{
    CPath p;
    p.MoveTo(1.0, 4.0);
    p.CurveTo(10.0, -3.0, 10.0, 11.0, 1.0, 4.0);
    Mask m = Raster(p, CPath::FR_NON_ZERO, 16, CRect(0, 0, 8, 8));
    int total = 0;
    for (int v : m)
        total += v;
    EXPECT_GT(total, 12 * 255);
    EXPECT_EQ(m[3 * 8 + 4], 255); // pixels (4, 3) and (4, 4) lie well inside the loop
    EXPECT_EQ(m[4 * 8 + 4], 255);
}

} // namespace
