#include "crc/CRC.h"
#include "crc/crc_cause.h"
#include "crc/crc_kernels.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Folder {
    std::filesystem::path path;
    Folder()
    {
        char pattern[] = "/tmp/tessera-crc-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~Folder()
    {
        std::error_code ec;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path, ec);
    }
    std::string Write(std::string const& name, std::string const& bytes) const
    {
        std::string file = (path / name).string();
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
};

std::string RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

const unsigned char* Bytes(std::string const& s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}

// The checksum as 2048-byte reads compute it, byte by byte.
std::uint32_t ReferenceFileChecksum(std::string const& content)
{
    std::uint32_t h = 0;
    for (std::size_t at = 0; at < content.size(); at += crc::kBlockBytes) {
        std::size_t n = std::min(crc::kBlockBytes, content.size() - at);
        if (n < 2)
            break;
        h = crc::UpdatePlain(h, Bytes(content) + at, n / 2);
    }
    return h;
}

struct Result {
    bool ok;
    unsigned long checksum;
    CCRC::CRCError error;
};

Result Compute(std::string const& name)
{
    Result r{false, 0xDEADBEEFul, CCRC::CRCERR_NONE};
    r.ok = CCRC::ComputeCRC(CString(name), r.checksum, r.error);
    return r;
}

} // namespace

TEST(CrcKernels, TableIsTheStandardCrc32Table)
{
    EXPECT_EQ(crc::kTable[0], 0u);
    EXPECT_EQ(crc::kTable[1], 0x77073096u);
    EXPECT_EQ(crc::kTable[0x61], 0x3AB551CEu);
    EXPECT_EQ(crc::kTable[255], 0x2D02EF8Du);
    // With the usual start value and final inversion the register gives CRC-32's check value.
    const std::string check = "123456789";
    EXPECT_EQ(crc::UpdatePlain(0xFFFFFFFFu, Bytes(check), check.size()) ^ 0xFFFFFFFFu, 0xCBF43926u);
}

TEST(CrcKernels, FastKernelsMatchThePlainKernelOnRandomData)
{
    if (!crc::ClmulAvailable() || !crc::Clmul512Available())
        std::printf("note: no PCLMULQDQ or no AVX-512 VPCLMULQDQ here; those kernels fall back to the table\n");
    std::mt19937 rng(7);
    const std::string data = RandomBytes(70000, 1);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 600; ++n)
        lengths.push_back(n);
    for (std::size_t n : {511u, 512u, 513u, 767u, 1023u, 1024u, 1025u, 4096u, 4159u, 65536u, 69999u})
        lengths.push_back(n);
    for (std::size_t n : lengths) {
        for (std::size_t offset : {0u, 1u, 7u}) {
            if (offset + n > data.size())
                continue;
            std::uint32_t start = rng();
            std::uint32_t want = crc::UpdatePlain(start, Bytes(data) + offset, n);
            ASSERT_EQ(crc::UpdateSlice8(start, Bytes(data) + offset, n), want) << n << " bytes at " << offset;
            ASSERT_EQ(crc::UpdateClmul(start, Bytes(data) + offset, n), want) << n << " bytes at " << offset;
            ASSERT_EQ(crc::UpdateClmul512(start, Bytes(data) + offset, n), want) << n << " bytes at " << offset;
        }
    }
}

TEST(CrcKernels, BlockWalksMatchTheReferenceAndSplitLikeSmallReads)
{
    std::mt19937 rng(11);
    const std::string data = RandomBytes(40 * 2048 + 5, 2);
    for (std::size_t n : {0u, 1u, 2u, 3u, 2047u, 2048u, 2049u, 2050u, 4095u, 4096u, 10000u, 40u * 2048u,
                          40u * 2048u + 5u}) {
        std::uint32_t start = rng();
        std::uint32_t want = crc::HashBlocksPlain(start, Bytes(data), n);
        EXPECT_EQ(crc::HashBlocksSlice8(start, Bytes(data), n), want) << n;
        EXPECT_EQ(crc::HashBlocksClmul(start, Bytes(data), n), want) << n;
        EXPECT_EQ(crc::HashBlocksClmul512(start, Bytes(data), n), want) << n;
        EXPECT_EQ(crc::HashBlocks(start, Bytes(data), n), want) << n;
    }
    // One read of many blocks equals the chain of 2048-byte reads.
    std::string content = data.substr(0, 40 * 2048 + 5);
    EXPECT_EQ(crc::HashBlocks(0, Bytes(content), content.size()), ReferenceFileChecksum(content));
}

TEST(ComputeCRC, SmallFilesHashTheFirstHalfOfEachBlock)
{
    Folder folder;
    std::string block = RandomBytes(2048, 3);
    std::string otherSecondHalf = block.substr(0, 1024) + RandomBytes(1024, 4);
    struct Case {
        const char* name;
        std::string content;
        unsigned long want;
    } cases[] = {
        {"empty", "", 0},
        {"one byte", "x", 0},
        {"abc", "abc", 0x3AB551CE},
        {"ab", "ab", 0x3AB551CE},
        {"2048 bytes", block, crc::UpdatePlain(0, Bytes(block), 1024)},
        {"2048 bytes, other second half", otherSecondHalf, crc::UpdatePlain(0, Bytes(block), 1024)},
        {"2049 bytes", block + "z", crc::UpdatePlain(0, Bytes(block), 1024)},
    };
    for (auto const& c : cases) {
        Result r = Compute(folder.Write("f", c.content));
        EXPECT_TRUE(r.ok) << c.name;
        EXPECT_EQ(r.error, CCRC::CRCERR_NONE) << c.name;
        EXPECT_EQ(r.checksum, c.want) << c.name;
    }
    // Byte 2048 is the first byte of the second block, and is hashed.
    std::string longer = block + block;
    unsigned long before = Compute(folder.Write("g", longer)).checksum;
    longer[2048] ^= 1;
    EXPECT_NE(Compute(folder.Write("g", longer)).checksum, before);
}

TEST(ComputeCRC, LargeFilesMatchTheBlockByBlockReference)
{
    Folder folder;
    // Sizes around the large read buffer (512 KiB) and odd tails.
    for (std::size_t size : {524288u, 524289u, 526336u + 3u, 3u * 1048576u + 777u}) {
        std::string content = RandomBytes(size, static_cast<unsigned>(size));
        Result r = Compute(folder.Write("big", content));
        ASSERT_TRUE(r.ok) << size;
        EXPECT_EQ(r.checksum, ReferenceFileChecksum(content)) << size;
    }
}

TEST(ComputeCRC, FailuresLeaveTheChecksumAndTellMissingFromUnreadable)
{
    Folder folder;
    struct Case {
        const char* name;
        std::string path;
        CCRC::CRCError want;
    } cases[] = {
        {"missing file", (folder.path / "missing.bin").string(), CCRC::CRCERR_NO_FILE},
        {"missing folder", (folder.path / "nowhere" / "f.bin").string(), CCRC::CRCERR_NO_FILE},
        {"empty name", "", CCRC::CRCERR_NO_FILE},
        {"a folder", folder.path.string(), CCRC::CRCERR_ACCESS},
    };
    for (auto const& c : cases) {
        Result r = Compute(c.path);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(r.error, c.want) << c.name;
        EXPECT_EQ(r.checksum, 0xDEADBEEFul) << c.name;
    }
}

TEST(ComputeCRC, UnreadableFileIsAnAccessError)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root: file permissions do not stop reading";
    Folder folder;
    std::string file = folder.Write("locked", "abc");
    chmod(file.c_str(), 0);
    Result r = Compute(file);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, CCRC::CRCERR_ACCESS);
    EXPECT_EQ(r.checksum, 0xDEADBEEFul);
}

TEST(ComputeCRC, ReadFailureIsAnAccessError)
{
    // Reading this process's memory at address 0 opens fine and then fails with EIO.
    if (access("/proc/self/mem", R_OK) != 0)
        GTEST_SKIP() << "no /proc/self/mem here";
    Result r = Compute("/proc/self/mem");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, CCRC::CRCERR_ACCESS);
    EXPECT_EQ(r.checksum, 0xDEADBEEFul);
}

TEST(ComputeCRC, EveryOpenCauseMapsToAnError)
{
    const CCRC::CRCError N = CCRC::CRCERR_NO_FILE, A = CCRC::CRCERR_ACCESS;
    const CCRC::CRCError want[15] = {A, N, N, N, A, A, N, N, A, A, A, A, A, A, A};
    for (int cause = 0; cause < 15; ++cause)
        EXPECT_EQ(crc::ErrorForOpenCause(cause), want[cause]) << cause;
    // Causes outside the list are failures too, never CRCERR_NONE.
    EXPECT_EQ(crc::ErrorForOpenCause(-1), A);
    EXPECT_EQ(crc::ErrorForOpenCause(99), A);
}
