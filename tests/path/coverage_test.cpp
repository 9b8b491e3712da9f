// Coverage at level 16 against independent measures of area: the exact (shoelace) area
// of random simple polygons, and FreeType's exact-area rasterizer pixel by pixel.
//
// Error budget of the method at level 16, per pixel. The byte is
// floor(n * 255 / 256), where n / 256 = sum over the 16 sub-scanlines of the covered
// length of the pixel's column on that line, measured with every crossing floored to
// 1/16 pixel, divided by 16. Against the exact area A of the pixel:
//  - point sampling each 1/16-pixel band at its top line misses at most the change of
//    the covered length within the band, and the covered length changes only where an
//    edge crosses the pixel: in total at most sum |dx| / 16 over the edges' parts
//    inside the pixel;
//  - each crossing is off by less than 1/16 pixel (flooring) plus the drift of the
//    truncated per-line step (at most one 16.16 unit per line walked, 16 lines per
//    pixel); an edge crosses at most 16 |dy| + 1 of the pixel's lines, each weighing
//    1/16: at most (1/16 + drift) * (|dy| + 1/16) per edge part;
//  - the byte lies within 1 below 255 * n / 256.
// FreeType's smooth rasterizer computes the exact area of the same outline (vertices
// on a 1/64 grid, exact in 26.6) and reports it within 2 of 255 * A, where the pixel
// holds two regions whose winding numbers differ by one: a pixel touched by a single
// edge or by two consecutive edges. Where more edges meet, it folds the pixel's
// average winding number instead, which is not the area under either rule, so such
// pixels are not compared. Pixels no edge touches must agree exactly.
#include "path/Path.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_BITMAP_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int kSize = 48; // canvas, pixels

struct Pt {
    double x, y;
};
using Poly = std::vector<Pt>;

double OnGrid(double v) { return std::round(v * 64) / 64; } // exact in 26.6 and 16.16

// A simple polygon: vertices at increasing angles around a centre, no two more than
// 3/4 of a half turn apart, so that the centre stays inside.
Poly StarShaped(std::mt19937& rng)
{
    std::uniform_real_distribution<double> u(0, 1);
    int n = 4 + static_cast<int>(u(rng) * 13);
    double cx = 12 + u(rng) * 24, cy = 12 + u(rng) * 24;
    double rmax = std::min({cx, cy, kSize - cx, kSize - cy}) - 0.5;
    Poly p;
    for (int i = 0; i < n; ++i) {
        double a = (i + 0.5 * u(rng)) * 2 * M_PI / n;
        double r = (0.2 + 0.8 * u(rng)) * rmax;
        p.push_back({OnGrid(cx + r * std::cos(a)), OnGrid(cy + r * std::sin(a))});
    }
    return p;
}

// Any polygon, self-intersections included.
Poly Scribble(std::mt19937& rng)
{
    std::uniform_real_distribution<double> u(0.5, kSize - 0.5);
    int n = 3 + static_cast<int>(rng() % 10);
    Poly p;
    for (int i = 0; i < n; ++i)
        p.push_back({OnGrid(u(rng)), OnGrid(u(rng))});
    return p;
}

double Shoelace(Poly const& p)
{
    double a = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        Pt const& s = p[i];
        Pt const& t = p[(i + 1) % p.size()];
        a += s.x * t.y - t.x * s.y;
    }
    return std::fabs(a) / 2;
}

std::vector<unsigned char> Ours(std::vector<Poly> const& polys, CPath::FILL_RULE rule)
{
    CPath path;
    for (Poly const& p : polys) {
        path.MoveTo(p[0].x, p[0].y);
        for (size_t i = 1; i < p.size(); ++i)
            path.LineTo(p[i].x, p[i].y);
        path.Close();
    }
    std::vector<unsigned char> mask(kSize * kSize);
    EXPECT_TRUE(path.Rasterize(CRect(0, 0, kSize, kSize), mask.data(), 1, kSize, rule, 16));
    return mask;
}

std::vector<unsigned char> FreeType(FT_Library lib, std::vector<Poly> const& polys, bool evenOdd)
{
    int points = 0;
    for (Poly const& p : polys)
        points += static_cast<int>(p.size());
    FT_Outline outline;
    EXPECT_EQ(FT_Outline_New(lib, points, static_cast<int>(polys.size()), &outline), 0);
    int k = 0;
    for (size_t c = 0; c < polys.size(); ++c) {
        for (Pt const& pt : polys[c]) {
            // y up in FreeType: row 0 of the bitmap is the top, y = kSize.
            outline.points[k].x = static_cast<FT_Pos>(std::lround(pt.x * 64));
            outline.points[k].y = static_cast<FT_Pos>(std::lround((kSize - pt.y) * 64));
            outline.tags[k] = FT_CURVE_TAG_ON;
            ++k;
        }
        outline.contours[c] = static_cast<short>(k - 1);
    }
    if (evenOdd) // keep FT_OUTLINE_OWNER, so that FT_Outline_Done frees the arrays
        outline.flags |= FT_OUTLINE_EVEN_ODD_FILL;
    std::vector<unsigned char> mask(kSize * kSize, 0);
    FT_Bitmap bitmap;
    FT_Bitmap_Init(&bitmap);
    bitmap.rows = kSize;
    bitmap.width = kSize;
    bitmap.pitch = kSize;
    bitmap.buffer = mask.data();
    bitmap.num_grays = 256;
    bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
    EXPECT_EQ(FT_Outline_Get_Bitmap(lib, &outline, &bitmap), 0);
    FT_Outline_Done(lib, &outline);
    return mask;
}

// Clips segment a-b to the pixel square widened by margin on the left and right
// (Liang-Barsky); false when it misses.
bool ClipToPixel(Pt a, Pt b, int px, int py, double margin, Pt& ca, Pt& cb)
{
    double t0 = 0, t1 = 1, dx = b.x - a.x, dy = b.y - a.y;
    double p[4] = {-dx, dx, -dy, dy};
    double q[4] = {a.x - (px - margin), px + 1 + margin - a.x, a.y - py, py + 1 - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
        } else {
            double r = q[i] / p[i];
            if (p[i] < 0)
                t0 = std::max(t0, r);
            else
                t1 = std::min(t1, r);
        }
    }
    if (t0 > t1)
        return false;
    ca = {a.x + t0 * dx, a.y + t0 * dy};
    cb = {a.x + t1 * dx, a.y + t1 * dy};
    return true;
}

constexpr double kUntouched = -1, kNotComparable = -2;

// Per-pixel tolerance in byte units from the budget above; kUntouched where no edge
// touches, kNotComparable where more than two edges or two edges not consecutive do.
// The budget in pixel-area units goes to *areaOut when given.
std::vector<double> Budget(std::vector<Poly> const& polys, std::vector<double>* areaOut = nullptr)
{
    // An edge's x on a sub-scanline lags its true position by at most one 16.16 unit
    // per line walked plus one for the first; so an edge that far outside a pixel may
    // still reach into it.
    const double drift = (kSize * 16 + 1) / 65536.0;
    std::vector<double> area(kSize * kSize, 0); // budget in pixel-area units
    std::vector<std::vector<std::pair<size_t, size_t>>> touching(kSize * kSize); // (contour, edge)
    for (size_t c = 0; c < polys.size(); ++c) {
        Poly const& p = polys[c];
        for (size_t i = 0; i < p.size(); ++i) {
            Pt a = p[i], b = p[(i + 1) % p.size()];
            int x0 = std::max(0, static_cast<int>(std::floor(std::min(a.x, b.x))) - 1);
            int x1 = std::min(kSize - 1, static_cast<int>(std::floor(std::max(a.x, b.x))) + 1);
            int y0 = std::max(0, static_cast<int>(std::floor(std::min(a.y, b.y))) - 1);
            int y1 = std::min(kSize - 1, static_cast<int>(std::floor(std::max(a.y, b.y))) + 1);
            for (int y = y0; y <= y1; ++y) {
                for (int x = x0; x <= x1; ++x) {
                    Pt ca, cb;
                    if (!ClipToPixel(a, b, x, y, drift, ca, cb))
                        continue;
                    touching[y * kSize + x].push_back({c, i});
                    area[y * kSize + x] +=
                        std::fabs(cb.x - ca.x) / 16 + (1.0 / 16 + drift) * (std::fabs(cb.y - ca.y) + 1.0 / 16);
                }
            }
        }
    }
    std::vector<double> tol(kSize * kSize);
    for (int i = 0; i < kSize * kSize; ++i) {
        auto const& t = touching[i];
        bool consecutive = t.size() == 2 && t[0].first == t[1].first &&
                           ((t[0].second + 1) % polys[t[0].first].size() == t[1].second ||
                            (t[1].second + 1) % polys[t[0].first].size() == t[0].second);
        if (t.empty())
            tol[i] = kUntouched;
        else if (t.size() == 1 || consecutive)
            tol[i] = 255 * area[i] + 3;
        else
            tol[i] = kNotComparable;
    }
    if (areaOut)
        *areaOut = area;
    return tol;
}

TEST(PathCoverage, TotalMatchesShoelaceAreaOfSimplePolygons)
{
    std::mt19937 rng(4242);
    for (int iter = 0; iter < 300; ++iter) {
        Poly p = StarShaped(rng);
        double exact = Shoelace(p);
        std::vector<double> area;
        Budget({p}, &area);
        for (auto rule : {CPath::FR_EVEN_ODD, CPath::FR_NON_ZERO}) {
            auto mask = Ours({p}, rule);
            double total = 0, budget = 0;
            for (int i = 0; i < kSize * kSize; ++i) {
                total += mask[i] / 255.0;
                budget += area[i] + 1 / 255.0; // the method's budget plus the byte's floor
            }
            EXPECT_NEAR(total, exact, budget) << "polygon " << iter << " with " << p.size() << " vertices";
        }
    }
}

TEST(PathCoverage, PixelsAgreeWithFreeTypeWithinTheBudget)
{
    FT_Library lib;
    ASSERT_EQ(FT_Init_FreeType(&lib), 0);
    std::mt19937 rng(777);
    double worstRatio = 0;
    long compared = 0, skipped = 0;
    for (int iter = 0; iter < 300; ++iter) {
        std::vector<Poly> polys;
        int count = 1 + iter % 3;
        for (int i = 0; i < count; ++i)
            polys.push_back(iter % 2 ? Scribble(rng) : StarShaped(rng));
        std::vector<double> tol = Budget(polys);
        for (bool evenOdd : {true, false}) {
            auto ours = Ours(polys, evenOdd ? CPath::FR_EVEN_ODD : CPath::FR_NON_ZERO);
            auto ft = FreeType(lib, polys, evenOdd);
            for (int i = 0; i < kSize * kSize; ++i) {
                int diff = std::abs(int(ours[i]) - int(ft[i]));
                if (tol[i] == kNotComparable) {
                    ++skipped;
                    continue;
                }
                ++compared;
                if (tol[i] == kUntouched) {
                    ASSERT_EQ(diff, 0) << "untouched pixel " << i % kSize << "," << i / kSize << " polygon set "
                                       << iter;
                } else {
                    ASSERT_LE(diff, tol[i]) << "pixel " << i % kSize << "," << i / kSize << " polygon set " << iter
                                            << (evenOdd ? " even-odd" : " non-zero");
                    worstRatio = std::max(worstRatio, diff / tol[i]);
                }
            }
        }
    }
    FT_Done_FreeType(lib);
    // The budget is a bound, not an estimate: typical pixels use a fraction of it.
    RecordProperty("worst_fraction_of_budget", std::to_string(worstRatio));
    // Nearly every pixel is compared: the skipped ones are where edges cross or meet.
    EXPECT_LT(skipped * 50, compared);
}

} // namespace
