// CPath: the record array, its editing operations and the two caches that follow it
// (edge table and bounding box).
//
// Records grow one at a time to count + max(count, 1), or by n at once to
// count + max(count, n); a new block is filled before the old one is released, so an
// allocation failure leaves the path as it was.
#include "path/EdgeTable.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

// pixels -> 16.16, truncated toward zero.
tagPOINT FromPixels(double x, double y)
{
    return tagPOINT{static_cast<int>(x * 65536.0), static_cast<int>(y * 65536.0)};
}

// Makes room for extra more records in [records, end) of capacity cap, growing to
// count + max(count, extra). The old block is released only once the new one is full.
void Reserve(PathNode*& records, PathNode*& end, PathNode*& cap, size_t extra)
{
    size_t count = static_cast<size_t>(end - records);
    if (count + extra <= static_cast<size_t>(cap - records))
        return;
    size_t capacity = count + (count > extra ? count : extra);
    PathNode* block = new PathNode[capacity];
    if (count)
        std::memcpy(block, records, count * sizeof(PathNode));
    delete[] records;
    records = block;
    end = block + count;
    cap = block + capacity;
}

} // namespace

CPath::CPath()
    : m_records(nullptr), m_recordsEnd(nullptr), m_recordsCap(nullptr), m_absolute(true),
      m_edgeTable(new CEdgeTable), m_boxStale(true), m_box(2147483647, 2147483647, -2147483647 - 1, -2147483647 - 1)
{
}

CPath::CPath(CPath const& other)
    : m_records(nullptr), m_recordsEnd(nullptr), m_recordsCap(nullptr), m_absolute(other.m_absolute),
      m_edgeTable(nullptr), m_boxStale(other.m_boxStale), m_box(other.m_box)
{
    size_t count = static_cast<size_t>(other.m_recordsEnd - other.m_records);
    if (count) {
        m_records = new PathNode[count];
        std::memcpy(m_records, other.m_records, count * sizeof(PathNode));
        m_recordsEnd = m_recordsCap = m_records + count;
    }
    try {
        m_edgeTable = new CEdgeTable;
    } catch (...) {
        delete[] m_records;
        throw;
    }
}

CPath::~CPath()
{
    delete m_edgeTable;
    delete[] m_records;
}

CPath& CPath::operator=(CPath const& other)
{
    if (this != &other)
        Copy(other);
    return *this;
}

bool CPath::Copy(CPath const& other)
{
    if (this != &other) {
        size_t count = static_cast<size_t>(other.m_recordsEnd - other.m_records);
        if (count > static_cast<size_t>(m_recordsCap - m_records)) {
            PathNode* block = new PathNode[count];
            delete[] m_records;
            m_records = block;
            m_recordsCap = block + count;
        }
        if (count)
            std::memcpy(m_records, other.m_records, count * sizeof(PathNode));
        m_recordsEnd = m_records + count;
        m_absolute = other.m_absolute;
        m_box = other.m_box;
        m_boxStale = other.m_boxStale;
    }
    m_edgeTable->Empty();
    return true;
}

bool CPath::InsertRecord(PathNode::LINE_OP op, tagPOINT* p1, tagPOINT* p2, tagPOINT* p3)
{
    PathNode node;
    std::memset(&node, 0, sizeof node);
    node.op = op;
    switch (op) {
    case PathNode::LO_MOVE:
    case PathNode::LO_LINE: node.points[0] = *p3; break;
    case PathNode::LO_CURVE:
        node.points[0] = *p1;
        node.points[1] = *p2;
        node.points[2] = *p3;
        break;
    default: break;
    }
    Reserve(m_records, m_recordsEnd, m_recordsCap, 1);
    *m_recordsEnd++ = node;
    return true;
}

bool CPath::MoveTo(tagPOINT p)
{
    m_edgeTable->m_stale = true;
    m_boxStale = true;
    return InsertRecord(PathNode::LO_MOVE, nullptr, nullptr, &p);
}

bool CPath::MoveTo(int x, int y) { return MoveTo(tagPOINT{x, y}); }
bool CPath::MoveTo(double x, double y) { return MoveTo(FromPixels(x, y)); }

bool CPath::LineTo(tagPOINT p)
{
    m_edgeTable->m_stale = true;
    m_boxStale = true;
    return InsertRecord(PathNode::LO_LINE, nullptr, nullptr, &p);
}

bool CPath::LineTo(int x, int y) { return LineTo(tagPOINT{x, y}); }
bool CPath::LineTo(double x, double y) { return LineTo(FromPixels(x, y)); }

bool CPath::CurveTo(tagPOINT c1, tagPOINT c2, tagPOINT end)
{
    m_edgeTable->m_stale = true;
    m_boxStale = true;
    return InsertRecord(PathNode::LO_CURVE, &c1, &c2, &end);
}

bool CPath::CurveTo(int c1x, int c1y, int c2x, int c2y, int endX, int endY)
{
    return CurveTo(tagPOINT{c1x, c1y}, tagPOINT{c2x, c2y}, tagPOINT{endX, endY});
}

bool CPath::CurveTo(double c1x, double c1y, double c2x, double c2y, double endX, double endY)
{
    return CurveTo(FromPixels(c1x, c1y), FromPixels(c2x, c2y), FromPixels(endX, endY));
}

bool CPath::Close()
{
    m_edgeTable->m_stale = true;
    m_boxStale = true;
    return InsertRecord(PathNode::LO_CLOSE, nullptr, nullptr, nullptr);
}

void CPath::Clear()
{
    m_recordsEnd = m_records;
    m_edgeTable->Empty();
    m_boxStale = true;
}

bool CPath::Append(CPath const& other)
{
    m_edgeTable->m_stale = true;
    m_boxStale = true;
    size_t count = static_cast<size_t>(other.m_recordsEnd - other.m_records);
    if (count == 0)
        return true;
    // Appending to itself: the source block may move while growing, so the
    // records to copy are the first count of this path's own (possibly new) block.
    bool self = this == &other;
    Reserve(m_records, m_recordsEnd, m_recordsCap, count);
    PathNode const* src = self ? m_records : other.m_records;
    std::memcpy(m_recordsEnd, src, count * sizeof(PathNode));
    m_recordsEnd += count;
    return true;
}

void CPath::Translate(int dx, int dy)
{
    // Wrapping add: a shift past the 16.16 range wraps as 32-bit arithmetic does.
    auto shift = [](tagPOINT& p, int dx, int dy) {
        p.x = static_cast<int>(static_cast<unsigned>(p.x) + static_cast<unsigned>(dx));
        p.y = static_cast<int>(static_cast<unsigned>(p.y) + static_cast<unsigned>(dy));
    };
    for (PathNode* n = m_records; n != m_recordsEnd; ++n) {
        switch (n->op) {
        case PathNode::LO_MOVE:
        case PathNode::LO_LINE: shift(n->points[0], dx, dy); break;
        case PathNode::LO_CURVE:
            for (tagPOINT& p : n->points)
                shift(p, dx, dy);
            break;
        default: break;
        }
    }
    m_edgeTable->m_stale = true;
    m_boxStale = true;
}

void CPath::Translate(double, double) {}
void CPath::Scale(int, int) {}
void CPath::Scale(double, double) {}
void CPath::Rotate(double, double, double) {}

void CPath::SetAbsolute(bool absolute) { m_absolute = absolute; }
bool CPath::IsAbsolute() const { return m_absolute; }

bool CPath::Flatten()
{
    pathint::RebuildEdgeTable(*m_edgeTable, m_records, static_cast<size_t>(m_recordsEnd - m_records));
    return true;
}

CRect CPath::CaclulateBoundingBox() const
{
    return pathint::RecordsBoundingBox(m_records, static_cast<size_t>(m_recordsEnd - m_records));
}

CRect CPath::GetBoundingBox() const
{
    if (m_boxStale) {
        m_box = CaclulateBoundingBox();
        m_boxStale = false;
    }
    // Within 0.0001 pixel (6 units or fewer) outside a whole pixel counts as on it.
    return CRect(static_cast<int>(std::floor(m_box.left / 65536.0 + 0.0001)),
                 static_cast<int>(std::floor(m_box.top / 65536.0 + 0.0001)),
                 static_cast<int>(std::ceil(m_box.right / 65536.0 - 0.0001)),
                 static_cast<int>(std::ceil(m_box.bottom / 65536.0 - 0.0001)));
}

void CPath::GetBoundingBox(DPOINT& topLeft, DPOINT& bottomRight) const
{
    if (m_boxStale) {
        m_box = CaclulateBoundingBox();
        m_boxStale = false;
    }
    topLeft.x = m_box.left / 65536.0;
    topLeft.y = m_box.top / 65536.0;
    bottomRight.x = m_box.right / 65536.0;
    bottomRight.y = m_box.bottom / 65536.0;
}

bool CPath::Rasterize(CRect const& rect, CPixMap& map, FILL_RULE rule, int level)
{
    return Rasterize(rect, map.plane[0].data, map.plane[0].step, map.plane[0].rowStride, rule, level);
}

bool CPath::Rasterize(CRect const& rect, unsigned char* data, int pixelStep, int rowStride, FILL_RULE rule, int level)
{
    // Refusals that come before everything else: the coverage table holds at most
    // 16 * 16 + 1 entries, and rect * 65536 must fit in 32 bits.
    if (level < 1 || level > 16)
        return false;
    auto inRange = [](int v) { return v >= -32768 && v <= 32767; };
    if (!inRange(rect.left) || !inRange(rect.top) || !inRange(rect.right) || !inRange(rect.bottom))
        return false;
    if (!m_absolute)
        return false;
    if (m_records == m_recordsEnd)
        return true;
    pathint::RebuildEdgeTable(*m_edgeTable, m_records, static_cast<size_t>(m_recordsEnd - m_records));
    if (rule != FR_EVEN_ODD && rule != FR_NON_ZERO)
        return false;
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return true;
    pathint::ScanTarget target{rect.left, rect.top, rect.right, rect.bottom, data, pixelStep, rowStride,
                               rule == FR_NON_ZERO, level};
    return pathint::ScanFast(m_edgeTable->Edges(), m_edgeTable->Count(), target);
}
