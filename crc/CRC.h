// CCRC: a checksum of a file's content with the CRC-32 table (reflected polynomial
// 0xEDB88320), start value 0 and no final inversion. Only the first half of every
// 2048-byte block of the file enters the checksum (bytes 0-1023, 2048-3071, ...; of a
// final partial block of n bytes, the first n / 2).
#pragma once

#include "platform/Export.h"
#include "platform/String.h"

class TESSERA_EXPORT CCRC {
public:
    enum CRCError {
        CRCERR_NO_FILE = 0, // the file does not exist, its name or path is invalid, or a generic failure
        CRCERR_ACCESS = 1,  // the file exists but cannot be opened or read
        CRCERR_NONE = 2,    // no error
    };

    // True with checksum set and error CRCERR_NONE; false with error set and checksum unchanged.
    static bool ComputeCRC(CString const& fileName, unsigned long& checksum, CRCError& error);

    CCRC& operator=(CCRC const&) { return *this; }
};
