// CFile, CFileException and CAtomicFile over POSIX descriptors.
#include "platform/File.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folder part of a path ("." for a bare name), for telling a missing file
// from a missing folder.
std::string FolderOf(const char* name)
{
    std::string s(name);
    size_t slash = s.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return s.substr(0, slash);
}

bool IsFolder(std::string const& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

int CFileException::CauseFromErrno(int err, const char* fileName)
{
    switch (err) {
    case ENOENT:
        if (fileName && *fileName && !IsFolder(FolderOf(fileName)))
            return badPath;
        return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
        return badPath;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return accessDenied;
    case EMFILE:
    case ENFILE:
        return tooManyOpenFiles;
    case ENOSPC:
    case EDQUOT:
        return diskFull;
    case EIO:
        return hardIO;
    default:
        return generic;
    }
}

CFile::CFile(const char* fileName, UINT openFlags)
{
    CFileException error;
    if (!Open(fileName, openFlags, &error))
        throw error;
}

CFile::~CFile()
{
    Abort();
}

BOOL CFile::Open(const char* fileName, UINT openFlags, CFileException* error)
{
    Abort();
    if (!fileName || !*fileName) {
        if (error)
            *error = CFileException(CFileException::badPath, ENOENT, CString());
        return FALSE;
    }
    int flags = O_CLOEXEC;
    switch (openFlags & 3) {
    case modeWrite: flags |= O_WRONLY; break;
    case modeReadWrite: flags |= O_RDWR; break;
    default: flags |= O_RDONLY; break;
    }
    if (openFlags & modeCreate) {
        flags |= O_CREAT;
        if (!(openFlags & modeNoTruncate))
            flags |= O_TRUNC;
    }
    int fd;
    do {
        fd = ::open(fileName, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        int err = errno;
        if (error)
            *error = CFileException(CFileException::CauseFromErrno(err, fileName), err, fileName);
        return FALSE;
    }
    // A folder opens for reading here; Windows refuses it as access denied.
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        if (error)
            *error = CFileException(CFileException::accessDenied, EISDIR, fileName);
        return FALSE;
    }
    m_hFile = fd;
    m_strFileName = fileName;
    return TRUE;
}

void CFile::ThrowErrno(int err) const
{
    throw CFileException(CFileException::CauseFromErrno(err), err, m_strFileName);
}

UINT CFile::Read(void* buffer, UINT count)
{
    if (m_hFile < 0)
        throw CFileException(CFileException::invalidFile, EBADF, m_strFileName);
    char* p = static_cast<char*>(buffer);
    UINT done = 0;
    while (done < count) {
        ssize_t n = ::read(m_hFile, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowErrno(errno);
        }
        if (n == 0)
            break;
        done += static_cast<UINT>(n);
    }
    return done;
}

void CFile::Write(const void* buffer, UINT count)
{
    if (m_hFile < 0)
        throw CFileException(CFileException::invalidFile, EBADF, m_strFileName);
    const char* p = static_cast<const char*>(buffer);
    UINT done = 0;
    while (done < count) {
        ssize_t n = ::write(m_hFile, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowErrno(errno);
        }
        if (n == 0)
            throw CFileException(CFileException::diskFull, ENOSPC, m_strFileName);
        done += static_cast<UINT>(n);
    }
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from)
{
    if (m_hFile < 0)
        throw CFileException(CFileException::invalidFile, EBADF, m_strFileName);
    int whence = from == current ? SEEK_CUR : from == end ? SEEK_END : SEEK_SET;
    off_t pos = ::lseek(m_hFile, static_cast<off_t>(offset), whence);
    if (pos < 0)
        throw CFileException(CFileException::badSeek, errno, m_strFileName);
    return static_cast<ULONGLONG>(pos);
}

ULONGLONG CFile::GetPosition() const
{
    if (m_hFile < 0)
        throw CFileException(CFileException::invalidFile, EBADF, m_strFileName);
    off_t pos = ::lseek(m_hFile, 0, SEEK_CUR);
    if (pos < 0)
        throw CFileException(CFileException::badSeek, errno, m_strFileName);
    return static_cast<ULONGLONG>(pos);
}

ULONGLONG CFile::GetLength() const
{
    if (m_hFile < 0)
        throw CFileException(CFileException::invalidFile, EBADF, m_strFileName);
    struct stat st;
    if (fstat(m_hFile, &st) != 0)
        ThrowErrno(errno);
    return static_cast<ULONGLONG>(st.st_size);
}

void CFile::Close()
{
    if (m_hFile < 0)
        return;
    int fd = m_hFile;
    m_hFile = -1;
    if (::close(fd) != 0 && errno != EINTR)
        ThrowErrno(errno);
}

void CFile::Abort()
{
    if (m_hFile >= 0) {
        ::close(m_hFile);
        m_hFile = -1;
    }
}

void CFile::Remove(const char* fileName)
{
    if (::unlink(fileName) != 0) {
        int err = errno;
        throw CFileException(CFileException::CauseFromErrno(err, fileName), err, fileName);
    }
}

void CFile::Rename(const char* oldName, const char* newName)
{
    if (::rename(oldName, newName) != 0) {
        int err = errno;
        throw CFileException(CFileException::CauseFromErrno(err, newName), err, newName);
    }
}

CAtomicFile::~CAtomicFile()
{
    Discard();
}

BOOL CAtomicFile::Create(const char* targetName, CFileException* error)
{
    Discard();
    if (!targetName || !*targetName) {
        if (error)
            *error = CFileException(CFileException::badPath, ENOENT, CString());
        return FALSE;
    }
    // Refuse a folder as the target before making anything beside it.
    struct stat target;
    bool exists = stat(targetName, &target) == 0;
    if (exists && S_ISDIR(target.st_mode)) {
        if (error)
            *error = CFileException(CFileException::accessDenied, EISDIR, targetName);
        return FALSE;
    }
    std::string folder = FolderOf(targetName);
    std::string name(targetName);
    std::string base = name.substr(name.find_last_of('/') == std::string::npos ? 0 : name.find_last_of('/') + 1);
    std::string pattern = folder + "/." + base + ".XXXXXX";
    std::string buffer = pattern;
    int fd = mkostemp(&buffer[0], O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        if (error)
            *error = CFileException(CFileException::CauseFromErrno(err, targetName), err, targetName);
        return FALSE;
    }
    // The new file takes the mode of the file it replaces, or the usual 0666 less umask.
    mode_t mode;
    if (exists) {
        mode = target.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    m_hFile = fd;
    m_strFileName = buffer.c_str();
    m_strTarget = targetName;
    return TRUE;
}

void CAtomicFile::Commit()
{
    if (m_hFile < 0)
        throw CFileException(CFileException::invalidFile, EBADF, m_strTarget);
    int fd = m_hFile;
    m_hFile = -1;
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(m_strFileName);
        throw CFileException(CFileException::CauseFromErrno(err), err, m_strTarget);
    }
    if (::rename(m_strFileName, m_strTarget) != 0) {
        int err = errno;
        ::unlink(m_strFileName);
        m_strFileName.Empty();
        throw CFileException(CFileException::CauseFromErrno(err, m_strTarget), err, m_strTarget);
    }
    m_strFileName.Empty();
}

void CAtomicFile::Discard()
{
    if (m_hFile >= 0) {
        ::close(m_hFile);
        m_hFile = -1;
    }
    if (!m_strFileName.IsEmpty()) {
        ::unlink(m_strFileName);
        m_strFileName.Empty();
    }
}
