// The checksum's error for the failure cause of an open (internal).
#pragma once

#include "crc/CRC.h"
#include "platform/File.h"

namespace crc {

// Missing or badly named files are CRCERR_NO_FILE; a file that exists but cannot be
// opened is CRCERR_ACCESS. A cause outside the platform's list (none, or an unknown
// value) still means the open failed, so it is CRCERR_ACCESS as well.
inline CCRC::CRCError ErrorForOpenCause(int cause)
{
    switch (cause) {
    case CFileException::generic:
    case CFileException::fileNotFound:
    case CFileException::badPath:
    case CFileException::invalidFile:
    case CFileException::removeCurrentDir:
        return CCRC::CRCERR_NO_FILE;
    default:
        return CCRC::CRCERR_ACCESS;
    }
}

} // namespace crc
