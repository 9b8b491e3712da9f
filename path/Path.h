// CPath: an editable outline of move, line, cubic-curve and close records in 16.16
// fixed point (pixels * 65536, y downwards), with a cached table of flattened edges, a
// cached bounding box, and anti-aliased scan conversion into 8-bit coverage masks
// under the even-odd or non-zero rule.
#pragma once

#include "image/Image.h" // DPOINT and the CPixMap layout; both header-only, nothing to link
#include "platform/Export.h"
#include "platform/Geometry.h"

// One record of a path. Point slots that the kind does not use are zero.
struct PathNode {
    enum LINE_OP : int {
        LO_MOVE = 0,  // points[0]: start of a new subpath
        LO_LINE = 1,  // points[0]: line from the current point
        LO_CURVE = 2, // points[0], points[1] control points, points[2] end
        LO_CLOSE = 3, // line back to the subpath start
    };
    LINE_OP op;
    tagPOINT points[3];
};

class CEdgeTable;

class TESSERA_EXPORT CPath {
public:
    enum FILL_RULE : int {
        FR_EVEN_ODD = 0,
        FR_NON_ZERO = 1,
    };

    CPath();
    CPath(CPath const& other);
    virtual ~CPath();
    // Assigning a path to itself changes nothing.
    CPath& operator=(CPath const& other);
    // As operator=, but copying a path onto itself still empties its edge table.
    bool Copy(CPath const& other);

    // tagPOINT and int overloads take 16.16 values as they are; double overloads take
    // pixels, stored as trunc(value * 65536).
    bool MoveTo(tagPOINT p);
    bool MoveTo(int x, int y);
    bool MoveTo(double x, double y);
    bool LineTo(tagPOINT p);
    bool LineTo(int x, int y);
    bool LineTo(double x, double y);
    bool CurveTo(tagPOINT c1, tagPOINT c2, tagPOINT end);
    bool CurveTo(int c1x, int c1y, int c2x, int c2y, int endX, int endY);
    bool CurveTo(double c1x, double c1y, double c2x, double c2y, double endX, double endY);
    bool Close();

    void Clear();
    // Appends copies of other's records (other may be this path).
    bool Append(CPath const& other);
    // Shifts every point by (dx, dy) 16.16 units.
    void Translate(int dx, int dy);
    // Kept for the interface; they leave the path unchanged.
    void Translate(double dx, double dy);
    void Scale(int sx, int sy);
    void Scale(double sx, double sy);
    void Rotate(double angle, double cx, double cy);

    void SetAbsolute(bool absolute);
    bool IsAbsolute() const;

    // Brings the edge table up to date with the records.
    bool Flatten();
    // Whole pixels, rounded outwards (edges within 0.0001 pixel of a boundary snap to it).
    CRect GetBoundingBox() const;
    // Pixels as exact quotients of the 16.16 box.
    void GetBoundingBox(DPOINT& topLeft, DPOINT& bottomRight) const;

    // Writes the coverage of every pixel of rect (whole pixels, each coordinate within
    // -32768..32767) into data + (y - top) * rowStride + (x - left) * pixelStep. level
    // (1..16) is the number of sub-scanlines per pixel row. False, nothing written, for
    // a bad level, rectangle or rule, or a path that is not absolute.
    bool Rasterize(CRect const& rect, CPixMap& map, FILL_RULE rule, int level);
    bool Rasterize(CRect const& rect, unsigned char* data, int pixelStep, int rowStride, FILL_RULE rule, int level);

private:
    friend struct CPathInspector; // white-box tests read the records and both caches

    bool InsertRecord(PathNode::LINE_OP op, tagPOINT* p1, tagPOINT* p2, tagPOINT* p3);
    CRect CaclulateBoundingBox() const;

    PathNode* m_records;    // first record
    PathNode* m_recordsEnd; // one past the last record
    PathNode* m_recordsCap; // one past the allocated block
    bool m_absolute;
    CEdgeTable* m_edgeTable;
    mutable bool m_boxStale;
    mutable CRect m_box; // 16.16 units
};
