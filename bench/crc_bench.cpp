// ComputeCRC over a 1 GiB file held in the page cache, against zlib's crc32 of the
// same file read in 64 KiB blocks. Bytes processed are file bytes (ComputeCRC hashes
// half of them). The file is made once per run under the temporary folder (or
// CRC_BENCH_FILE) and removed at exit.
//
// The block kernels alone run on a 64 MiB buffer in memory beside zlib's crc32 of the
// same buffer; bytes processed are buffer bytes there too.
#include "crc/CRC.h"
#include "crc/crc_kernels.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#if CRC_BENCH_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

constexpr long long kFileBytes = 1LL << 30;

// The benchmark file: written on first use, removed when the program ends.
struct BenchFileHolder {
    std::string path;
    BenchFileHolder()
    {
        const char* given = std::getenv("CRC_BENCH_FILE");
        path = given ? given : "/tmp/tessera-crc-bench-" + std::to_string(getpid()) + ".bin";
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            std::perror(path.c_str());
            std::exit(1);
        }
        std::vector<unsigned char> chunk(1 << 20);
        std::mt19937_64 rng(1);
        for (long long done = 0; done < kFileBytes; done += static_cast<long long>(chunk.size())) {
            for (auto& b : chunk)
                b = static_cast<unsigned char>(rng());
            if (write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) {
                std::perror(path.c_str());
                close(fd);
                std::remove(path.c_str());
                std::exit(1);
            }
        }
        close(fd);
    }
    ~BenchFileHolder() { std::remove(path.c_str()); }
};

std::string const& BenchFile()
{
    static BenchFileHolder file;
    return file.path;
}

// Reads the whole file in blocks of `blockBytes`, handing each block to `use`.
template <class Use>
void ReadFile(std::string const& path, std::size_t blockBytes, Use use)
{
    int fd = open(path.c_str(), O_RDONLY);
    std::vector<unsigned char> buffer(blockBytes);
    ssize_t n;
    while ((n = read(fd, buffer.data(), buffer.size())) > 0)
        use(buffer.data(), static_cast<std::size_t>(n));
    close(fd);
}

void BM_ComputeCRC(benchmark::State& state)
{
    CString file(BenchFile());
    ReadFile(BenchFile(), 1 << 20, [](const unsigned char*, std::size_t) {}); // into the cache
    for (auto _ : state) {
        unsigned long checksum = 0;
        CCRC::CRCError error;
        if (!CCRC::ComputeCRC(file, checksum, error))
            state.SkipWithError("ComputeCRC failed");
        benchmark::DoNotOptimize(checksum);
    }
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}
BENCHMARK(BM_ComputeCRC)->Unit(benchmark::kMillisecond)->UseRealTime();

#if CRC_BENCH_HAVE_ZLIB
void BM_ZlibCrc32_64KiB(benchmark::State& state)
{
    ReadFile(BenchFile(), 1 << 20, [](const unsigned char*, std::size_t) {});
    for (auto _ : state) {
        uLong c = crc32(0L, Z_NULL, 0);
        ReadFile(BenchFile(), 64 << 10,
                 [&](const unsigned char* p, std::size_t n) { c = crc32(c, p, static_cast<uInt>(n)); });
        benchmark::DoNotOptimize(c);
    }
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}
BENCHMARK(BM_ZlibCrc32_64KiB)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

std::vector<unsigned char> const& MemoryBuffer()
{
    static std::vector<unsigned char> buffer = [] {
        std::vector<unsigned char> b(64 << 20);
        std::mt19937_64 rng(2);
        for (auto& x : b)
            x = static_cast<unsigned char>(rng());
        return b;
    }();
    return buffer;
}

using BlockKernel = std::uint32_t (*)(std::uint32_t, const unsigned char*, std::size_t);

void BM_HashBlocks(benchmark::State& state, BlockKernel kernel, bool available)
{
    if (!available) {
        state.SkipWithError("this processor lacks the instructions");
        return;
    }
    auto const& buffer = MemoryBuffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(kernel(0, buffer.data(), buffer.size()));
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(buffer.size()));
}
BENCHMARK_CAPTURE(BM_HashBlocks, Slice8, crc::HashBlocksSlice8, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_HashBlocks, Clmul, crc::HashBlocksClmul, crc::ClmulAvailable())
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_HashBlocks, Clmul512, crc::HashBlocksClmul512, crc::Clmul512Available())
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

#if CRC_BENCH_HAVE_ZLIB
void BM_ZlibCrc32_Memory(benchmark::State& state)
{
    auto const& buffer = MemoryBuffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(0L, buffer.data(), static_cast<uInt>(buffer.size())));
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(buffer.size()));
}
BENCHMARK(BM_ZlibCrc32_Memory)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

// The bound: reading the cached file alone, in 1 MiB and in 2048-byte reads.
void BM_ReadOnly(benchmark::State& state)
{
    ReadFile(BenchFile(), 1 << 20, [](const unsigned char*, std::size_t) {});
    for (auto _ : state)
        ReadFile(BenchFile(), static_cast<std::size_t>(state.range(0)),
                 [](const unsigned char* p, std::size_t) { benchmark::DoNotOptimize(p); });
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}
BENCHMARK(BM_ReadOnly)->Arg(1 << 20)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
