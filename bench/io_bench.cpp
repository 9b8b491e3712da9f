// CIO::ConvertImage of a 4000 x 3000 image to IM_RGB from palette, Y/Cb/Cr, HSV and
// 16-bit RGB, each beside memcpy of the same number of output bytes (36 MB) in the
// same run: into a buffer that is already mapped, and into a fresh block as a new
// image's store is. Bytes processed are output bytes, so the rates compare directly.
#include "io/IO.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include <sys/mman.h>

namespace {

const int kWidth = 4000, kHeight = 3000;
const size_t kOutputBytes = static_cast<size_t>(kWidth) * kHeight * 3;

std::unique_ptr<CImage> Source(IMAGE_MODE mode)
{
    auto image = std::make_unique<CImage>(mode, kWidth, kHeight, 72.0);
    CPixMap strip(mode, kWidth, 16, true);
    std::mt19937 rng(5);
    for (int y = 0; y < kHeight; y += 16) {
        for (int r = 0; r < 16; ++r) {
            unsigned char* row = strip.plane[0].data + r * strip.plane[0].rowStride;
            for (int i = 0; i < strip.plane[0].rowStride; ++i)
                row[i] = static_cast<unsigned char>(rng());
        }
        image->SetBuf(0, y, strip, MM_CLIP, 1);
    }
    if (mode == IM_INDEXED) {
        CLut lut;
        for (unsigned i = 0; i < 256; ++i)
            lut[i] = LutColor{static_cast<unsigned char>(i), static_cast<unsigned char>(i * 7),
                              static_cast<unsigned char>(i * 13)};
        image->SetLut(lut);
    }
    return image;
}

void BM_Convert(benchmark::State& state, IMAGE_MODE mode)
{
    auto image = Source(mode);
    const unsigned flags = IOF_TO_RGB;
    for (auto _ : state) {
        CIO::IOError error = CIO::IOERR_NONE;
        std::unique_ptr<CImage> out(CIO::ConvertImage(image.get(), flags, error));
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kOutputBytes));
}

void BM_Memcpy(benchmark::State& state)
{
    std::vector<unsigned char> src(kOutputBytes, 1), dst(kOutputBytes, 2);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kOutputBytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kOutputBytes));
}

// The same copy into a fresh block as a conversion's new image gets: mapped on a
// 2 MiB boundary with huge pages asked for, copied into, unmapped.
void BM_MemcpyFresh(benchmark::State& state)
{
    std::vector<unsigned char> src(kOutputBytes, 1);
    const size_t huge = size_t{1} << 21;
    const size_t length = (kOutputBytes + huge - 1) & ~(huge - 1);
    for (auto _ : state) {
        void* block = mmap(nullptr, length + huge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) {
            state.SkipWithError("mmap failed");
            break;
        }
        unsigned char* dst =
            reinterpret_cast<unsigned char*>((reinterpret_cast<uintptr_t>(block) + huge - 1) & ~(huge - 1));
        madvise(dst, length, MADV_HUGEPAGE);
        std::memcpy(dst, src.data(), kOutputBytes);
        benchmark::DoNotOptimize(dst);
        benchmark::ClobberMemory();
        munmap(block, length + huge);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kOutputBytes));
}

} // namespace

BENCHMARK(BM_MemcpyFresh)->Name("memcpy_36MB_fresh_block")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Name("memcpy_36MB")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, indexed, IM_INDEXED)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, ycc, IM_YCC)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, hsv, IM_HSV)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, rgb16, IM_RGB16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, hls, IM_HLS)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
