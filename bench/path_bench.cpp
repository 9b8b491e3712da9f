// Scan conversion speed: CPath::Rasterize beside FreeType's smooth rasterizer, cairo
// (default and fast antialiasing) and stb_truetype's stbtt_Rasterize, single thread,
// on the same outlines, each into a 1024 x 1024 8-bit mask.
//
// Workloads: a 1000-point spiky star polygon; 200 random closed shapes of cubic
// curves; 1000 circles of radius 8 (four cubics each) in one path. Both fill rules
// (stb_truetype fills non-zero only). Throughput is mask pixels per second
// (items/s). Every candidate writes or clears the whole mask on every iteration.
// "tessera_L4" and "tessera_L16" rebuild the edge table each time (the path is
// marked changed); the "_cached" runs reuse it, as a repeated fill of an unchanged
// path does.
#include "path/Path.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#if PATH_BENCH_FREETYPE
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#endif
#if PATH_BENCH_CAIRO
#include <cairo.h>
#endif
#if PATH_BENCH_STB
#include <stb_truetype.h>
#endif

namespace {

constexpr int kSize = 1024;

struct Segment {
    bool cubic;
    double c1x, c1y, c2x, c2y, x, y; // control points unused for lines
};
struct Contour {
    double x, y; // start
    std::vector<Segment> segments;
};
using Outline = std::vector<Contour>;

Outline SpikyStar()
{
    Contour c{};
    const int points = 1000;
    for (int i = 0; i < points; ++i) {
        double a = i * 2 * M_PI / points;
        double r = i % 2 ? 250.0 : 500.0;
        double x = 512 + r * std::cos(a), y = 512 + r * std::sin(a);
        if (i == 0) {
            c.x = x;
            c.y = y;
        } else {
            c.segments.push_back({false, 0, 0, 0, 0, x, y});
        }
    }
    c.segments.push_back({false, 0, 0, 0, 0, c.x, c.y});
    return {c};
}

Outline RandomCubicShapes()
{
    std::mt19937 rng(1234);
    std::uniform_real_distribution<double> u(0, 1);
    Outline out;
    for (int s = 0; s < 200; ++s) {
        double cx = 100 + u(rng) * 824, cy = 100 + u(rng) * 824;
        int n = 4 + static_cast<int>(u(rng) * 3);
        std::vector<std::pair<double, double>> pts;
        for (int i = 0; i < n; ++i) {
            double a = (i + 0.6 * u(rng)) * 2 * M_PI / n, r = 20 + u(rng) * 80;
            pts.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
        }
        Contour c{pts[0].first, pts[0].second, {}};
        for (int i = 1; i <= n; ++i) {
            auto p = pts[i % n];
            c.segments.push_back({true, cx + (u(rng) - 0.5) * 200, cy + (u(rng) - 0.5) * 200,
                                  cx + (u(rng) - 0.5) * 200, cy + (u(rng) - 0.5) * 200, p.first, p.second});
        }
        out.push_back(c);
    }
    return out;
}

Outline Circles()
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> u(10, kSize - 10);
    const double r = 8, k = 0.5522847498 * r;
    Outline out;
    for (int i = 0; i < 1000; ++i) {
        double x = u(rng), y = u(rng);
        Contour c{x + r, y, {}};
        c.segments.push_back({true, x + r, y + k, x + k, y + r, x, y + r});
        c.segments.push_back({true, x - k, y + r, x - r, y + k, x - r, y});
        c.segments.push_back({true, x - r, y - k, x - k, y - r, x, y - r});
        c.segments.push_back({true, x + k, y - r, x + r, y - k, x + r, y});
        out.push_back(c);
    }
    return out;
}

void Count(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * int64_t(kSize) * kSize); }

// --- tessera -----------------------------------------------------------------------

void RunTessera(benchmark::State& state, Outline const& outline, bool evenOdd, int level, bool cached)
{
    CPath path;
    for (Contour const& c : outline) {
        path.MoveTo(c.x, c.y);
        for (Segment const& s : c.segments) {
            if (s.cubic)
                path.CurveTo(s.c1x, s.c1y, s.c2x, s.c2y, s.x, s.y);
            else
                path.LineTo(s.x, s.y);
        }
        path.Close();
    }
    std::vector<unsigned char> mask(kSize * kSize);
    const CRect rect(0, 0, kSize, kSize);
    const auto rule = evenOdd ? CPath::FR_EVEN_ODD : CPath::FR_NON_ZERO;
    path.Flatten();
    for (auto _ : state) {
        if (!cached)
            path.Translate(0, 0); // marks the edge table stale: flatten again
        if (!path.Rasterize(rect, mask.data(), 1, kSize, rule, level))
            state.SkipWithError("Rasterize failed");
        benchmark::DoNotOptimize(mask.data());
    }
    Count(state);
}

// --- FreeType ----------------------------------------------------------------------

#if PATH_BENCH_FREETYPE
void RunFreeType(benchmark::State& state, Outline const& outline, bool evenOdd)
{
    FT_Library lib;
    FT_Init_FreeType(&lib);
    int points = 0;
    for (Contour const& c : outline) {
        points += 1;
        for (Segment const& s : c.segments)
            points += s.cubic ? 3 : 1;
    }
    FT_Outline ft;
    FT_Outline_New(lib, points, static_cast<int>(outline.size()), &ft);
    int k = 0;
    // 26.6 with y up: the bitmap's first row is the top of the mask.
    auto put = [&](double x, double y, char tag) {
        ft.points[k].x = std::lround(x * 64);
        ft.points[k].y = std::lround((kSize - y) * 64);
        ft.tags[k] = tag;
        ++k;
    };
    for (size_t i = 0; i < outline.size(); ++i) {
        Contour const& c = outline[i];
        const int start = k;
        put(c.x, c.y, FT_CURVE_TAG_ON);
        for (Segment const& s : c.segments) {
            if (s.cubic) {
                put(s.c1x, s.c1y, FT_CURVE_TAG_CUBIC);
                put(s.c2x, s.c2y, FT_CURVE_TAG_CUBIC);
            }
            put(s.x, s.y, FT_CURVE_TAG_ON);
        }
        // A contour closes onto its first point by itself: drop a final copy of it.
        if (ft.points[k - 1].x == ft.points[start].x && ft.points[k - 1].y == ft.points[start].y)
            --k;
        ft.contours[i] = static_cast<short>(k - 1);
    }
    ft.n_points = static_cast<short>(k);
    if (evenOdd) // keep FT_OUTLINE_OWNER, so that FT_Outline_Done frees the arrays
        ft.flags |= FT_OUTLINE_EVEN_ODD_FILL;
    std::vector<unsigned char> mask(kSize * kSize);
    FT_Bitmap bitmap{};
    bitmap.rows = kSize;
    bitmap.width = kSize;
    bitmap.pitch = kSize;
    bitmap.buffer = mask.data();
    bitmap.num_grays = 256;
    bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
    FT_Raster_Params params{};
    params.target = &bitmap;
    params.flags = FT_RASTER_FLAG_AA;
    for (auto _ : state) {
        std::memset(mask.data(), 0, mask.size()); // the renderer only writes covered spans
        if (FT_Error e = FT_Outline_Render(lib, &ft, &params))
            state.SkipWithError(("FT_Outline_Render failed: error " + std::to_string(e)).c_str());
        benchmark::DoNotOptimize(mask.data());
    }
    FT_Outline_Done(lib, &ft);
    FT_Done_FreeType(lib);
    Count(state);
}
#endif

// --- cairo -------------------------------------------------------------------------

#if PATH_BENCH_CAIRO
void RunCairo(benchmark::State& state, Outline const& outline, bool evenOdd, cairo_antialias_t aa)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, kSize, kSize);
    cairo_t* cr = cairo_create(surface);
    for (Contour const& c : outline) {
        cairo_move_to(cr, c.x, c.y);
        for (Segment const& s : c.segments) {
            if (s.cubic)
                cairo_curve_to(cr, s.c1x, s.c1y, s.c2x, s.c2y, s.x, s.y);
            else
                cairo_line_to(cr, s.x, s.y);
        }
        cairo_close_path(cr);
    }
    cairo_path_t* path = cairo_copy_path(cr);
    cairo_new_path(cr);
    cairo_set_fill_rule(cr, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    cairo_set_antialias(cr, aa);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (auto _ : state) {
        cairo_surface_flush(surface);
        std::memset(data, 0, size_t(stride) * kSize);
        cairo_surface_mark_dirty(surface);
        cairo_append_path(cr, path);
        cairo_fill(cr);
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(data);
    }
    cairo_path_destroy(path);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    Count(state);
}
#endif

// --- stb_truetype ------------------------------------------------------------------

#if PATH_BENCH_STB
void RunStb(benchmark::State& state, Outline const& outline)
{
    // Vertices are 16-bit: 1/16 pixel units, scaled back by the rasterizer.
    std::vector<stbtt_vertex> v;
    auto q = [](double d) { return static_cast<stbtt_vertex_type>(std::lround(d * 16)); };
    for (Contour const& c : outline) {
        stbtt_vertex m{};
        m.type = STBTT_vmove;
        m.x = q(c.x);
        m.y = q(c.y);
        v.push_back(m);
        for (Segment const& s : c.segments) {
            stbtt_vertex e{};
            e.type = s.cubic ? STBTT_vcubic : STBTT_vline;
            e.x = q(s.x);
            e.y = q(s.y);
            e.cx = q(s.c1x);
            e.cy = q(s.c1y);
            e.cx1 = q(s.c2x);
            e.cy1 = q(s.c2y);
            v.push_back(e);
        }
    }
    std::vector<unsigned char> mask(kSize * kSize);
    stbtt__bitmap bitmap{kSize, kSize, kSize, mask.data()};
    for (auto _ : state) {
        // Flatness 0.15 pixel, close to the 10000/65536 pixel of CPath's flattening.
        stbtt_Rasterize(&bitmap, 0.15f, v.data(), static_cast<int>(v.size()), 1.0f / 16, 1.0f / 16, 0, 0, 0, 0, 0,
                        nullptr);
        benchmark::DoNotOptimize(mask.data());
    }
    Count(state);
}
#endif

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    static const struct {
        const char* name;
        Outline outline;
    } workloads[] = {{"star", SpikyStar()}, {"shapes", RandomCubicShapes()}, {"circles", Circles()}};
    for (auto const& w : workloads) {
        Outline const* o = &w.outline;
        for (bool evenOdd : {true, false}) {
            std::string prefix = std::string(w.name) + (evenOdd ? "/evenodd/" : "/nonzero/");
            for (int level : {4, 16}) {
                for (bool cached : {false, true}) {
                    std::string name = prefix + "tessera_L" + std::to_string(level) + (cached ? "_cached" : "");
                    benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& s) {
                        RunTessera(s, *o, evenOdd, level, cached);
                    });
                }
            }
#if PATH_BENCH_FREETYPE
            benchmark::RegisterBenchmark((prefix + "freetype").c_str(),
                                         [=](benchmark::State& s) { RunFreeType(s, *o, evenOdd); });
#endif
#if PATH_BENCH_CAIRO
            benchmark::RegisterBenchmark((prefix + "cairo_default").c_str(), [=](benchmark::State& s) {
                RunCairo(s, *o, evenOdd, CAIRO_ANTIALIAS_DEFAULT);
            });
            benchmark::RegisterBenchmark((prefix + "cairo_fast").c_str(), [=](benchmark::State& s) {
                RunCairo(s, *o, evenOdd, CAIRO_ANTIALIAS_FAST);
            });
#endif
#if PATH_BENCH_STB
            if (!evenOdd)
                benchmark::RegisterBenchmark((prefix + "stb_truetype").c_str(),
                                             [=](benchmark::State& s) { RunStb(s, *o); });
#endif
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
