// CPath through the library's public interface: fixed-point conversions, bounding
// boxes and their cache, copying and appending.
#include "path/Path.h"

#include <gtest/gtest.h>

namespace {

constexpr int kOne = 65536; // one pixel in 16.16

void Box(CPath const& path, DPOINT& a, DPOINT& b) { path.GetBoundingBox(a, b); }

TEST(PathFixedPoint, DoubleOverloadsTruncatePixelsTimes65536)
{
    struct Case {
        double x, y;
        double wantX, wantY; // stored value / 65536
    } cases[] = {
        {1.5, -0.25, 98304 / 65536.0, -16384 / 65536.0},
        {-0.00001, 0.00001, 0.0, 0.0}, // truncation toward zero
        {-1.99999999, 2.99999999, -131071 / 65536.0, 196607 / 65536.0},
    };
    for (auto const& c : cases) {
        CPath p;
        p.MoveTo(c.x, c.y);
        DPOINT a, b;
        Box(p, a, b);
        EXPECT_EQ(a.x, c.wantX) << c.x;
        EXPECT_EQ(a.y, c.wantY) << c.y;
        EXPECT_EQ(b.x, c.wantX);
        EXPECT_EQ(b.y, c.wantY);
    }
}

TEST(PathFixedPoint, IntOverloadsStoreValuesUnchanged)
{
    CPath p;
    p.MoveTo(3, 4);
    DPOINT a, b;
    Box(p, a, b);
    EXPECT_EQ(a.x, 3 / 65536.0);
    EXPECT_EQ(a.y, 4 / 65536.0);
}

// The curve (0,0) (1,-4) (3,-2) (4,0) in pixels: its top is the extremum at t ~ 0.42265.
TEST(PathBoundingBox, IncludesCurveExtremaNotControlPoints)
{
    CPath byDouble, byInt, byPoint;
    byDouble.MoveTo(0.0, 0.0);
    byDouble.CurveTo(1.0, -4.0, 3.0, -2.0, 4.0, 0.0);
    byInt.MoveTo(0, 0);
    byInt.CurveTo(1 * kOne, -4 * kOne, 3 * kOne, -2 * kOne, 4 * kOne, 0);
    byPoint.MoveTo(tagPOINT{0, 0});
    byPoint.CurveTo(tagPOINT{kOne, -4 * kOne}, tagPOINT{3 * kOne, -2 * kOne}, tagPOINT{4 * kOne, 0});
    for (CPath const* p : {&byDouble, &byInt, &byPoint}) {
        EXPECT_EQ(p->GetBoundingBox(), CRect(0, -3, 4, 0));
        DPOINT a, b;
        Box(*p, a, b);
        EXPECT_EQ(a.x, 0.0);
        EXPECT_EQ(a.y, -2.30938720703125); // -151348 / 65536
        EXPECT_EQ(b.x, 4.0);
        EXPECT_EQ(b.y, 0.0);
    }
}

// y: 0, -6, -6, 0 has the linear derivative 36 t - 18: the top at t = 0.5 is -4.5.
TEST(PathBoundingBox, IncludesExtremumOfLinearDerivative)
{
    CPath p;
    p.MoveTo(0.0, 0.0);
    p.CurveTo(1.0, -6.0, 3.0, -6.0, 4.0, 0.0);
    DPOINT a, b;
    Box(p, a, b);
    EXPECT_EQ(a.y, -4.5);
    EXPECT_EQ(p.GetBoundingBox(), CRect(0, -5, 4, 0));
}

TEST(PathBoundingBox, EmptyPathReportsInvertedBox)
{
    CPath p;
    EXPECT_EQ(p.GetBoundingBox(), CRect(32000, 32000, -32000, -32000));
    DPOINT a, b;
    Box(p, a, b);
    EXPECT_EQ(a.x, 32000.0);
    EXPECT_EQ(a.y, 32000.0);
    EXPECT_EQ(b.x, -32000.0);
    EXPECT_EQ(b.y, -32000.0);
}

TEST(PathBoundingBox, RoundsOutwardsWithTolerance)
{
    struct Case {
        int lo, hi; // 16.16 corner values used on both axes
        int wantLo, wantHi;
    } cases[] = {
        {655357, 655373, 10, 11}, // 6 units below 10 snaps to 10; 13 above 10 rounds up
        {655350, 655366, 9, 10},  // 10 units below rounds down; 6 above snaps
        {-655366, -655350, -10, -9},
        {0, 0, 0, 0},
    };
    for (auto const& c : cases) {
        CPath p;
        p.MoveTo(c.lo, c.lo);
        p.MoveTo(c.hi, c.hi);
        EXPECT_EQ(p.GetBoundingBox(), CRect(c.wantLo, c.wantLo, c.wantHi, c.wantHi)) << c.lo << " " << c.hi;
    }
}

TEST(PathBoundingBox, FollowsTheWalk)
{
    CPath p;
    p.LineTo(100 * kOne, 100 * kOne);            // before any move: ignored
    p.CurveTo(0, 0, 0, 0, -50 * kOne, 0);         // likewise
    p.MoveTo(2 * kOne, 3 * kOne);                 // a move alone still counts
    p.LineTo(7 * kOne, 3 * kOne);                 // horizontal: no edge, but in the box
    p.Close();
    EXPECT_EQ(p.GetBoundingBox(), CRect(2, 3, 7, 3));
}

TEST(PathCache, BoxFollowsEveryChange)
{
    CPath p;
    p.MoveTo(0, 0);
    p.LineTo(kOne, kOne);
    EXPECT_EQ(p.GetBoundingBox(), CRect(0, 0, 1, 1));
    p.LineTo(5 * kOne, 2 * kOne);
    EXPECT_EQ(p.GetBoundingBox(), CRect(0, 0, 5, 2));
    p.Translate(kOne, -kOne);
    EXPECT_EQ(p.GetBoundingBox(), CRect(1, -1, 6, 1));
    CPath other;
    other.MoveTo(-3 * kOne, 9 * kOne);
    p.Append(other);
    EXPECT_EQ(p.GetBoundingBox(), CRect(-3, -1, 6, 9));
    p.Clear();
    EXPECT_EQ(p.GetBoundingBox(), CRect(32000, 32000, -32000, -32000));
}

TEST(PathCache, OperationsWithEmptyBodiesChangeNothing)
{
    CPath p;
    p.MoveTo(kOne, kOne);
    p.LineTo(3 * kOne, 2 * kOne);
    CRect before = p.GetBoundingBox();
    p.Translate(5.0, 5.0);
    p.Scale(2, 2);
    p.Scale(2.0, 2.0);
    p.Rotate(90.0, 0.0, 0.0);
    EXPECT_EQ(p.GetBoundingBox(), before);
}

TEST(PathCopy, CopiesRecordsAndAbsoluteFlag)
{
    CPath p;
    p.MoveTo(kOne, 2 * kOne);
    p.LineTo(4 * kOne, 8 * kOne);
    p.SetAbsolute(false);
    CPath copy(p);
    EXPECT_FALSE(copy.IsAbsolute());
    EXPECT_EQ(copy.GetBoundingBox(), CRect(1, 2, 4, 8));
    CPath assigned;
    assigned.MoveTo(-kOne, -kOne);
    assigned = p;
    EXPECT_FALSE(assigned.IsAbsolute());
    EXPECT_EQ(assigned.GetBoundingBox(), CRect(1, 2, 4, 8));
    CPath copied;
    EXPECT_TRUE(copied.Copy(p));
    EXPECT_EQ(copied.GetBoundingBox(), CRect(1, 2, 4, 8));
    // The copies are independent of the source.
    p.LineTo(20 * kOne, 20 * kOne);
    EXPECT_EQ(copy.GetBoundingBox(), CRect(1, 2, 4, 8));
}

TEST(PathAppend, AppendToItselfDoublesTheRecords)
{
    // 2^5 copies of one square after five self-appends: even-odd cancels them all,
    // non-zero fills.
    CPath p;
    p.MoveTo(0, 0);
    p.LineTo(2 * kOne, 0);
    p.LineTo(2 * kOne, 2 * kOne);
    p.LineTo(0, 2 * kOne);
    p.Close();
    for (int i = 0; i < 5; ++i) // grows through several reallocations
        p.Append(p);
    unsigned char evenOdd[4] = {1, 1, 1, 1}, nonZero[4] = {1, 1, 1, 1};
    ASSERT_TRUE(p.Rasterize(CRect(0, 0, 2, 2), evenOdd, 1, 2, CPath::FR_EVEN_ODD, 4));
    ASSERT_TRUE(p.Rasterize(CRect(0, 0, 2, 2), nonZero, 1, 2, CPath::FR_NON_ZERO, 4));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(evenOdd[i], 0);
        EXPECT_EQ(nonZero[i], 255);
    }
}

} // namespace
