// Scan conversion of a sorted edge table into an 8-bit coverage mask: the arithmetic
// both converters share, and the fast converter.
//
// Each pixel row is sampled on `level` (L) sub-scanlines, y = row * 65536 + k * S with
// S = ceil(65536 / L). On a sub-scanline the active edges, sorted by x, form spans
// (even-odd: edges 1-2, 3-4, ...; non-zero: from where the winding count leaves zero
// to where it returns). A span from x = g to x = f (16.16, clipped to the rectangle)
// adds to the row's counters:
//   column px(g):                 w[frac(g)]
//   columns px(g) + 1 .. px(f):   L
//   column px(f):                 -w[frac(f)]
// where px(v) = v >> 16 and frac(v) = (v >> 12) & 15 (sixteenths of a pixel) and
// w[k] = ceil(L * (16 - k) / 16) is the weight of a span starting k sixteenths into
// a column. A row's counter is at most L * L; the byte written is
// floor(counter * 255 / L^2).
//
// An edge is active on sub-scanline y when y0 <= y < y1. Its x is computed in double
// precision when it is activated and then advanced by the truncated per-sub-scanline
// step dx; both are 32-bit values that wrap as the 32-bit machine arithmetic does.
//
// The span's contribution to column c is H(g, c) - H(f, c), with H(v, c) = 0 left of
// px(v), w[frac(v)] at px(v) and L right of it. That makes the coverage a sum over span
// ends, independent of clipping (H(v, c) for v left of the rectangle is L in every
// column of it, and 0 for v right of it). The fast converter uses this: each span end
// adds two values to a difference row that is integrated once per pixel row, giving
// exactly the same counters as the plain converter (ScanReference.cpp).
//
// The order of edges with equal x does matter to the non-zero rule on open paths,
// where a span left open at the end of the list is dropped: the two ends of a span
// may swap places with a coincident edge. Both converters therefore keep the same
// list order: new edges enter at the head, the last activated first, and the list
// is re-sorted stably.
#include "path/EdgeTable.h"

#include "image/Planes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace pathint {

namespace {

// Truncation toward zero into 32 bits; out of range gives INT_MIN, as the x86
// conversion instruction does, so huge slopes stay defined.
inline int TruncToInt32(double v)
{
    if (!(v > -2147483649.0 && v < 2147483648.0))
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

} // namespace

int SubScanlineSpacing(int level) { return static_cast<int>(std::ceil(65536.0 / level)); }

void EdgeWeights(int level, int weights[16])
{
    for (int k = 0; k < 16; ++k)
        weights[k] = static_cast<int>(std::ceil(level * (16 - k) / 16.0));
}

void CoverageTable(int level, unsigned char cover[257])
{
    int full = level * level;
    for (int n = 0; n <= 256; ++n)
        cover[n] = n <= full ? static_cast<unsigned char>(n * 255 / full) : 255;
}

void InitEdge(PathEdge const& e, int y, int level, int& x, int& dx)
{
    double inc = ((double(e.x1) - double(e.x0)) / (double(e.y1) - double(e.y0))) * 65536 / level;
    x = WrapAdd(e.x0, TruncToInt32(((double(y) - double(e.y0)) / 65536) * level * inc));
    dx = TruncToInt32(inc);
}

namespace {

struct Active {
    int x;  // 16.16 at the current sub-scanline
    int dx; // per sub-scanline
    int y1; // removed once y1 <= y + S
    int dir;
};

// Stable insertion sort by x; the list is nearly sorted between sub-scanlines.
inline void SortActive(Active* a, size_t n)
{
    for (size_t i = 1; i < n; ++i) {
        if (a[i].x >= a[i - 1].x)
            continue;
        Active v = a[i];
        size_t j = i;
        do {
            a[j] = a[j - 1];
            --j;
        } while (j > 0 && a[j - 1].x > v.x);
        a[j] = v;
    }
}

} // namespace

bool ScanFast(PathEdge const* edges, size_t count, ScanTarget const& t)
{
    const ScanTables tab(t.level);
    const int L = t.level, S = tab.spacing;
    const int W = t.right - t.left;
    // W + 2 difference counters (a span end at the rectangle's right edge touches
    // indices W and W + 1), then room for every edge to be active at once.
    size_t diffBytes = (static_cast<size_t>(W) + 2) * sizeof(int);
    diffBytes = (diffBytes + 15) & ~size_t(15);
    if (count > (SIZE_MAX - diffBytes) / sizeof(Active))
        return false;
    void* block = std::malloc(diffBytes + count * sizeof(Active));
    if (!block)
        return false;
    int* diff = static_cast<int*>(block);
    Active* active = reinterpret_cast<Active*>(static_cast<unsigned char*>(block) + diffBytes);
    for (int i = 0; i < W + 2; ++i)
        diff[i] = 0;

    int rise[16]; // L - w[k]: the rest of a column's weight, added one column further on
    for (int k = 0; k < 16; ++k)
        rise[k] = L - tab.weight[k];
    const int* weight = tab.weight;
    const int leftFix = t.left * 65536, rightFix = t.right * 65536;
    const unsigned char* cover = tab.cover;

    size_t cursor = 0;
    while (cursor < count && edges[cursor].y1 <= t.top * 65536)
        ++cursor;
    size_t n = 0; // active edges
    bool needsSort = false;
    unsigned char* row = t.data;
    const int lastOffset = (L - 1) * S;

    for (int r = t.top; r < t.bottom; ++r, row += t.rowStride) {
        const int rowY = r * 65536;
        // Edges ending by this row's first sub-scanline are stepped over, as activation
        // would; then, with nothing active and nothing starting by the row's last
        // sub-scanline, the row is empty.
        while (cursor < count && edges[cursor].y1 <= rowY)
            ++cursor;
        if (n == 0 && (cursor == count || edges[cursor].y0 > rowY + lastOffset)) {
            FillPlane8(row, t.pixelStep, 0, 0, static_cast<unsigned>(W), 1);
            continue;
        }
        int lo = W + 2, hi = -1; // touched range of diff
        int y = rowY;
        for (int k = 0; k < L; ++k, y += S) {
            const size_t before = n;
            while (cursor < count) {
                PathEdge const& e = edges[cursor];
                if (e.y1 <= y) {
                    ++cursor;
                    continue;
                }
                if (e.y0 > y)
                    break;
                Active& a = active[n++];
                InitEdge(e, y, L, a.x, a.dx);
                a.y1 = e.y1;
                a.dir = e.dir;
                needsSort = true;
                ++cursor;
            }
            if (n == 0)
                continue;
            if (n != before) {
                // New edges go to the head of the list, the last activated first.
                std::reverse(active + before, active + n);
                std::rotate(active, active + before, active + n);
            }
            if (needsSort)
                SortActive(active, n);

            auto span = [&](int g, int f) {
                if (g < leftFix)
                    g = leftFix;
                if (f > rightFix)
                    f = rightFix;
                if (g >= f)
                    return;
                int pg = (g >> 16) - t.left, pf = (f >> 16) - t.left;
                int kg = (g >> 12) & 15, kf = (f >> 12) & 15;
                diff[pg] += weight[kg];
                diff[pg + 1] += rise[kg];
                diff[pf] -= weight[kf];
                diff[pf + 1] -= rise[kf];
                if (pg < lo)
                    lo = pg;
                if (pf + 1 > hi)
                    hi = pf + 1;
            };
            // One pass: spans from the sorted list, then removal of the edges that end
            // before the next sub-scanline and advance of the rest.
            const int nextY = y + S;
            size_t kept = 0;
            needsSort = false;
            int prevX = std::numeric_limits<int>::min();
            auto keep = [&](Active a) {
                if (a.y1 <= nextY)
                    return;
                a.x = WrapAdd(a.x, a.dx);
                if (a.x < prevX)
                    needsSort = true;
                prevX = a.x;
                active[kept++] = a;
            };
            if (t.nonZero) {
                int winding = 0, g = 0;
                for (size_t i = 0; i < n; ++i) {
                    Active a = active[i];
                    if (winding == 0)
                        g = a.x;
                    winding += a.dir;
                    if (winding == 0)
                        span(g, a.x);
                    keep(a);
                }
            } else {
                size_t i = 0;
                for (; i + 1 < n; i += 2) {
                    Active a = active[i], b = active[i + 1];
                    span(a.x, b.x);
                    keep(a);
                    keep(b);
                }
                if (i < n) // an odd last edge forms no span
                    keep(active[i]);
            }
            n = kept;
        }

        // Integrate the touched part of the difference row; the rest is 0.
        unsigned char* out = row;
        const int step = t.pixelStep;
        int end = hi < W ? hi : W; // columns lo .. end - 1 may be non-zero
        if (hi < 0) {
            FillPlane8(row, step, 0, 0, static_cast<unsigned>(W), 1);
            continue;
        }
        if (step == 1) {
            FillBytes(out, 0, static_cast<unsigned>(lo));
            int sum = 0;
            for (int i = lo; i < end; ++i) {
                sum += diff[i];
                diff[i] = 0;
                out[i] = cover[sum];
            }
            FillBytes(out + end, 0, static_cast<unsigned>(W - end));
        } else {
            FillPlane8(out, step, 0, 0, static_cast<unsigned>(lo), 1);
            int sum = 0;
            for (int i = lo; i < end; ++i) {
                sum += diff[i];
                diff[i] = 0;
                out[static_cast<ptrdiff_t>(i) * step] = cover[sum];
            }
            FillPlane8(out + static_cast<ptrdiff_t>(end) * step, step, 0, 0, static_cast<unsigned>(W - end), 1);
        }
        for (int i = end; i <= hi; ++i)
            diff[i] = 0;
    }
    std::free(block);
    return true;
}

} // namespace pathint
