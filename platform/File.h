// CFile over POSIX file descriptors, with the class library's failure causes.
//
// Open reports a failure through an optional CFileException (cause only, nothing
// thrown); Read, Write, Seek, Close and Remove throw CFileException by value.
// errno maps to causes as the Windows class library reports the equivalent errors:
//   ENOENT                     fileNotFound (badPath when the containing folder is missing)
//   ENOTDIR, ENAMETOOLONG      badPath
//   EACCES, EPERM, EISDIR      accessDenied (opening a folder as a file too)
//   EMFILE, ENFILE             tooManyOpenFiles
//   ENOSPC                     diskFull
//   EIO                        hardIO
//   anything else              generic
#pragma once

#include "platform/Export.h"
#include "platform/String.h"
#include "platform/WinTypes.h"

class TESSERA_EXPORT CFileException {
public:
    enum {
        none = 0,
        generic = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
    };

    CFileException() = default;
    CFileException(int cause, LONG osError = -1, CString fileName = CString())
        : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}

    // The cause for an errno value of a failed call on fileName (which may be empty).
    static int CauseFromErrno(int err, const char* fileName = nullptr);

    int m_cause = none;
    LONG m_lOsError = -1;
    CString m_strFileName;
};

class TESSERA_EXPORT CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CFile() = default;
    // Opens or throws CFileException.
    CFile(const char* fileName, UINT openFlags);
    virtual ~CFile();
    CFile(CFile const&) = delete;
    CFile& operator=(CFile const&) = delete;

    virtual BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr);
    // Reads up to count bytes; fewer only at the end of the file.
    virtual UINT Read(void* buffer, UINT count);
    // Writes all count bytes or throws (diskFull when the disk is full).
    virtual void Write(const void* buffer, UINT count);
    virtual ULONGLONG Seek(LONGLONG offset, UINT from);
    ULONGLONG SeekToBegin() { return Seek(0, begin); }
    ULONGLONG SeekToEnd() { return Seek(0, end); }
    virtual ULONGLONG GetPosition() const;
    virtual ULONGLONG GetLength() const;
    virtual void Close();
    // Closes without throwing.
    virtual void Abort();
    bool IsOpen() const { return m_hFile >= 0; }
    CString GetFilePath() const { return m_strFileName; }

    static void Remove(const char* fileName);
    static void Rename(const char* oldName, const char* newName);

    int m_hFile = -1;

protected:
    [[noreturn]] void ThrowErrno(int err) const;
    CString m_strFileName;
};

// A file written under a temporary name beside its target and renamed over the
// target only by Commit: a failed or abandoned save leaves an existing target
// byte for byte unchanged and no new file behind.
class TESSERA_EXPORT CAtomicFile : public CFile {
public:
    CAtomicFile() = default;
    ~CAtomicFile() override;

    // Creates the temporary file, read-write, in the target's folder.
    BOOL Create(const char* targetName, CFileException* error = nullptr);
    // Closes the temporary file and renames it over the target; throws CFileException
    // (the temporary is removed) on failure.
    void Commit();
    // Closes and removes the temporary file; never throws.
    void Discard();

private:
    CString m_strTarget;
};
