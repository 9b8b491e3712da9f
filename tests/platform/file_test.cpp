// CFile: failure causes from errno, reading and writing, and atomic replacement.
#include "platform/File.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Folder {
    fs::path path;
    Folder()
    {
        char pattern[] = "/tmp/tessera-platform-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~Folder() { fs::remove_all(path); }
    std::string operator/(std::string const& name) const { return (path / name).string(); }
};

void WriteText(std::string const& file, std::string const& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

std::string ReadText(std::string const& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

TEST(FileException, CausesFromErrno)
{
    struct Row {
        int err, cause;
    } const rows[] = {
        {ENOTDIR, CFileException::badPath},        {ENAMETOOLONG, CFileException::badPath},
        {EACCES, CFileException::accessDenied},    {EPERM, CFileException::accessDenied},
        {EISDIR, CFileException::accessDenied},    {EMFILE, CFileException::tooManyOpenFiles},
        {ENFILE, CFileException::tooManyOpenFiles}, {ENOSPC, CFileException::diskFull},
        {EIO, CFileException::hardIO},             {EINVAL, CFileException::generic},
        {ENOENT, CFileException::fileNotFound},
    };
    for (auto const& r : rows)
        EXPECT_EQ(CFileException::CauseFromErrno(r.err), r.cause) << r.err;
}

TEST(File, OpenFailuresTellMissingFileFolderAndDirectoryApart)
{
    Folder dir;
    CFile file;
    CFileException e;
    EXPECT_FALSE(file.Open((dir / "missing.bmp").c_str(), CFile::modeRead | CFile::shareDenyNone, &e));
    EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
    EXPECT_FALSE(file.Open((dir / "nofolder/x.bmp").c_str(), CFile::modeRead, &e));
    EXPECT_EQ(e.m_cause, CFileException::badPath);
    EXPECT_FALSE(file.Open(dir.path.c_str(), CFile::modeRead, &e));
    EXPECT_EQ(e.m_cause, CFileException::accessDenied);
    EXPECT_FALSE(file.IsOpen());
}

TEST(File, WriteSeekReadRoundTrip)
{
    Folder dir;
    std::string name = dir / "data.bin";
    {
        CFile out;
        ASSERT_TRUE(out.Open(name.c_str(), CFile::modeCreate | CFile::modeReadWrite));
        out.Seek(4, CFile::begin);
        out.Write("world", 5);
        out.SeekToBegin();
        out.Write("helo", 4);
        EXPECT_EQ(out.GetLength(), 9u);
    }
    CFile in(name.c_str(), CFile::modeRead);
    char buffer[16] = {};
    EXPECT_EQ(in.Read(buffer, 16), 9u);
    EXPECT_EQ(std::string(buffer, 9), "heloworld");
    EXPECT_EQ(in.Read(buffer, 16), 0u);
    in.Seek(-3, CFile::current);
    EXPECT_EQ(in.GetPosition(), 6u);
    EXPECT_THROW(CFile(dir.path.c_str(), CFile::modeRead), CFileException);
    EXPECT_THROW(CFile::Remove((dir / "missing").c_str()), CFileException);
}

TEST(AtomicFile, CommitReplacesAndDiscardLeavesTheTargetAlone)
{
    Folder dir;
    std::string target = dir / "picture.bmp";
    WriteText(target, "old contents");
    chmod(target.c_str(), 0640);
    {
        CAtomicFile file;
        ASSERT_TRUE(file.Create(target.c_str()));
        file.Write("partial", 7);
        // Abandoned: destructor discards.
    }
    EXPECT_EQ(ReadText(target), "old contents");
    {
        CAtomicFile file;
        ASSERT_TRUE(file.Create(target.c_str()));
        file.Write("new", 3);
        file.Commit();
    }
    EXPECT_EQ(ReadText(target), "new");
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // Nothing but the target is left in the folder.
    int entries = 0;
    for (auto const& entry : fs::directory_iterator(dir.path)) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1);

    CAtomicFile bad;
    CFileException e;
    EXPECT_FALSE(bad.Create((dir / "missing/out.bmp").c_str(), &e));
    EXPECT_EQ(e.m_cause, CFileException::badPath);
    EXPECT_FALSE(bad.Create(dir.path.c_str(), &e));
    EXPECT_EQ(e.m_cause, CFileException::accessDenied);
}
