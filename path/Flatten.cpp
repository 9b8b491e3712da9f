// The record walk shared by flattening and the bounding box, curve flattening by
// midpoint subdivision, and the exact bounding box with curve extrema.
//
// Walk states: no current point yet, moved (subpath started, nothing drawn), drawing,
// closed (current point back at the subpath start). Lines and curves before the first
// move are ignored; a close only draws while drawing; the end of the records closes
// nothing.
//
// All double arithmetic is written in the order the results are defined in; the
// project builds with -ffp-contract=off so that no step is fused.
#include "path/EdgeTable.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

CEdgeTable::~CEdgeTable() { std::free(m_edges); }

void CEdgeTable::Push(PathEdge const& edge)
{
    if (m_end == m_cap) {
        size_t count = Count();
        size_t capacity = count + (count > 1 ? count : 1);
        if (capacity > SIZE_MAX / sizeof(PathEdge))
            throw std::bad_alloc();
        auto* block = static_cast<PathEdge*>(std::realloc(m_edges, capacity * sizeof(PathEdge)));
        if (!block)
            throw std::bad_alloc();
        m_edges = block;
        m_end = block + count;
        m_cap = block + capacity;
    }
    *m_end++ = edge;
}

namespace pathint {
namespace {

enum WalkState { WALK_NONE, WALK_MOVED, WALK_DRAWING, WALK_CLOSED };

// Walks the records, calling sink.Line(from, to) for every line and close that draws,
// sink.Curve(p0, c1, c2, end) for every curve, and sink.Move(p) for every move.
template <class Sink> void Walk(PathNode const* records, size_t count, Sink& sink)
{
    WalkState state = WALK_NONE;
    tagPOINT current{0, 0}, start{0, 0};
    for (size_t i = 0; i < count; ++i) {
        PathNode const& n = records[i];
        switch (n.op) {
        case PathNode::LO_MOVE:
            current = start = n.points[0];
            state = WALK_MOVED;
            sink.Move(current);
            break;
        case PathNode::LO_LINE:
            if (state == WALK_NONE)
                break;
            sink.Line(current, n.points[0]);
            current = n.points[0];
            state = WALK_DRAWING;
            break;
        case PathNode::LO_CURVE:
            if (state == WALK_NONE)
                break;
            sink.Curve(current, n.points[0], n.points[1], n.points[2]);
            current = n.points[2];
            state = WALK_DRAWING;
            break;
        case PathNode::LO_CLOSE:
            if (state != WALK_DRAWING)
                break;
            if (current.x != start.x || current.y != start.y)
                sink.Line(current, start);
            current = start;
            state = WALK_CLOSED;
            break;
        default: break; // an unknown kind draws nothing
        }
    }
}

struct DPoint {
    double x, y;
};

inline DPoint Mid(DPoint a, DPoint b) { return DPoint{(a.x + b.x) / 2, (a.y + b.y) / 2}; }

// Curves are flat when both control points lie within this many 16.16 units (about
// 0.153 pixel) of the chord.
constexpr double kFlatness = 10000.0;

struct EdgeSink {
    CEdgeTable& table;

    void Move(tagPOINT) {}

    void Segment(int xa, int ya, int xb, int yb)
    {
        if (ya == yb)
            return; // horizontal: crosses no sub-scanline
        PathEdge e{xa, ya, xb, yb, 0, 0, nullptr, ya < yb ? 1 : -1};
        table.Push(e);
    }

    void Line(tagPOINT a, tagPOINT b) { Segment(a.x, a.y, b.x, b.y); }

    // Flattens the first half completely, then carries on with the second, so the
    // segments come out in order from p0 to p3.
    void Flatten(DPoint p0, DPoint p1, DPoint p2, DPoint p3)
    {
        for (;;) {
            double dx = p3.x - p0.x, dy = p3.y - p0.y;
            double length = std::sqrt(dx * dx + dy * dy);
            double m;
            if (length == 0) {
                // A closed loop (or a piece of one): measure the control points'
                // distance from the start, so the loop is subdivided, not dropped.
                double d1 = std::sqrt((p1.x - p0.x) * (p1.x - p0.x) + (p1.y - p0.y) * (p1.y - p0.y));
                double d2 = std::sqrt((p2.x - p0.x) * (p2.x - p0.x) + (p2.y - p0.y) * (p2.y - p0.y));
                m = d1 > d2 ? d1 : d2;
            } else {
                double d1 = std::fabs(dx * (p1.y - p0.y) - dy * (p1.x - p0.x)) / length;
                double d2 = std::fabs(dx * (p2.y - p0.y) - dy * (p2.x - p0.x)) / length;
                m = d1 > d2 ? d1 : d2;
            }
            if (!(m >= kFlatness)) {
                Segment(static_cast<int>(std::trunc(p0.x)), static_cast<int>(std::trunc(p0.y)),
                        static_cast<int>(std::trunc(p3.x)), static_cast<int>(std::trunc(p3.y)));
                return;
            }
            DPoint p01 = Mid(p0, p1), p12 = Mid(p1, p2), p23 = Mid(p2, p3);
            DPoint p012 = Mid(p01, p12), p123 = Mid(p12, p23);
            DPoint mid = Mid(p012, p123);
            Flatten(p0, p01, p012, mid);
            p0 = mid;
            p1 = p123;
            p2 = p23;
        }
    }

    void Curve(tagPOINT p0, tagPOINT c1, tagPOINT c2, tagPOINT end)
    {
        Flatten(DPoint{double(p0.x), double(p0.y)}, DPoint{double(c1.x), double(c1.y)},
                DPoint{double(c2.x), double(c2.y)}, DPoint{double(end.x), double(end.y)});
    }
};

struct BoxSink {
    int left = 2097152000, top = 2097152000, right = -2097152000, bottom = -2097152000;

    void Include(int x, int y)
    {
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
    }
    void Move(tagPOINT p) { Include(p.x, p.y); }
    void Line(tagPOINT, tagPOINT b) { Include(b.x, b.y); }

    void IncludeAt(double t, double const px[4], double const py[4])
    {
        if (!(t >= 0 && t <= 1))
            return;
        double mt = 1 - t;
        double bx = mt * mt * mt * px[0] + 3 * mt * mt * t * px[1] + 3 * mt * t * t * px[2] + t * t * t * px[3];
        double by = mt * mt * mt * py[0] + 3 * mt * mt * t * py[1] + 3 * mt * t * t * py[2] + t * t * t * py[3];
        Include(static_cast<int>(std::trunc(bx)), static_cast<int>(std::trunc(by)));
    }

    // Roots of the derivative qa t^2 + qb t + qc of one axis, t1 before t2.
    void Extrema(double const q[4], double const px[4], double const py[4])
    {
        double qa = 3 * (q[3] - 3 * q[2] + 3 * q[1] - q[0]);
        double qb = 6 * (q[0] - 2 * q[1] + q[2]);
        double qc = 3 * (q[1] - q[0]);
        if (qa == 0) {
            // Linear derivative: its one root is an interior extremum too.
            if (qb != 0)
                IncludeAt(-qc / qb, px, py);
            return;
        }
        double disc = qb * qb - 4 * qa * qc;
        if (disc > 0) {
            double root = std::sqrt(disc);
            IncludeAt((-qb - root) / (2 * qa), px, py);
            IncludeAt((root - qb) / (2 * qa), px, py);
        } else if (disc == 0) {
            IncludeAt(-qb / (2 * qa), px, py);
        }
    }

    void Curve(tagPOINT p0, tagPOINT c1, tagPOINT c2, tagPOINT end)
    {
        double px[4] = {double(p0.x), double(c1.x), double(c2.x), double(end.x)};
        double py[4] = {double(p0.y), double(c1.y), double(c2.y), double(end.y)};
        Extrema(px, px, py);
        Extrema(py, px, py);
        Include(end.x, end.y);
    }
};

// The sort key: y0 then x0, both biased to unsigned so that the 64-bit value orders
// as the signed pair does.
inline uint64_t EdgeKey(PathEdge const& e)
{
    return uint64_t(uint32_t(e.y0) ^ 0x80000000u) << 32 | (uint32_t(e.x0) ^ 0x80000000u);
}

// Stable sort by (y0, x0): a least-significant-digit radix sort of (key, index) pairs,
// one pass per byte of the key that is not the same in every key, then one gather of
// the edges. Small tables use insertion sort.
void SortEdges(PathEdge* edges, size_t n)
{
    if (n < 2)
        return;
    if (n < 64) {
        for (size_t i = 1; i < n; ++i) {
            PathEdge v = edges[i];
            uint64_t key = EdgeKey(v);
            size_t j = i;
            for (; j > 0 && EdgeKey(edges[j - 1]) > key; --j)
                edges[j] = edges[j - 1];
            edges[j] = v;
        }
        return;
    }
    struct Item {
        uint64_t key;
        size_t index;
    };
    std::vector<Item> items(n), spare(n);
    std::vector<size_t> counts(8 * 256, 0);
    for (size_t i = 0; i < n; ++i) {
        uint64_t key = EdgeKey(edges[i]);
        items[i] = Item{key, i};
        for (int d = 0; d < 8; ++d)
            ++counts[d * 256 + ((key >> (8 * d)) & 0xFF)];
    }
    for (int d = 0; d < 8; ++d) {
        size_t* count = &counts[d * 256];
        if (count[(items[0].key >> (8 * d)) & 0xFF] == n)
            continue; // every key has this byte: the pass would change nothing
        size_t offset = 0;
        for (int b = 0; b < 256; ++b) {
            size_t c = count[b];
            count[b] = offset;
            offset += c;
        }
        for (Item const& it : items)
            spare[count[(it.key >> (8 * d)) & 0xFF]++] = it;
        items.swap(spare);
    }
    std::vector<PathEdge> sorted(n);
    for (size_t i = 0; i < n; ++i)
        sorted[i] = edges[items[i].index];
    std::memcpy(edges, sorted.data(), n * sizeof(PathEdge));
}

} // namespace

void RebuildEdgeTable(CEdgeTable& table, PathNode const* records, size_t count)
{
    if (!table.m_stale || count == 0)
        return;
    table.Empty();
    EdgeSink sink{table};
    Walk(records, count, sink);
    PathEdge* edges = table.Edges();
    size_t n = table.Count();
    for (size_t i = 0; i < n; ++i) {
        PathEdge& e = edges[i];
        if (e.y1 < e.y0) {
            std::swap(e.x0, e.x1);
            std::swap(e.y0, e.y1);
        }
    }
    // Stable, so that edges equal in both keys keep their drawing order: under the
    // non-zero rule an open path's coverage can depend on the order of coincident
    // edges, and a stable order makes it reproducible.
    SortEdges(edges, n);
    table.m_stale = false;
}

CRect RecordsBoundingBox(PathNode const* records, size_t count)
{
    BoxSink sink;
    Walk(records, count, sink);
    return CRect(sink.left, sink.top, sink.right, sink.bottom);
}

} // namespace pathint
