// CCRC::ComputeCRC: opens the file with CFile, reads it block by block and hashes the
// first half of every 2048-byte block (see crc_kernels.h).
//
// Reads are 512 KiB (256 blocks) when that buffer can be had, else one block at a
// time. CFile::Read returns fewer bytes than asked only at the end of the file, so a
// large read splits into exactly the blocks that 2048-byte reads would return, and
// the checksum is the same either way.
#include "crc/CRC.h"

#include "crc/crc_cause.h"
#include "crc/crc_kernels.h"
#include "platform/File.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

constexpr std::size_t kReadBytes = 256 * crc::kBlockBytes;

struct FreeDeleter {
    void operator()(unsigned char* p) const { std::free(p); }
};

} // namespace

bool CCRC::ComputeCRC(CString const& fileName, unsigned long& checksum, CRCError& error)
{
    error = CRCERR_NONE;
    CFile file;
    CFileException cause;
    if (!file.Open(fileName, CFile::modeRead | CFile::shareDenyNone, &cause)) {
        error = crc::ErrorForOpenCause(cause.m_cause);
        return false;
    }

    unsigned char block[crc::kBlockBytes];
    std::unique_ptr<unsigned char, FreeDeleter> large(static_cast<unsigned char*>(std::aligned_alloc(4096, kReadBytes)));
    unsigned char* buffer = large ? large.get() : block;
    const UINT bufferBytes = static_cast<UINT>(large ? kReadBytes : sizeof block);

    std::uint32_t h = 0;
    try {
        for (;;) {
            UINT n = file.Read(buffer, bufferBytes);
            h = crc::HashBlocks(h, buffer, n);
            if (n < bufferBytes)
                break;
        }
        file.Close();
    } catch (CFileException const&) {
        file.Abort();
        error = CRCERR_ACCESS;
        return false;
    }
    checksum = h;
    return true;
}
