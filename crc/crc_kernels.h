// CRC-32 kernels behind CCRC (internal). All work on the raw register h of the
// reflected CRC-32 (polynomial 0xEDB88320): the caller chooses the start value and
// applies no inversion. Hashing byte b is h = (h >> 8) ^ table[(h ^ b) & 0xFF].
//
// UpdatePlain is the reference (one table lookup per byte); UpdateSlice8, UpdateClmul
// and UpdateClmul512 give the same register for every input and are tested against
// it. Where the processor lacks an instruction set, its kernels use the table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace crc {

// The standard CRC-32 table: entry 1 is 0x77073096.
extern const std::uint32_t (&kTable)[256];

std::uint32_t UpdatePlain(std::uint32_t h, const unsigned char* data, std::size_t count);
std::uint32_t UpdateSlice8(std::uint32_t h, const unsigned char* data, std::size_t count);

// Carry-less multiply folding (PCLMULQDQ + SSE4.1). Call only when ClmulAvailable().
bool ClmulAvailable();
std::uint32_t UpdateClmul(std::uint32_t h, const unsigned char* data, std::size_t count);

// The same folding on 512-bit registers (AVX-512F + VPCLMULQDQ). Call only when
// Clmul512Available().
bool Clmul512Available();
std::uint32_t UpdateClmul512(std::uint32_t h, const unsigned char* data, std::size_t count);

// The file checksum works on blocks of kBlockBytes, of which the first half is hashed.
constexpr std::size_t kBlockBytes = 2048;

// Hashes the bytes that one read of `count` bytes contributes: the first half of
// every whole block and the first (r / 2) bytes of a final partial block of r bytes.
// A read of several blocks gives what reading them one by one would give, as long
// as only the last read of a file is short.
std::uint32_t HashBlocksPlain(std::uint32_t h, const unsigned char* data, std::size_t count);
std::uint32_t HashBlocksSlice8(std::uint32_t h, const unsigned char* data, std::size_t count);
std::uint32_t HashBlocksClmul(std::uint32_t h, const unsigned char* data, std::size_t count);
std::uint32_t HashBlocksClmul512(std::uint32_t h, const unsigned char* data, std::size_t count);
// The fastest of these on this processor.
std::uint32_t HashBlocks(std::uint32_t h, const unsigned char* data, std::size_t count);

} // namespace crc
