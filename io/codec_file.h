// File helpers shared by the codecs (internal, header-only): the error code of a
// failed open, reading a whole file into memory, and writing an encoded file
// atomically.
#pragma once

#include "io/IO.h"
#include "platform/File.h"

#include <algorithm>
#include <new>
#include <vector>

// A missing file and a missing folder have codes of their own; every other failed
// open is IOERR_OPEN_FAILED.
inline CIO::IOError OpenErrorFromCause(int cause)
{
    switch (cause) {
    case CFileException::fileNotFound: return CIO::IOERR_NOT_FOUND;
    case CFileException::badPath: return CIO::IOERR_BAD_PATH;
    default: return CIO::IOERR_OPEN_FAILED;
    }
}

// Reads the whole file (at most maxBytes, else IOERR_BAD_FORMAT). A read failure is
// IOERR_NO_MEMORY, as the BMP reader reports any platform exception while reading.
inline bool ReadWholeFile(CString const& path, std::vector<unsigned char>& bytes, unsigned long long maxBytes,
                          CIO::IOError& error)
{
    CFile file;
    CFileException cause;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone, &cause)) {
        error = OpenErrorFromCause(cause.m_cause);
        return false;
    }
    try {
        const ULONGLONG length = file.GetLength();
        if (length > maxBytes) {
            error = CIO::IOERR_BAD_FORMAT;
            return false;
        }
        bytes.resize(static_cast<size_t>(length));
        size_t done = 0;
        while (done < bytes.size()) {
            const UINT n = file.Read(bytes.data() + done, static_cast<UINT>(std::min<size_t>(bytes.size() - done, 1u << 30)));
            if (n == 0) {
                error = CIO::IOERR_BAD_FORMAT;
                return false;
            }
            done += n;
        }
    } catch (CFileException const&) {
        error = CIO::IOERR_NO_MEMORY;
        return false;
    } catch (std::bad_alloc const&) {
        error = CIO::IOERR_NO_MEMORY;
        return false;
    }
    return true;
}

// A full disk is IOERR_NO_MEMORY, as the BMP writer reports it; every other failure
// to create or write the file is IOERR_CREATE_FAILED.
inline CIO::IOError WriteErrorFromCause(int cause)
{
    return cause == CFileException::diskFull ? CIO::IOERR_NO_MEMORY : CIO::IOERR_CREATE_FAILED;
}

// Writes size bytes as the file path through a temporary file renamed over it, so a
// failure leaves an existing file unchanged and nothing new behind.
inline bool WriteWholeFile(CString const& path, const unsigned char* data, size_t size, CIO::IOError& error)
{
    CAtomicFile file;
    CFileException cause;
    if (!file.Create(path, &cause)) {
        error = WriteErrorFromCause(cause.m_cause);
        return false;
    }
    try {
        size_t done = 0;
        while (done < size) {
            const size_t n = std::min<size_t>(size - done, 1u << 30);
            file.Write(data + done, static_cast<UINT>(n));
            done += n;
        }
        file.Commit();
    } catch (CFileException const& ex) {
        error = WriteErrorFromCause(ex.m_cause);
        return false;
    }
    error = CIO::IOERR_NONE;
    return true;
}
