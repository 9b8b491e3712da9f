// Internal to the Path library: the flattened edge table of a path and the scan
// converters that read it.
//
// Units: every coordinate is 16.16 fixed point (pixels * 65536, y downwards).
#pragma once

#include "path/Path.h"

#include <cstddef>

// One straight, non-horizontal edge. After a rebuild y0 < y1 always; dir records the
// direction it was drawn in (+1 downwards, -1 upwards), which the non-zero rule sums.
struct PathEdge {
    int x0, y0; // upper end point
    int x1, y1; // lower end point
    int dx;     // x step per sub-scanline, set by the scan converter
    int x;      // x at the current sub-scanline, set by the scan converter
    PathEdge* next; // active list link, null while stored
    int dir;
};

// The edge cache each CPath owns. Capacity grows to count + max(count, 1) when full and
// is kept when the table is emptied.
class CEdgeTable {
public:
    CEdgeTable() = default;
    ~CEdgeTable();
    CEdgeTable(CEdgeTable const&) = delete;
    CEdgeTable& operator=(CEdgeTable const&) = delete;

    void Empty() // keeps the capacity; the table must be rebuilt before use
    {
        m_end = m_edges;
        m_stale = true;
    }
    void Push(PathEdge const& edge);
    size_t Count() const { return static_cast<size_t>(m_end - m_edges); }
    PathEdge* Edges() { return m_edges; }

    bool m_stale = true;

private:
    PathEdge* m_edges = nullptr;
    PathEdge* m_end = nullptr;
    PathEdge* m_cap = nullptr;
};

namespace pathint {

// Rebuilds table from records when it is stale and records exist: walks the records,
// flattens curves, orients the edges and sorts them by (y0, x0). An allocation failure
// leaves the table stale.
void RebuildEdgeTable(CEdgeTable& table, PathNode const* records, size_t count);

// The 16.16 bounding box of the records: move, line and curve end points and the
// interior extrema of curves; (2097152000, 2097152000, -2097152000, -2097152000) when
// nothing is included.
CRect RecordsBoundingBox(PathNode const* records, size_t count);

// Where and how a scan conversion writes.
struct ScanTarget {
    int left, top, right, bottom; // whole pixels, already validated, non-empty
    unsigned char* data;          // pixel (left, top)
    int pixelStep;                // bytes between horizontal neighbours
    int rowStride;                // bytes between rows
    bool nonZero;                 // fill rule
    int level;                    // sub-scanlines per row, 1..16
};

// The plain converter: a linked active list re-sorted by neighbour swaps and spans
// added column by column, as the method is defined. It is the reference the fast
// converter is tested against. False when its counters cannot be allocated.
bool ScanReference(PathEdge* edges, size_t count, ScanTarget const& target);

// The converter Rasterize uses: the same edge positions and coverage, with an array
// active list and spans added to a difference row integrated once per pixel row.
bool ScanFast(PathEdge const* edges, size_t count, ScanTarget const& target);

// The arithmetic both converters share.
int SubScanlineSpacing(int level);                      // ceil(65536 / level)
void EdgeWeights(int level, int weights[16]);           // ceil(level * (16 - k) / 16)
void CoverageTable(int level, unsigned char cover[257]); // floor(n * 255 / level^2)
// Position and step of an edge activated at sub-scanline y.
void InitEdge(PathEdge const& e, int y, int level, int& x, int& dx);

// 32-bit addition that wraps, as the machine arithmetic of edge stepping does.
inline int WrapAdd(int a, int b) { return static_cast<int>(static_cast<unsigned>(a) + static_cast<unsigned>(b)); }

// The tables of one level.
struct ScanTables {
    int level;
    int spacing; // S, 16.16 units between sub-scanlines
    int weight[16];
    unsigned char cover[257];

    explicit ScanTables(int L) : level(L), spacing(SubScanlineSpacing(L))
    {
        EdgeWeights(L, weight);
        CoverageTable(L, cover);
    }
};

} // namespace pathint
