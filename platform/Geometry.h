// Points, sizes and rectangles as the Windows interfaces spell them. A CRect is
// left, top, right, bottom with right and bottom exclusive.
#pragma once

struct tagPOINT {
    int x;
    int y;
};
typedef tagPOINT POINT;

struct CSize {
    int cx = 0;
    int cy = 0;
    CSize() = default;
    CSize(int width, int height) : cx(width), cy(height) {}
    bool operator==(CSize const& o) const { return cx == o.cx && cy == o.cy; }
    bool operator!=(CSize const& o) const { return !(*this == o); }
};

struct tagRECT {
    int left;
    int top;
    int right;
    int bottom;
};
typedef tagRECT RECT;
typedef tagRECT* LPRECT;

class CRect : public tagRECT {
public:
    CRect() : tagRECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : tagRECT{l, t, r, b} {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CSize Size() const { return CSize(Width(), Height()); }
    bool IsRectEmpty() const { return right <= left || bottom <= top; }
    bool operator==(CRect const& o) const
    {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(CRect const& o) const { return !(*this == o); }
    operator LPRECT() { return this; }
};

// Fills a rectangle; returns nonzero as the Win32 call does.
inline int SetRect(LPRECT rect, int left, int top, int right, int bottom)
{
    if (!rect)
        return 0;
    rect->left = left;
    rect->top = top;
    rect->right = right;
    rect->bottom = bottom;
    return 1;
}
