// The plain scan converter, written as the method is defined (see Raster.cpp): a
// linked active list with new edges at its head, re-sorted by neighbour swaps when
// edges were added or crossed, and spans added column by column into W + 1 counters.
// It is the reference the fast converter is tested against, byte for byte.
#include "path/EdgeTable.h"

#include "image/Planes.h"

#include <cstdlib>

namespace pathint {

bool ScanReference(PathEdge* edges, size_t count, ScanTarget const& t)
{
    const ScanTables tab(t.level);
    const int L = t.level, S = tab.spacing;
    const int W = t.right - t.left;
    int* counters = static_cast<int*>(std::malloc((static_cast<size_t>(W) + 1) * sizeof(int)));
    if (!counters)
        return false;
    FillBytes(reinterpret_cast<unsigned char*>(counters), 0, static_cast<unsigned>(W) * 4);
    const int leftFix = t.left * 65536, rightFix = t.right * 65536;

    size_t cursor = 0;
    while (cursor < count && edges[cursor].y1 <= t.top * 65536)
        ++cursor;
    PathEdge* head = nullptr;
    bool needsSort = false;
    unsigned char* row = t.data;

    for (int r = t.top; r < t.bottom; ++r) {
        if (t.nonZero)
            FillBytes(reinterpret_cast<unsigned char*>(counters), 0, static_cast<unsigned>(W) * 4);
        int y = r * 65536;
        for (int k = 0; k < L; ++k) {
            while (cursor < count) {
                PathEdge* e = &edges[cursor];
                if (e->y1 <= y) {
                    ++cursor;
                    continue;
                }
                if (e->y0 > y)
                    break;
                e->next = head;
                head = e;
                InitEdge(*e, y, L, e->x, e->dx);
                needsSort = true;
                ++cursor;
            }
            if (needsSort && head && head->next) {
                bool swapped;
                do {
                    swapped = false;
                    for (PathEdge** link = &head; (*link)->next; link = &(*link)->next) {
                        PathEdge* a = *link;
                        PathEdge* b = a->next;
                        if (a->x > b->x) {
                            a->next = b->next;
                            b->next = a;
                            *link = b;
                            swapped = true;
                        }
                    }
                } while (swapped);
            }
            auto span = [&](int g, int f) {
                if (g < leftFix)
                    g = leftFix;
                if (f > rightFix)
                    f = rightFix;
                if (g >= f)
                    return;
                int pg = (g >> 16) - t.left, pf = (f >> 16) - t.left;
                counters[pg] += tab.weight[(g >> 12) & 15];
                for (int c = pg + 1; c <= pf; ++c)
                    counters[c] += L;
                counters[pf] -= tab.weight[(f >> 12) & 15];
            };
            if (t.nonZero) {
                int winding = 0;
                int g = 0;
                for (PathEdge* e = head; e; e = e->next) {
                    if (winding == 0)
                        g = e->x;
                    winding += e->dir;
                    if (winding == 0)
                        span(g, e->x);
                }
            } else {
                for (PathEdge* e = head; e && e->next; e = e->next->next)
                    span(e->x, e->next->x);
            }
            for (PathEdge** link = &head; *link;) {
                if ((*link)->y1 <= y + S)
                    *link = (*link)->next;
                else
                    link = &(*link)->next;
            }
            needsSort = false;
            for (PathEdge *e = head, *prev = nullptr; e; prev = e, e = e->next) {
                e->x = WrapAdd(e->x, e->dx);
                if (prev && e->x < prev->x)
                    needsSort = true;
            }
            y += S;
        }
        if (t.nonZero) {
            for (int i = 0; i < W; ++i)
                counters[i] = tab.cover[counters[i]];
            CopyPlane8(row, t.pixelStep, 0, reinterpret_cast<unsigned char const*>(counters), 4, 0,
                       static_cast<unsigned>(W), 1);
        } else {
            unsigned char* out = row;
            for (int i = 0; i < W; ++i, out += t.pixelStep) {
                *out = tab.cover[counters[i]];
                counters[i] = 0;
            }
        }
        row += t.rowStride;
    }
    std::free(counters);
    return true;
}

} // namespace pathint
