// GIF decoding throughput: CGifIO::Load against giflib (DGifSlurp, then the indices
// copied into one canvas buffer) and stb_image (stbi_load, which expands to RGBA) on
// the same 2000 x 2000 photo-like 256-colour file, non-interlaced and interlaced, read
// from the page cache. Items are pixels: items_per_second is pixels per second.
#include "gif/GifIO.h"
#include "tests/gif/GifEncoder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#if TESSERA_BENCH_GIFLIB
#include <gif_lib.h>
#endif
#if TESSERA_BENCH_STB
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_GIF
#include <stb/stb_image.h>
#endif

namespace {

constexpr int kSize = 2000;

// Lattice value noise in [0, 1), bilinear, from a hash of the cell corners.
double Lattice(int x, int y, unsigned seed)
{
    unsigned h = static_cast<unsigned>(x) * 374761393u + static_cast<unsigned>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return ((h ^ (h >> 16)) & 0xFFFF) / 65536.0;
}

double Noise(double x, double y, unsigned seed)
{
    int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
    double fx = x - xi, fy = y - yi;
    double a = Lattice(xi, yi, seed), b = Lattice(xi + 1, yi, seed);
    double c = Lattice(xi, yi + 1, seed), d = Lattice(xi + 1, yi + 1, seed);
    return (a * (1 - fx) + b * fx) * (1 - fy) + (c * (1 - fx) + d * fx) * fy;
}

double Fractal(double x, double y, unsigned seed)
{
    return 0.45 * Noise(x / 64, y / 64, seed) + 0.3 * Noise(x / 16, y / 16, seed + 1) +
           0.25 * Noise(x / 2, y / 2, seed + 2);
}

// A landscape: sky with a sun, textured hills, shaded balls and sensor noise,
// quantised to a 6 x 7 x 6 colour cube (plus four greys) with Floyd-Steinberg
// dithering, as photographs saved as GIF usually are.
giftest::Bytes PhotoLikePicture(giftest::Bytes& table)
{
    const int levels[3] = {6, 7, 6};
    table.assign(768, 0);
    int n = 0;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 7; ++g)
            for (int b = 0; b < 6; ++b, ++n) {
                table[3 * n] = static_cast<uint8_t>(r * 255 / 5);
                table[3 * n + 1] = static_cast<uint8_t>(g * 255 / 6);
                table[3 * n + 2] = static_cast<uint8_t>(b * 255 / 5);
            }
    for (; n < 256; ++n)
        table[3 * n] = table[3 * n + 1] = table[3 * n + 2] = static_cast<uint8_t>((n - 251) * 51);

    std::vector<float> rgb(static_cast<size_t>(kSize) * kSize * 3);
    unsigned rng = 12345;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            double r, g, b;
            double horizon = kSize * 0.55 + 90 * std::sin(x / 170.0) + 40 * std::sin(x / 53.0 + 1);
            if (y < horizon) {
                double t = y / horizon;
                r = 90 + 90 * t;
                g = 140 + 60 * t;
                b = 235 - 40 * t;
                double cloud = Fractal(x * 0.7, y * 1.6, 7);
                if (cloud > 0.55) {
                    double k = std::min(1.0, (cloud - 0.55) * 4);
                    r += (245 - r) * k;
                    g += (245 - g) * k;
                    b += (250 - b) * k;
                }
                double ds = std::hypot(x - 1500.0, y - 300.0);
                if (ds < 120) {
                    double k = ds < 90 ? 1.0 : (120 - ds) / 30;
                    r += (255 - r) * k;
                    g += (240 - g) * k;
                    b += (180 - b) * k;
                }
            } else {
                double t = Fractal(x, y, 3);
                double depth = (y - horizon) / (kSize - horizon + 1);
                r = 60 + 90 * t + 40 * depth;
                g = 90 + 100 * t - 20 * depth;
                b = 30 + 40 * t;
            }
            for (int ball = 0; ball < 5; ++ball) {
                double cx = 300 + ball * 350, cy = 1500 - (ball % 2) * 200, radius = 110 + 25 * ball;
                double dx = (x - cx) / radius, dy = (y - cy) / radius, d2 = dx * dx + dy * dy;
                if (d2 < 1) {
                    double dz = std::sqrt(1 - d2);
                    double light = std::max(0.0, -0.5 * dx - 0.6 * dy + 0.62 * dz);
                    double base[3] = {200.0 - ball * 30, 60.0 + ball * 35, 80.0 + (ball % 3) * 50};
                    r = base[0] * (0.25 + 0.75 * light);
                    g = base[1] * (0.25 + 0.75 * light);
                    b = base[2] * (0.25 + 0.75 * light);
                }
            }
            float* p = &rgb[(static_cast<size_t>(y) * kSize + x) * 3];
            double c[3] = {r, g, b};
            for (int k = 0; k < 3; ++k) {
                rng = rng * 1103515245u + 12345u;
                p[k] = static_cast<float>(c[k] + ((rng >> 16) % 33) - 16.0);
            }
        }
    }

    giftest::Bytes indices(static_cast<size_t>(kSize) * kSize);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            float* p = &rgb[(static_cast<size_t>(y) * kSize + x) * 3];
            int q[3];
            float err[3];
            for (int k = 0; k < 3; ++k) {
                float v = std::min(255.0f, std::max(0.0f, p[k]));
                int steps = levels[k] - 1;
                q[k] = static_cast<int>(std::lround(v * steps / 255.0f));
                err[k] = v - static_cast<float>(q[k] * 255 / steps);
            }
            indices[static_cast<size_t>(y) * kSize + x] = static_cast<uint8_t>((q[0] * 7 + q[1]) * 6 + q[2]);
            auto spread = [&](int dx, int dy, float w) {
                int xx = x + dx, yy = y + dy;
                if (xx < 0 || xx >= kSize || yy >= kSize)
                    return;
                float* t = &rgb[(static_cast<size_t>(yy) * kSize + xx) * 3];
                for (int k = 0; k < 3; ++k)
                    t[k] += err[k] * w;
            };
            spread(1, 0, 7 / 16.0f);
            spread(-1, 1, 3 / 16.0f);
            spread(0, 1, 5 / 16.0f);
            spread(1, 1, 1 / 16.0f);
        }
    }
    return indices;
}

struct Fixture {
    std::string folder;
    std::string files[2]; // non-interlaced, interlaced
    giftest::Bytes pixels;
    size_t fileBytes[2] = {0, 0};

    Fixture()
    {
        char pattern[] = "/tmp/tessera-gif-bench-XXXXXX";
        folder = mkdtemp(pattern);
        giftest::Bytes table;
        pixels = PhotoLikePicture(table);
        for (int i = 0; i < 2; ++i) {
            giftest::File f = giftest::OneFrame(kSize, kSize, pixels, i == 1);
            f.globalTable = table;
            giftest::Bytes bytes = giftest::Build(f);
            files[i] = folder + (i ? "/photo-interlaced.gif" : "/photo.gif");
            std::ofstream(files[i], std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            fileBytes[i] = bytes.size();
        }
        Check();
    }
    ~Fixture()
    {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    // Every decoder must produce the picture, or the comparison means nothing.
    void Check() const
    {
        for (int i = 0; i < 2; ++i) {
            CIO::IOError error;
            CImage* image = CGifIO::Load(CString(files[i].c_str()), error);
            bool ok = image && image->Width() == kSize && image->Height() == kSize;
            if (ok) {
                CPixMap map(IM_INDEXED, kSize, kSize, true);
                image->GetBuf(0, 0, map, MM_CLIP, 1);
                for (int y = 0; ok && y < kSize; ++y)
                    ok = std::memcmp(map.plane[0].data + static_cast<long>(y) * map.plane[0].rowStride,
                                     &pixels[static_cast<size_t>(y) * kSize], kSize) == 0;
            }
            delete image;
            if (!ok) {
                std::fprintf(stderr, "CGifIO::Load does not reproduce %s\n", files[i].c_str());
                std::abort();
            }
#if TESSERA_BENCH_GIFLIB
            int err = 0;
            GifFileType* gif = DGifOpenFileName(files[i].c_str(), &err);
            ok = gif && DGifSlurp(gif) == GIF_OK && gif->ImageCount == 1 &&
                 std::memcmp(gif->SavedImages[0].RasterBits, pixels.data(), pixels.size()) == 0;
            if (gif)
                DGifCloseFile(gif, &err);
            if (!ok) {
                std::fprintf(stderr, "giflib does not reproduce %s\n", files[i].c_str());
                std::abort();
            }
#endif
        }
    }
};

Fixture& TheFixture()
{
    static Fixture fixture;
    return fixture;
}

void Report(benchmark::State& state, int file)
{
    Fixture& f = TheFixture();
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSize) * kSize);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.fileBytes[file]));
    state.counters["MPix/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kSize * kSize / 1e6,
                                                  benchmark::Counter::kIsRate);
}

void BM_Tessera(benchmark::State& state)
{
    const int file = static_cast<int>(state.range(0));
    CString path(TheFixture().files[file].c_str());
    for (auto _ : state) {
        CIO::IOError error;
        CImage* image = CGifIO::Load(path, error);
        benchmark::DoNotOptimize(image);
        delete image;
    }
    Report(state, file);
}
BENCHMARK(BM_Tessera)->Arg(0)->Arg(1)->ArgName("interlaced")->Unit(benchmark::kMillisecond);

#if TESSERA_BENCH_GIFLIB
void BM_Giflib(benchmark::State& state)
{
    const int file = static_cast<int>(state.range(0));
    std::string const& path = TheFixture().files[file];
    for (auto _ : state) {
        int err = 0;
        GifFileType* gif = DGifOpenFileName(path.c_str(), &err);
        if (!gif || DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
            state.SkipWithError("giflib failed");
            if (gif)
                DGifCloseFile(gif, &err);
            break;
        }
        // The first image's indices, placed on a canvas of the screen's size.
        const int width = gif->SWidth, height = gif->SHeight;
        SavedImage const& image = gif->SavedImages[0];
        GifImageDesc const& d = image.ImageDesc;
        std::vector<uint8_t> canvas(static_cast<size_t>(width) * height);
        for (int y = 0; y < d.Height && d.Top + y < height; ++y)
            std::memcpy(&canvas[static_cast<size_t>(d.Top + y) * width + d.Left], image.RasterBits + y * d.Width,
                        static_cast<size_t>(std::min(d.Width, width - d.Left)));
        benchmark::DoNotOptimize(canvas.data());
        DGifCloseFile(gif, &err);
    }
    Report(state, file);
}
BENCHMARK(BM_Giflib)->Arg(0)->Arg(1)->ArgName("interlaced")->Unit(benchmark::kMillisecond);
#endif

#if TESSERA_BENCH_STB
void BM_Stb(benchmark::State& state)
{
    const int file = static_cast<int>(state.range(0));
    std::string const& path = TheFixture().files[file];
    for (auto _ : state) {
        int w = 0, h = 0, comp = 0;
        unsigned char* rgba = stbi_load(path.c_str(), &w, &h, &comp, 0);
        if (!rgba) {
            state.SkipWithError("stb_image failed");
            break;
        }
        benchmark::DoNotOptimize(rgba);
        stbi_image_free(rgba);
    }
    Report(state, file);
}
BENCHMARK(BM_Stb)->Arg(0)->Arg(1)->ArgName("interlaced")->Unit(benchmark::kMillisecond);
#endif

} // namespace

int main(int argc, char** argv)
{
    TheFixture(); // build and check the files before anything is timed
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::printf("file sizes: %zu bytes (non-interlaced), %zu bytes (interlaced)\n", TheFixture().fileBytes[0],
                TheFixture().fileBytes[1]);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
