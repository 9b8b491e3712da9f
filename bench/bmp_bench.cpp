// BMP codec benchmarks, each beside its peer in the same run:
//   loading a 4000 x 3000 24-bit and an 8-bit palette BMP from a page-cached file,
//     against stb_image loading the same file to RGB;
//   saving the 24-bit image, against stb_image_write's BMP writer;
//   loading an RLE8 file of the same photo-like 8-bit image as the uncompressed load,
//     for a grainy photo (RLE8 barely pays) and a smooth one (long runs), beside the
//     floors of any sequential reader: reading the file, walking its items;
//   GetBuf / SetBuf of a 256 x 256 interleaved RGB tile, against memcpy of its bytes.
// `bmp_bench --load FILE` only loads FILE once, for peak-memory measurements with
// /usr/bin/time -v; `bmp_bench --make FOLDER` writes the benchmark files there.
#include "bmp/BmpIO.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#if TESSERA_HAVE_STB
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#endif

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr long long kPixels = static_cast<long long>(kWidth) * kHeight;

// A photo-like picture: smooth shading with sensor-like grain everywhere (grainy:
// the sum of two uniform draws in -3..3, so that about one neighbour pair in ten is
// equal), or with a grain of one level on one pixel in eight (smooth: long runs).
unsigned char PhotoSample(int x, int y, int channel, unsigned& noise, bool grainy)
{
    noise = noise * 1103515245u + 12345u;
    const int grain = grainy ? static_cast<int>((noise >> 16) % 7) + static_cast<int>((noise >> 8) % 7) - 6
                             : ((noise >> 16) % 8 == 0 ? 1 : 0);
    const double smooth = 128 + 70 * std::sin(x / 410.0 + channel) * std::cos(y / 290.0 - channel) +
                          30 * std::sin((x + y) / 97.0);
    const int v = static_cast<int>(smooth) + grain;
    return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
}

std::unique_ptr<CImage> MakePhoto(IMAGE_MODE mode, bool grainy = true)
{
    std::unique_ptr<CImage> image(new CImage(mode, kWidth, kHeight, 96));
    const int planes = image->GetPlanes();
    CPixMap strip(mode, kWidth, 1, true);
    unsigned noise = 1;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < planes; ++c)
                strip.plane[0].data[x * planes + c] = PhotoSample(x, y, c, noise, grainy);
        image->SetBuf(0, y, strip, MM_CLIP, 1);
    }
    if (mode == IM_INDEXED) {
        CLut lut;
        for (int i = 0; i < 256; ++i)
            lut[i] = LutColor{static_cast<unsigned char>(i), static_cast<unsigned char>(255 - i),
                              static_cast<unsigned char>(i / 2)};
        image->SetLut(lut);
    }
    return image;
}

// Items and pixels of an RLE8 file's stream, for the report.
void DescribeRle(std::string const& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return;
    std::vector<unsigned char> bytes(std::filesystem::file_size(path));
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    size_t p = 14 + 40 + 1024, runs = 0, literals = 0, runPixels = 0, literalPixels = 0;
    while (p + 1 < got) {
        const unsigned m = bytes[p], v = bytes[p + 1];
        if (m) {
            ++runs;
            runPixels += m;
            p += 2;
        } else if (v >= 3) {
            ++literals;
            literalPixels += v;
            p += 2 + v + (v & 1);
        } else {
            p += v == 2 ? 4 : 2;
        }
    }
    std::fprintf(stderr, "%s: %zu bytes; %zu runs (%.1f px each), %zu literals (%.1f px each)\n", path.c_str(), got,
                 runs, runs ? double(runPixels) / runs : 0.0, literals, literals ? double(literalPixels) / literals : 0.0);
}

// The benchmark files, in a folder of their own (removed at exit) or a given one.
struct Files {
    explicit Files(const char* where = nullptr)
    {
        char pattern[] = "/tmp/bmp_bench_XXXXXX";
        folder = where ? where : mkdtemp(pattern);
        keep = where != nullptr;
        rgb = MakePhoto(IM_RGB);
        std::unique_ptr<CImage> indexed = MakePhoto(IM_INDEXED);
        std::unique_ptr<CImage> smooth = MakePhoto(IM_INDEXED, false);
        CIO::IOError error;
        if (!CBmpIO::Save(CString(Path("rgb24.bmp").c_str()), *rgb, false, error) ||
            !CBmpIO::Save(CString(Path("pal8.bmp").c_str()), *indexed, false, error) ||
            !CBmpIO::Save(CString(Path("pal8_rle.bmp").c_str()), *indexed, true, error) ||
            !CBmpIO::Save(CString(Path("pal8_smooth.bmp").c_str()), *smooth, false, error) ||
            !CBmpIO::Save(CString(Path("pal8_smooth_rle.bmp").c_str()), *smooth, true, error)) {
            std::fprintf(stderr, "cannot write the benchmark files in %s\n", folder.c_str());
            std::exit(1);
        }
        DescribeRle(Path("pal8_rle.bmp"));
        DescribeRle(Path("pal8_smooth_rle.bmp"));
    }
    ~Files()
    {
        if (!keep)
            std::filesystem::remove_all(folder);
    }
    std::string Path(const char* name) const { return folder + "/" + name; }

    std::string folder;
    bool keep;
    std::unique_ptr<CImage> rgb;
};

Files& TheFiles()
{
    static Files files;
    return files;
}

void Load(benchmark::State& state, const char* name, int bytesPerPixel)
{
    const std::string path = TheFiles().Path(name);
    for (auto _ : state) {
        CIO::IOError error;
        std::unique_ptr<CImage> image(CBmpIO::Load(CString(path.c_str()), error));
        if (!image) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(image.get());
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
    state.SetBytesProcessed(state.iterations() * kPixels * bytesPerPixel);
}

void BM_Load24(benchmark::State& state) { Load(state, "rgb24.bmp", 3); }
void BM_Load8(benchmark::State& state) { Load(state, "pal8.bmp", 1); }
void BM_LoadRle8(benchmark::State& state) { Load(state, "pal8_rle.bmp", 1); }
void BM_Load8Smooth(benchmark::State& state) { Load(state, "pal8_smooth.bmp", 1); }
void BM_LoadRle8Smooth(benchmark::State& state) { Load(state, "pal8_smooth_rle.bmp", 1); }

// The floors of any sequential RLE8 reader, in the same run: reading the file's
// bytes, and walking its items without writing a pixel (each item's position
// depends on the one before: load the two bytes, add the step).
std::vector<unsigned char> ReadAll(std::string const& path)
{
    std::vector<unsigned char> bytes(std::filesystem::file_size(path));
    FILE* f = std::fopen(path.c_str(), "rb");
    const size_t got = f ? std::fread(bytes.data(), 1, bytes.size(), f) : 0;
    if (f)
        std::fclose(f);
    bytes.resize(got);
    return bytes;
}

void ReadFile(benchmark::State& state, const char* name)
{
    const std::string path = TheFiles().Path(name);
    std::vector<unsigned char> bytes(std::filesystem::file_size(path));
    for (auto _ : state) {
        FILE* f = std::fopen(path.c_str(), "rb");
        const size_t got = f ? std::fread(bytes.data(), 1, bytes.size(), f) : 0;
        if (f)
            std::fclose(f);
        benchmark::DoNotOptimize(got);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

void WalkItems(benchmark::State& state, const char* name)
{
    const std::vector<unsigned char> bytes = ReadAll(TheFiles().Path(name));
    for (auto _ : state) {
        size_t p = 14 + 40 + 1024, pixels = 0;
        while (p + 1 < bytes.size()) {
            const unsigned m = bytes[p], v = bytes[p + 1];
            const unsigned literal = m == 0 && v >= 3 ? v : 0;
            pixels += m + literal;
            p += m ? 2 : literal ? 2 + literal + (literal & 1) : v == 2 ? 4 : 2;
        }
        benchmark::DoNotOptimize(pixels);
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

void BM_ReadRle8File(benchmark::State& state) { ReadFile(state, "pal8_rle.bmp"); }
void BM_WalkRle8Items(benchmark::State& state) { WalkItems(state, "pal8_rle.bmp"); }
void BM_WalkRle8SmoothItems(benchmark::State& state) { WalkItems(state, "pal8_smooth_rle.bmp"); }

void BM_Save24(benchmark::State& state)
{
    CImage& image = *TheFiles().rgb;
    const std::string path = TheFiles().Path("save24.bmp");
    for (auto _ : state) {
        CIO::IOError error;
        if (!CBmpIO::Save(CString(path.c_str()), image, false, error)) {
            state.SkipWithError("save failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
    state.SetBytesProcessed(state.iterations() * kPixels * 3);
}

#if TESSERA_HAVE_STB
void StbLoad(benchmark::State& state, const char* name)
{
    const std::string path = TheFiles().Path(name);
    for (auto _ : state) {
        int w, h, n;
        unsigned char* pixels = stbi_load(path.c_str(), &w, &h, &n, 3);
        if (!pixels) {
            state.SkipWithError("stbi_load failed");
            break;
        }
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
    state.SetBytesProcessed(state.iterations() * kPixels * 3);
}

void BM_Stb_Load24(benchmark::State& state) { StbLoad(state, "rgb24.bmp"); }
void BM_Stb_Load8(benchmark::State& state) { StbLoad(state, "pal8.bmp"); }

void BM_Stb_Save24(benchmark::State& state)
{
    CImage& image = *TheFiles().rgb;
    std::vector<unsigned char> pixels(static_cast<size_t>(kPixels) * 3);
    CPixMap all(IM_RGB, kWidth, kHeight, true);
    image.GetBuf(0, 0, all, MM_CLIP, 1);
    std::memcpy(pixels.data(), all.plane[0].data, pixels.size()); // rows of 12000 bytes: no padding
    const std::string path = TheFiles().Path("stb24.bmp");
    for (auto _ : state) {
        if (!stbi_write_bmp(path.c_str(), kWidth, kHeight, 3, pixels.data())) {
            state.SkipWithError("stbi_write_bmp failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
    state.SetBytesProcessed(state.iterations() * kPixels * 3);
}
#endif

// A 256 x 256 tile inside the 24-bit image.
constexpr int kTile = 256;
constexpr long long kTileBytes = static_cast<long long>(kTile) * kTile * 3;

void BM_GetBufTile(benchmark::State& state)
{
    CImage& image = *TheFiles().rgb;
    CPixMap tile(IM_RGB, kTile, kTile, true);
    for (auto _ : state) {
        image.GetBuf(1024, 768, tile, MM_CLIP, 1);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kTileBytes);
}

void BM_SetBufTile(benchmark::State& state)
{
    CImage& image = *TheFiles().rgb;
    CPixMap tile(IM_RGB, kTile, kTile, true);
    image.GetBuf(1024, 768, tile, MM_CLIP, 1);
    for (auto _ : state) {
        image.SetBuf(1024, 768, tile, MM_CLIP, 1);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kTileBytes);
}

void BM_MemcpyTile(benchmark::State& state)
{
    std::vector<unsigned char> src(kTileBytes, 7), dst(kTileBytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kTileBytes);
}

} // namespace

// Each of ours next to its peer.
BENCHMARK(BM_Load24)->Unit(benchmark::kMillisecond);
#if TESSERA_HAVE_STB
BENCHMARK(BM_Stb_Load24)->Unit(benchmark::kMillisecond);
#endif
BENCHMARK(BM_Load8)->Unit(benchmark::kMillisecond);
#if TESSERA_HAVE_STB
BENCHMARK(BM_Stb_Load8)->Unit(benchmark::kMillisecond);
#endif
BENCHMARK(BM_LoadRle8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load8Smooth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadRle8Smooth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRle8File)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkRle8Items)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkRle8SmoothItems)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save24)->Unit(benchmark::kMillisecond);
#if TESSERA_HAVE_STB
BENCHMARK(BM_Stb_Save24)->Unit(benchmark::kMillisecond);
#endif
BENCHMARK(BM_GetBufTile);
BENCHMARK(BM_SetBufTile);
BENCHMARK(BM_MemcpyTile);

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--load") == 0) {
        CIO::IOError error;
        std::unique_ptr<CImage> image(CBmpIO::Load(CString(argv[2]), error));
        std::printf("%s: error %d, %d x %d\n", argv[2], static_cast<int>(error), image ? image->Width() : 0,
                    image ? image->Height() : 0);
        return image ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "--make") == 0) {
        Files files(argv[2]);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
