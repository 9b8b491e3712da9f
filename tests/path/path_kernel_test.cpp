// White-box tests of the Path library, compiled from its sources: stored records and
// their growth, the cache rules, the flattened edge table, the scan converter's tables,
// and the fast scan converter against the plain reference on random paths.
#include "path/EdgeTable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

struct CPathInspector {
    static std::vector<PathNode> Records(CPath const& p) { return {p.m_records, p.m_recordsEnd}; }
    static size_t Capacity(CPath const& p) { return static_cast<size_t>(p.m_recordsCap - p.m_records); }
    static CEdgeTable& Table(CPath const& p) { return *p.m_edgeTable; }
    static bool BoxStale(CPath const& p) { return p.m_boxStale; }
    static CRect Box(CPath const& p) { return p.m_box; }
    static void SetBox(CPath& p, CRect box, bool stale)
    {
        p.m_box = box;
        p.m_boxStale = stale;
    }
};

namespace {

using I = CPathInspector;
constexpr int kOne = 65536;

bool SamePoint(tagPOINT a, tagPOINT b) { return a.x == b.x && a.y == b.y; }

TEST(PathRecords, StoreFixedPointValuesAndZeroUnusedSlots)
{
    CPath p;
    p.MoveTo(1.5, -0.25);
    p.MoveTo(-0.00001, 0.00001);
    p.LineTo(3, 4);
    p.CurveTo(1, 2, 3, 4, 5, 6);
    p.Close();
    auto r = I::Records(p);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].op, PathNode::LO_MOVE);
    EXPECT_TRUE(SamePoint(r[0].points[0], {98304, -16384}));
    EXPECT_TRUE(SamePoint(r[1].points[0], {0, 0}));
    EXPECT_EQ(r[2].op, PathNode::LO_LINE);
    EXPECT_TRUE(SamePoint(r[2].points[0], {3, 4}));
    EXPECT_TRUE(SamePoint(r[2].points[1], {0, 0}));
    EXPECT_TRUE(SamePoint(r[2].points[2], {0, 0}));
    EXPECT_EQ(r[3].op, PathNode::LO_CURVE);
    EXPECT_TRUE(SamePoint(r[3].points[0], {1, 2}));
    EXPECT_TRUE(SamePoint(r[3].points[1], {3, 4}));
    EXPECT_TRUE(SamePoint(r[3].points[2], {5, 6}));
    EXPECT_EQ(r[4].op, PathNode::LO_CLOSE);
}

TEST(PathRecords, GrowByDoublingAndByTheAppendedCount)
{
    CPath p;
    std::vector<size_t> caps;
    for (int i = 0; i < 5; ++i) {
        p.LineTo(i, i);
        caps.push_back(I::Capacity(p));
    }
    EXPECT_EQ(caps, (std::vector<size_t>{1, 2, 4, 4, 8}));
    CPath big;
    for (int i = 0; i < 12; ++i)
        big.MoveTo(i, i);
    p.Append(big); // 5 + 12 > 8: count + max(count, 12)
    EXPECT_EQ(I::Capacity(p), 17u);
    EXPECT_EQ(I::Records(p).size(), 17u);
    p.Clear();
    EXPECT_EQ(I::Capacity(p), 17u);
    EXPECT_TRUE(I::Records(p).empty());
    CPath copy(big);
    EXPECT_EQ(I::Capacity(copy), 12u);
}

TEST(PathRecords, AppendToItselfRepeatsTheRecords)
{
    CPath p;
    p.MoveTo(1, 2);
    p.LineTo(3, 4);
    p.Close();
    p.Append(p); // needs a new block: the source moves
    auto r = I::Records(p);
    ASSERT_EQ(r.size(), 6u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(r[i].op, r[i + 3].op);
        EXPECT_TRUE(SamePoint(r[i].points[0], r[i + 3].points[0]));
    }
    p.MoveTo(9, 9); // capacity 6 -> 12
    p.Append(p);     // 14 > 12: grows to 14 while copying from itself
    EXPECT_EQ(I::Records(p).size(), 14u);
    EXPECT_TRUE(SamePoint(I::Records(p)[13].points[0], {9, 9}));
}

// Both caches after each kind of change: fresh caches are made first.
TEST(PathCache, StalenessFollowsTheRules)
{
    auto fresh = [](CPath& p) {
        p.Flatten();
        p.GetBoundingBox();
        ASSERT_FALSE(I::Table(p).m_stale);
        ASSERT_FALSE(I::BoxStale(p));
    };
    CPath other;
    other.MoveTo(0, 0);
    other.LineTo(kOne, kOne);
    CPath empty;
    struct Case {
        const char* name;
        std::function<void(CPath&)> op;
        bool edgesStale, boxStale, edgesEmpty;
    } cases[] = {
        {"MoveTo", [](CPath& p) { p.MoveTo(1, 1); }, true, true, false},
        {"LineTo", [](CPath& p) { p.LineTo(1.0, 1.0); }, true, true, false},
        {"CurveTo", [](CPath& p) { p.CurveTo(1, 1, 2, 2, 3, 3); }, true, true, false},
        {"Close", [](CPath& p) { p.Close(); }, true, true, false},
        {"Clear", [](CPath& p) { p.Clear(); }, true, true, true},
        {"Append", [&](CPath& p) { p.Append(other); }, true, true, false},
        {"Append empty", [&](CPath& p) { p.Append(empty); }, true, true, false},
        {"Translate", [](CPath& p) { p.Translate(1, 0); }, true, true, false},
        {"Copy self", [](CPath& p) { p.Copy(p); }, true, false, true},
        {"assign self", [](CPath& p) { p = p; }, false, false, false},
        {"SetAbsolute", [](CPath& p) { p.SetAbsolute(false); }, false, false, false},
        {"Translate double", [](CPath& p) { p.Translate(1.0, 1.0); }, false, false, false},
        {"Scale", [](CPath& p) { p.Scale(2, 2); p.Scale(2.0, 2.0); }, false, false, false},
        {"Rotate", [](CPath& p) { p.Rotate(1.0, 0.0, 0.0); }, false, false, false},
    };
    for (auto const& c : cases) {
        CPath p;
        p.MoveTo(0, 0);
        p.LineTo(3 * kOne, 5 * kOne);
        p.LineTo(0, 5 * kOne);
        p.Close();
        fresh(p);
        size_t records = I::Records(p).size();
        c.op(p);
        EXPECT_EQ(I::Table(p).m_stale, c.edgesStale) << c.name;
        EXPECT_EQ(I::BoxStale(p), c.boxStale) << c.name;
        EXPECT_EQ(I::Table(p).Count() == 0, c.edgesEmpty) << c.name;
        if (std::string(c.name).find("self") != std::string::npos) {
            EXPECT_EQ(I::Records(p).size(), records) << c.name;
        }
    }
}

TEST(PathCache, CopiesTakeTheSourcesCachedBox)
{
    CPath src;
    src.MoveTo(0, 0);
    src.LineTo(kOne, kOne);
    src.Flatten();
    // A box the records could not produce proves it was taken, not recomputed.
    const CRect marker(7 * kOne, 7 * kOne, 9 * kOne, 9 * kOne);
    I::SetBox(src, marker, false);

    CPath constructed(src);
    EXPECT_EQ(constructed.GetBoundingBox(), CRect(7, 7, 9, 9));
    EXPECT_TRUE(I::Table(constructed).m_stale);
    EXPECT_EQ(I::Table(constructed).Count(), 0u);

    CPath assigned;
    assigned.MoveTo(5, 5);
    assigned.Flatten();
    assigned = src;
    EXPECT_EQ(assigned.GetBoundingBox(), CRect(7, 7, 9, 9));
    EXPECT_TRUE(I::Table(assigned).m_stale);

    CPath copied;
    copied.Copy(src);
    EXPECT_EQ(copied.GetBoundingBox(), CRect(7, 7, 9, 9));

    // A stale source box stays stale in the copy and is computed from the records.
    I::SetBox(src, marker, true);
    CPath staleCopy(src);
    EXPECT_TRUE(I::BoxStale(staleCopy));
    EXPECT_EQ(staleCopy.GetBoundingBox(), CRect(0, 0, 1, 1));
}

std::vector<PathEdge> Edges(CPath& p)
{
    p.Flatten();
    CEdgeTable& t = I::Table(p);
    return std::vector<PathEdge>(t.Edges(), t.Edges() + t.Count());
}

TEST(PathFlatten, CurveOfTenPixelsGivesSixteenEdges)
{
    CPath p;
    p.MoveTo(0.0, 0.0);
    p.CurveTo(0.0, 10.0, 10.0, 10.0, 10.0, 0.0);
    auto e = Edges(p);
    ASSERT_EQ(e.size(), 16u);
    // Sorted by y0 then x0, the first is the first segment drawn.
    EXPECT_EQ(e[0].x0, 0);
    EXPECT_EQ(e[0].y0, 0);
    EXPECT_EQ(e[0].x1, 7360);
    EXPECT_EQ(e[0].y1, 115200);
    EXPECT_EQ(e[0].dir, 1);
    // The last segment runs upwards to (10, 0): oriented, with dir -1.
    EXPECT_EQ(e[1].y0, 0);
    EXPECT_EQ(e[1].x0, 655360);
    EXPECT_EQ(e[1].dir, -1);
    for (auto const& edge : e)
        EXPECT_LT(edge.y0, edge.y1);
}

TEST(PathFlatten, WalkRules)
{
    struct Case {
        const char* name;
        std::function<void(CPath&)> build;
        size_t edges;
    } cases[] = {
        {"collinear curve", [](CPath& p) { p.MoveTo(0, 0); p.CurveTo(kOne, kOne, 5 * kOne, 5 * kOne, 9 * kOne, 9 * kOne); }, 1},
        {"open triangle", [](CPath& p) { p.MoveTo(0, 0); p.LineTo(4 * kOne, kOne); p.LineTo(0, 4 * kOne); }, 2},
        {"closed triangle", [](CPath& p) { p.MoveTo(0, 0); p.LineTo(4 * kOne, kOne); p.LineTo(0, 4 * kOne); p.Close(); }, 3},
        {"before any move", [](CPath& p) { p.LineTo(0, 9 * kOne); p.CurveTo(1, 1, 2, 2, 3, 9 * kOne); p.Close(); }, 0},
        {"close after move", [](CPath& p) { p.MoveTo(0, 0); p.Close(); p.Close(); }, 0},
        {"second close", [](CPath& p) { p.MoveTo(0, 0); p.LineTo(kOne, kOne); p.Close(); p.Close(); }, 2},
        {"moves only", [](CPath& p) { p.MoveTo(0, 0); p.MoveTo(kOne, kOne); }, 0},
    };
    for (auto const& c : cases) {
        CPath p;
        c.build(p);
        EXPECT_EQ(Edges(p).size(), c.edges) << c.name;
    }
    // The line after a close starts at the subpath start.
    CPath p;
    p.MoveTo(0, 0);
    p.LineTo(kOne, kOne);
    p.Close();
    p.LineTo(5, 3 * kOne);
    auto e = Edges(p); // the line, the close and the line from the start
    ASSERT_EQ(e.size(), 3u);
    int fromStart = 0;
    for (auto const& edge : e)
        fromStart += edge.x0 == 0 && edge.y0 == 0 && edge.x1 == 5 && edge.y1 == 3 * kOne && edge.dir == 1;
    EXPECT_EQ(fromStart, 1);
}

// Edges are sorted by top then x, and edges equal in both keep their drawing order
// (told apart here by their lower ends), in small tables and large ones alike.
TEST(PathFlatten, SortsEdgesStablyByTopThenX)
{
    std::mt19937 rng(5);
    for (int count : {10, 300, 5000}) {
        CPath p;
        std::uniform_int_distribution<int> small(-3, 3);
        for (int i = 0; i < count; ++i) {
            int x0 = small(rng) * kOne, y0 = small(rng) * (1 << 20) + (i % 7 == 0 ? -2000000000 : 0);
            p.MoveTo(x0, y0);
            p.LineTo(i, y0 + 1 + i); // drawn downwards: the lower end records the order
        }
        auto e = Edges(p);
        ASSERT_EQ(e.size(), size_t(count));
        for (size_t i = 1; i < e.size(); ++i) {
            auto const& a = e[i - 1];
            auto const& b = e[i];
            ASSERT_TRUE(a.y0 < b.y0 || (a.y0 == b.y0 && a.x0 < b.x0) ||
                        (a.y0 == b.y0 && a.x0 == b.x0 && a.x1 < b.x1))
                << "edges " << i - 1 << " and " << i << " of " << count;
        }
    }
}

TEST(PathFlatten, UnchangedPathKeepsItsTable)
{
    CPath p;
    p.MoveTo(0, 0);
    p.LineTo(kOne, 4 * kOne);
    p.LineTo(0, 4 * kOne);
    p.Close();
    EXPECT_TRUE(p.Flatten());
    I::Table(p).Edges()[0].x0 = 12345; // survives because nothing is rebuilt
    EXPECT_TRUE(p.Flatten());
    unsigned char buf[4];
    p.Rasterize(CRect(0, 0, 2, 2), buf, 1, 2, CPath::FR_EVEN_ODD, 4);
    EXPECT_EQ(I::Table(p).Edges()[0].x0, 12345);
    // An empty path leaves its (stale, empty) table alone.
    CPath empty;
    EXPECT_TRUE(empty.Flatten());
    EXPECT_TRUE(I::Table(empty).m_stale);
}

TEST(PathScanTables, SpacingWeightsAndCoverage)
{
    const int spacing[][2] = {{1, 65536}, {2, 32768}, {3, 21846}, {4, 16384}, {8, 8192}, {16, 4096}};
    for (auto const& s : spacing)
        EXPECT_EQ(pathint::SubScanlineSpacing(s[0]), s[1]);
    struct {
        int level;
        int w[16];
    } weights[] = {
        {1, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
        {2, {2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1}},
        {4, {4, 4, 4, 4, 3, 3, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1}},
        {8, {8, 8, 7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1}},
        {16, {16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
    };
    for (auto const& w : weights) {
        int got[16];
        pathint::EdgeWeights(w.level, got);
        for (int k = 0; k < 16; ++k)
            EXPECT_EQ(got[k], w.w[k]) << "level " << w.level << " k " << k;
    }
    unsigned char cover[257];
    pathint::CoverageTable(4, cover);
    const int want[17] = {0, 15, 31, 47, 63, 79, 95, 111, 127, 143, 159, 175, 191, 207, 223, 239, 255};
    for (int n = 0; n <= 16; ++n)
        EXPECT_EQ(cover[n], want[n]);
    pathint::CoverageTable(16, cover);
    EXPECT_EQ(cover[256], 255);
    EXPECT_EQ(cover[136], 135); // the triangle's diagonal pixels at level 16
}

// Under the non-zero rule an open path's span can end or not at an edge that
// coincides with another of opposite direction, depending on their list order: the
// fast converter must keep the reference's order exactly.
TEST(PathScanFast, KeepsTheListOrderOfCoincidentEdges)
{
    CPath p;
    p.MoveTo(kOne, 0); // open line down at x = 1
    p.LineTo(kOne, 4 * kOne);
    p.MoveTo(3 * kOne, 0); // down and back up along x = 3, also open
    p.LineTo(3 * kOne, 4 * kOne);
    p.LineTo(3 * kOne, 0);
    p.MoveTo(2 * kOne, kOne); // activated later: reorders the list at row 1
    p.LineTo(2 * kOne, 3 * kOne);
    p.Flatten();
    CEdgeTable& table = I::Table(p);
    for (int level : {1, 4, 16}) {
        unsigned char a[16], b[16];
        pathint::ScanTarget t{0, 0, 4, 4, a, 1, 4, true, level};
        ASSERT_TRUE(pathint::ScanReference(table.Edges(), table.Count(), t));
        t.data = b;
        ASSERT_TRUE(pathint::ScanFast(table.Edges(), table.Count(), t));
        EXPECT_EQ(std::memcmp(a, b, 16), 0) << "level " << level;
    }
}

// Random paths: polygons and curves of every size, including edges far outside the
// rectangle and near-horizontal edges whose step overflows 32 bits.
void RandomPath(std::mt19937& rng, CPath& p, int span)
{
    std::uniform_int_distribution<int> kind(0, 9), count(1, 12);
    auto coord = [&](int range) { return std::uniform_int_distribution<int>(-range, range)(rng); };
    int subpaths = count(rng) % 4 + 1;
    for (int s = 0; s < subpaths; ++s) {
        int range = kind(rng) == 0 ? 2000000000 : span;
        p.MoveTo(coord(range), coord(range));
        int n = count(rng);
        for (int i = 0; i < n; ++i) {
            int k = kind(rng);
            if (k < 5)
                p.LineTo(coord(range), coord(range));
            else if (k < 8)
                p.CurveTo(coord(range), coord(range), coord(range), coord(range), coord(range), coord(range));
            else if (k == 8)
                p.LineTo(coord(range), std::uniform_int_distribution<int>(0, 3)(rng) * kOne);
            else
                p.Close();
        }
        if (kind(rng) < 7)
            p.Close();
    }
}

TEST(PathScanFast, MatchesTheReferenceOnRandomPaths)
{
    std::mt19937 rng(20261211);
    for (int iter = 0; iter < 3000; ++iter) {
        CPath p;
        int span = (iter % 3 == 0) ? 40 * kOne : (iter % 3 == 1 ? 8 * kOne : 300 * kOne);
        RandomPath(rng, p, span);
        p.Flatten();
        CEdgeTable& table = I::Table(p);
        std::uniform_int_distribution<int> pos(-50, 40), size(1, 70);
        int left = pos(rng), top = pos(rng);
        pathint::ScanTarget t{left, top, left + size(rng), top + size(rng), nullptr, 1, 0,
                              std::uniform_int_distribution<int>(0, 1)(rng) == 1,
                              std::uniform_int_distribution<int>(1, 16)(rng)};
        const int w = t.right - t.left, h = t.bottom - t.top;
        const int step = iter % 5 == 0 ? 3 : 1;
        const int stride = w * step + (iter % 7);
        std::vector<unsigned char> a(static_cast<size_t>(stride) * h, 0x5A), b = a;
        t.pixelStep = step;
        t.rowStride = stride;
        t.data = a.data();
        ASSERT_TRUE(pathint::ScanReference(table.Edges(), table.Count(), t));
        t.data = b.data();
        ASSERT_TRUE(pathint::ScanFast(table.Edges(), table.Count(), t));
        if (a != b) {
            for (size_t i = 0; i < a.size(); ++i)
                if (a[i] != b[i])
                    std::printf("diff at row %d byte %d: %d vs %d\n", int(i / stride), int(i % stride), a[i], b[i]);
            for (size_t i = 0; i < table.Count(); ++i) {
                PathEdge const& e = table.Edges()[i];
                std::printf("edge %d %d -> %d %d dir %d\n", e.x0, e.y0, e.x1, e.y1, e.dir);
            }
            std::printf("rect %d %d %d %d\n", t.left, t.top, t.right, t.bottom);
        }
        ASSERT_EQ(a, b) << "iteration " << iter << " level " << t.level << " nonzero " << t.nonZero;
    }
}

} // namespace
