// Transform throughput, single thread, each case beside its peer on the same input:
// reducing 4000 x 3000 RGB to 1000 x 750 and 1333 x 1000 through the tile flow
// (vips_reduce with the cubic kernel, stb_image_resize with Catmull-Rom), enlarging
// 1000 x 750 to 4000 x 3000 (cv::resize INTER_CUBIC), rotating 2000 x 2000 RGB by 30
// degrees bicubic with the canvas expanded (cv::warpAffine INTER_CUBIC).
// Wall time is reported (vips works on a thread of its own); the CPU column is the
// whole process's CPU time, which compares fairly on a busy machine.
// Items are the larger of source and destination pixels for the scaling cases (source
// pixels for the reductions, destination pixels for the enlargement) and result
// pixels for the rotation.
// The rotation also reports `work_bytes`: the peak of operator new while the object
// is built and renders, beyond the result's pixels (which come from calloc): the two
// working maps and small buffers, against `maps_bytes` for the two maps alone.
#include "image/Image.h"
#include "transform/RotateScale.h"
#include "transform/Scale.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#if TESSERA_BENCH_VIPS
#include <vips/vips.h>
#endif
#if TESSERA_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif
#if TESSERA_BENCH_STB
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize.h>
#endif

// ---- allocation tracking (operator new only: CImage stores use calloc) ----

namespace {
std::atomic<long long> liveBytes{0}, peakBytes{0};
}

void* operator new(size_t size)
{
    void* p = std::malloc(size + 16);
    if (!p)
        throw std::bad_alloc();
    *static_cast<size_t*>(p) = size;
    long long now = liveBytes += static_cast<long long>(size);
    long long peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(p) + 16;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept
{
    if (!p)
        return;
    char* base = static_cast<char*>(p) - 16;
    liveBytes -= static_cast<long long>(*reinterpret_cast<size_t*>(base));
    std::free(base);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

namespace {

const double kPi = 3.141592653589793;

std::vector<unsigned char> MakeRgb(int w, int h)
{
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * 3);
    unsigned state = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            state = state * 1103515245u + 12345u;
            unsigned char* p = &px[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = static_cast<unsigned char>(x * 255 / w);
            p[1] = static_cast<unsigned char>(y * 255 / h);
            p[2] = static_cast<unsigned char>(((x / 16 + y / 16) % 2 ? 200 : 40) + (state >> 28));
        }
    return px;
}

std::unique_ptr<CImage> MakeImage(int w, int h)
{
    auto image = std::make_unique<CImage>(IM_RGB, w, h, 72.0);
    const auto px = MakeRgb(w, h);
    CPixMap map(IM_RGB, w, 64, true);
    for (int y = 0; y < h; y += 64) {
        map.height = std::min(64, h - y);
        for (int r = 0; r < map.height; ++r)
            std::copy(&px[(static_cast<size_t>(y + r) * w) * 3], &px[(static_cast<size_t>(y + r + 1) * w) * 3],
                      map.plane[0].data + r * map.plane[0].rowStride);
        image->SetBuf(0, y, map, MM_CLIP, 1);
    }
    return image;
}

// The host's loop: per 256 x 256 destination tile, GetSrcRect, GetBuf, Transform, SetBuf.
void ScaleThroughTiles(CImage& source, CImage& result)
{
    const int dstW = result.Width(), dstH = result.Height();
    CScale scale(CSize(dstW, dstH), CSize(source.Width(), source.Height()), true);
    CPixMap out(IM_RGB, 256, 256, true);
    // One source map for every tile, as large as the largest source rectangle.
    int maxW = 0, maxH = 0;
    for (int y = 0; y < dstH; y += 256)
        for (int x = 0; x < dstW; x += 256) {
            CRect src;
            scale.GetSrcRect(CRect(x, y, std::min(x + 256, dstW), std::min(y + 256, dstH)), src);
            maxW = std::max(maxW, src.Width());
            maxH = std::max(maxH, src.Height());
        }
    CPixMap in(IM_RGB, maxW, maxH, true);
    for (int y = 0; y < dstH; y += 256)
        for (int x = 0; x < dstW; x += 256) {
            const CRect tile(x, y, std::min(x + 256, dstW), std::min(y + 256, dstH));
            CRect src;
            scale.GetSrcRect(tile, src);
            in.width = src.Width();
            in.height = src.Height();
            source.GetBuf(src.left, src.top, in, MM_ZERO, 1);
            out.width = tile.Width();
            out.height = tile.Height();
            scale.Transform(out, in);
            result.SetBuf(x, y, out, MM_CLIP, 1);
        }
}

void BM_Scale_Tessera(benchmark::State& state, int srcW, int srcH, int dstW, int dstH)
{
    auto source = MakeImage(srcW, srcH);
    CImage result(IM_RGB, dstW, dstH, 72.0);
    for (auto _ : state) {
        ScaleThroughTiles(*source, result);
        benchmark::ClobberMemory();
    }
    const int64_t pixels = std::max(static_cast<int64_t>(srcW) * srcH, static_cast<int64_t>(dstW) * dstH);
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetBytesProcessed(state.iterations() * pixels * 3);
}

#if TESSERA_BENCH_VIPS
void BM_Scale_Vips(benchmark::State& state, int srcW, int srcH, int dstW, int dstH)
{
    const auto px = MakeRgb(srcW, srcH);
    std::vector<unsigned char> out(static_cast<size_t>(dstW) * dstH * 3);
    for (auto _ : state) {
        VipsImage* in = vips_image_new_from_memory(px.data(), px.size(), srcW, srcH, 3, VIPS_FORMAT_UCHAR);
        VipsImage* reduced = nullptr;
        if (vips_reduce(in, &reduced, static_cast<double>(srcW) / dstW, static_cast<double>(srcH) / dstH, "kernel",
                        VIPS_KERNEL_CUBIC, nullptr) != 0) {
            g_object_unref(in);
            state.SkipWithError("vips_reduce failed");
            break;
        }
        size_t size = 0;
        void* mem = vips_image_write_to_memory(reduced, &size);
        benchmark::DoNotOptimize(mem);
        g_free(mem);
        g_object_unref(reduced);
        g_object_unref(in);
    }
    const int64_t pixels = std::max(static_cast<int64_t>(srcW) * srcH, static_cast<int64_t>(dstW) * dstH);
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetBytesProcessed(state.iterations() * pixels * 3);
}
#endif

#if TESSERA_BENCH_STB
void BM_Scale_Stb(benchmark::State& state, int srcW, int srcH, int dstW, int dstH)
{
    const auto px = MakeRgb(srcW, srcH);
    std::vector<unsigned char> out(static_cast<size_t>(dstW) * dstH * 3);
    for (auto _ : state) {
        stbir_resize_uint8_generic(px.data(), srcW, srcH, 0, out.data(), dstW, dstH, 0, 3, STBIR_ALPHA_CHANNEL_NONE, 0,
                                   STBIR_EDGE_CLAMP, STBIR_FILTER_CATMULLROM, STBIR_COLORSPACE_LINEAR, nullptr);
        benchmark::DoNotOptimize(out.data());
    }
    const int64_t pixels = std::max(static_cast<int64_t>(srcW) * srcH, static_cast<int64_t>(dstW) * dstH);
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetBytesProcessed(state.iterations() * pixels * 3);
}
#endif

#if TESSERA_BENCH_OPENCV
void BM_Scale_OpenCV(benchmark::State& state, int srcW, int srcH, int dstW, int dstH)
{
    cv::setNumThreads(1);
    auto px = MakeRgb(srcW, srcH);
    cv::Mat in(srcH, srcW, CV_8UC3, px.data());
    cv::Mat out;
    for (auto _ : state) {
        cv::resize(in, out, cv::Size(dstW, dstH), 0, 0, cv::INTER_CUBIC);
        benchmark::DoNotOptimize(out.data);
    }
    const int64_t pixels = std::max(static_cast<int64_t>(srcW) * srcH, static_cast<int64_t>(dstW) * dstH);
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetBytesProcessed(state.iterations() * pixels * 3);
}
#endif

const double kAngle = 30 * kPi / 180;

void BM_Rotate_Tessera(benchmark::State& state)
{
    auto source = MakeImage(2000, 2000);
    int64_t pixels = 0;
    long long work = 0;
    for (auto _ : state) {
        const long long before = liveBytes.load();
        peakBytes = before;
        CRotateScale rotate(*source);
        CImage* result = rotate.Transform(2000, 2000, kAngle, nullptr, true, false, nullptr);
        work = std::max(work, peakBytes.load() - before - static_cast<long long>(sizeof(CImage)));
        pixels = static_cast<int64_t>(result->Width()) * result->Height();
        delete result;
    }
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetBytesProcessed(state.iterations() * pixels * 3);
    state.counters["work_bytes"] = static_cast<double>(work);
    state.counters["maps_bytes"] = 2.0 * 256 * 256 * 3;
}

#if TESSERA_BENCH_OPENCV
void BM_Rotate_OpenCV(benchmark::State& state)
{
    cv::setNumThreads(1);
    auto px = MakeRgb(2000, 2000);
    cv::Mat in(2000, 2000, CV_8UC3, px.data());
    // The turned picture on an expanded canvas, as the tessera result.
    cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(1000, 1000), -30.0, 1.0);
    const cv::Rect box = cv::RotatedRect(cv::Point2f(1000, 1000), cv::Size2f(2000, 2000), -30.0).boundingRect();
    m.at<double>(0, 2) += box.width / 2.0 - 1000;
    m.at<double>(1, 2) += box.height / 2.0 - 1000;
    cv::Mat out;
    for (auto _ : state) {
        cv::warpAffine(in, out, m, box.size(), cv::INTER_CUBIC, cv::BORDER_CONSTANT, cv::Scalar());
        benchmark::DoNotOptimize(out.data);
    }
    const int64_t pixels = static_cast<int64_t>(box.width) * box.height;
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetBytesProcessed(state.iterations() * pixels * 3);
}
#endif

void Register()
{
    struct {
        const char* name;
        int srcW, srcH, dstW, dstH;
    } const scales[] = {
        {"Reduce4000x3000to1000x750", 4000, 3000, 1000, 750},
        {"Reduce4000x3000to1333x1000", 4000, 3000, 1333, 1000},
        {"Enlarge1000x750to4000x3000", 1000, 750, 4000, 3000},
    };
    for (auto const& c : scales) {
        const std::string n = c.name;
        benchmark::RegisterBenchmark((n + "/Tessera").c_str(), BM_Scale_Tessera, c.srcW, c.srcH, c.dstW, c.dstH)
            ->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
        const bool reduce = c.dstW < c.srcW;
#if TESSERA_BENCH_VIPS
        if (reduce)
            benchmark::RegisterBenchmark((n + "/vips_reduce").c_str(), BM_Scale_Vips, c.srcW, c.srcH, c.dstW, c.dstH)
                ->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
#endif
#if TESSERA_BENCH_STB
        if (reduce)
            benchmark::RegisterBenchmark((n + "/stb_image_resize").c_str(), BM_Scale_Stb, c.srcW, c.srcH, c.dstW,
                                         c.dstH)
                ->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
#endif
#if TESSERA_BENCH_OPENCV
        if (!reduce)
            benchmark::RegisterBenchmark((n + "/cv_resize").c_str(), BM_Scale_OpenCV, c.srcW, c.srcH, c.dstW, c.dstH)
                ->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
#endif
        (void)reduce;
    }
    benchmark::RegisterBenchmark("Rotate2000x2000by30/Tessera", BM_Rotate_Tessera)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
#if TESSERA_BENCH_OPENCV
    benchmark::RegisterBenchmark("Rotate2000x2000by30/cv_warpAffine", BM_Rotate_OpenCV)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
#endif
}

} // namespace

int main(int argc, char** argv)
{
#if TESSERA_BENCH_VIPS
    if (VIPS_INIT(argv[0]))
        return 1;
    vips_concurrency_set(1);
    vips_cache_set_max(0);
#else
    std::printf("transform_bench: libvips peer skipped (not built with libvips-dev)\n");
#endif
#if !TESSERA_BENCH_OPENCV
    std::printf("transform_bench: OpenCV peers skipped (not built with libopencv-dev)\n");
#endif
#if !TESSERA_BENCH_STB
    std::printf("transform_bench: stb_image_resize peer skipped (libstb-dev missing)\n");
#endif
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
