// Fuzz target: random paths rasterized into random rectangles with random rules,
// levels, pixel steps and row strides.
//
// Checks: nothing outside the addressed pixels changes (guard bytes around and between
// them), every pixel of an accepted rectangle is written (two runs over buffers
// pre-filled with 0x00 and 0xFF give the same bytes), refusals write nothing, and the
// fast scan converter matches the plain reference byte for byte.
//
// Input: 4 header bytes (rule, level, pixel step, flags), 4 rectangle bytes, then
// records of 1 op byte followed by the coordinates the op needs, each 2 bytes
// (scaled by the op byte's high bits) or 4 bytes (raw 16.16).
#include "path/EdgeTable.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    bool Byte(uint8_t& v)
    {
        if (!n)
            return false;
        v = *p++;
        --n;
        return true;
    }
    bool Coord(int mode, int& v)
    {
        if (mode == 3) { // raw 32-bit 16.16
            if (n < 4)
                return false;
            uint32_t u = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
            v = int32_t(u);
            p += 4;
            n -= 4;
            return true;
        }
        if (n < 2)
            return false;
        int16_t s = int16_t(uint16_t(p[0] | p[1] << 8));
        p += 2;
        n -= 2;
        static const int shift[3] = {10, 12, 16}; // 1/64 px, 1/16 px, whole pixels
        v = int(uint32_t(int32_t(s)) << shift[mode]);
        return true;
    }
};

[[noreturn]] void Fault(const char* what)
{
    std::fprintf(stderr, "path_raster: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    static const int rules[4] = {0, 1, 2, -1};
    const int rule = rules[data[0] & 3];
    const int level = int(data[1] % 20) - 1; // -1..18: the edges of the valid range too
    const int step = 1 + data[2] % 4;
    const uint8_t flags = data[3];
    const bool bottomUp = flags & 1, relative = flags & 2, extreme = flags & 4;
    const int pad = (flags >> 3) & 7; // extra bytes per row

    CRect rect;
    rect.left = int8_t(data[4]) / 4;
    rect.top = int8_t(data[5]) / 4;
    rect.right = rect.left + data[6] % 48 - 2; // may be empty or inverted
    rect.bottom = rect.top + data[7] % 48 - 2;
    if (extreme) { // against the coordinate limits, inside and just outside
        static const int corner[4] = {-32768, -32769, 32727, 32728};
        rect.left = corner[(data[4] >> 6) & 3] + (data[4] & 7);
        rect.top = corner[(data[5] >> 6) & 3] + (data[5] & 7);
        rect.right = rect.left + data[6] % 40;
        rect.bottom = rect.top + data[7] % 40;
    }

    CPath path;
    std::vector<PathNode> records;
    Reader in{data + 8, size - 8};
    uint8_t op;
    while (records.size() < 400 && in.Byte(op)) {
        int mode = op >> 6, kind = op & 3;
        int c[6] = {0, 0, 0, 0, 0, 0};
        int need = kind == PathNode::LO_CURVE ? 6 : kind == PathNode::LO_CLOSE ? 0 : 2;
        bool ok = true;
        for (int i = 0; i < need && ok; ++i)
            ok = in.Coord(mode, c[i]);
        if (!ok)
            break;
        PathNode node;
        std::memset(&node, 0, sizeof node);
        node.op = PathNode::LINE_OP(kind);
        switch (kind) {
        case PathNode::LO_MOVE: path.MoveTo(c[0], c[1]); node.points[0] = {c[0], c[1]}; break;
        case PathNode::LO_LINE: path.LineTo(c[0], c[1]); node.points[0] = {c[0], c[1]}; break;
        case PathNode::LO_CURVE:
            path.CurveTo(c[0], c[1], c[2], c[3], c[4], c[5]);
            node.points[0] = {c[0], c[1]};
            node.points[1] = {c[2], c[3]};
            node.points[2] = {c[4], c[5]};
            break;
        default: path.Close(); break;
        }
        records.push_back(node);
    }
    path.SetAbsolute(!relative);

    // Buffer: a guard, then rows of w pixels at `step` bytes plus padding, then a guard.
    const int w = rect.right > rect.left ? rect.right - rect.left : 0;
    const int h = rect.bottom > rect.top ? rect.bottom - rect.top : 0;
    const int stride = w * step + pad;
    const size_t guard = 64;
    const size_t bytes = guard * 2 + size_t(stride) * (h ? h : 1);
    std::vector<uint8_t> runs[2];
    bool results[2];
    for (int run = 0; run < 2; ++run) {
        runs[run].assign(bytes, run ? 0xFF : 0x00);
        uint8_t* first = runs[run].data() + guard + (bottomUp && h ? size_t(stride) * (h - 1) : 0);
        results[run] = path.Rasterize(rect, first, step, bottomUp ? -stride : stride, CPath::FILL_RULE(rule), level);
    }
    if (results[0] != results[1])
        Fault("the result depends on the buffer");
    // Level and rectangle are refused first, then a relative path; a path without
    // records succeeds without writing before the rule is looked at.
    auto inRange = [](int v) { return v >= -32768 && v <= 32767; };
    const bool ruleOk = rule == 0 || rule == 1;
    const bool expected = level >= 1 && level <= 16 && inRange(rect.left) && inRange(rect.top) &&
                          inRange(rect.right) && inRange(rect.bottom) && !relative && (records.empty() || ruleOk);
    const bool writes = expected && ruleOk && !records.empty() && w > 0 && h > 0;
    if (results[0] != expected)
        Fault("unexpected result");
    for (size_t i = 0; i < bytes; ++i) {
        bool pixel = false;
        if (writes && i >= guard && i < guard + size_t(stride) * h) {
            size_t o = i - guard;
            size_t col = o % size_t(stride);
            pixel = col < size_t(w) * step && col % step == 0;
        }
        if (pixel) {
            if (runs[0][i] != runs[1][i])
                Fault("a pixel of the rectangle was not written");
        } else if (runs[0][i] != 0x00 || runs[1][i] != 0xFF) {
            Fault("a byte outside the rectangle's pixels changed");
        }
    }

    // The fast converter against the reference on the same edges.
    if (writes) {
        CEdgeTable table;
        pathint::RebuildEdgeTable(table, records.data(), records.size());
        pathint::ScanTarget t{rect.left, rect.top, rect.right, rect.bottom, nullptr, 1, w, rule == 1, level};
        std::vector<uint8_t> a(size_t(w) * h), b(size_t(w) * h);
        t.data = a.data();
        pathint::ScanReference(table.Edges(), table.Count(), t);
        t.data = b.data();
        pathint::ScanFast(table.Edges(), table.Count(), t);
        if (a != b)
            Fault("fast and reference converters differ");
        // And the library's output is the same bytes.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                size_t row = bottomUp ? size_t(h - 1 - y) : size_t(y);
                if (runs[0][guard + row * stride + size_t(x) * step] != a[size_t(y) * w + x])
                    Fault("library output differs from the reference");
            }
    }
    return 0;
}
