// The table-driven CRC-32 kernels, the block walk of the file checksum and the choice
// of the fastest kernel.
#include "crc/crc_kernels.h"

namespace crc {

namespace {

// Slicing tables: slice[0] is the byte table; slice[k][i] is the register after
// hashing byte i followed by k zero bytes, so eight bytes take eight independent
// lookups.
struct SliceTables {
    std::uint32_t t[8][256];
};

constexpr SliceTables MakeSlices()
{
    SliceTables s{};
    auto& t = s.t;
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (int i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return s;
}

constexpr auto kSlices = MakeSlices();

inline std::uint32_t Load32LE(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

using UpdateFn = std::uint32_t (*)(std::uint32_t, const unsigned char*, std::size_t);

// Whole blocks hash their first half; a final partial block of r bytes its first r / 2.
inline std::uint32_t WalkBlocks(UpdateFn update, std::uint32_t h, const unsigned char* data, std::size_t count)
{
    constexpr std::size_t half = kBlockBytes / 2;
    std::size_t whole = count / kBlockBytes;
    for (std::size_t b = 0; b < whole; ++b)
        h = update(h, data + b * kBlockBytes, half);
    return update(h, data + whole * kBlockBytes, (count % kBlockBytes) / 2);
}

} // namespace

const std::uint32_t (&kTable)[256] = kSlices.t[0];

std::uint32_t UpdatePlain(std::uint32_t h, const unsigned char* data, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        h = (h >> 8) ^ kTable[(h ^ data[i]) & 0xFF];
    return h;
}

std::uint32_t UpdateSlice8(std::uint32_t h, const unsigned char* data, std::size_t count)
{
    auto const& t = kSlices.t;
    while (count >= 8) {
        std::uint32_t a = Load32LE(data) ^ h;
        std::uint32_t b = Load32LE(data + 4);
        h = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^ t[3][b & 0xFF] ^
            t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
        data += 8;
        count -= 8;
    }
    while (count--)
        h = (h >> 8) ^ t[0][(h ^ *data++) & 0xFF];
    return h;
}

std::uint32_t HashBlocksPlain(std::uint32_t h, const unsigned char* data, std::size_t count)
{
    return WalkBlocks(UpdatePlain, h, data, count);
}

std::uint32_t HashBlocksSlice8(std::uint32_t h, const unsigned char* data, std::size_t count)
{
    return WalkBlocks(UpdateSlice8, h, data, count);
}

std::uint32_t HashBlocks(std::uint32_t h, const unsigned char* data, std::size_t count)
{
    static const auto kernel = Clmul512Available() ? HashBlocksClmul512
                               : ClmulAvailable()  ? HashBlocksClmul
                                                   : HashBlocksSlice8;
    return kernel(h, data, count);
}

} // namespace crc
