// The path splitter and builder with both separators, drives and cut components.
#include "platform/Path.h"

#include <gtest/gtest.h>

#include <string>

TEST(SplitPath, ComponentsOfTypicalPaths)
{
    struct Row {
        const char *path, *drive, *dir, *fname, *ext;
    } const rows[] = {
        {"C:\\pics\\photo.bmp", "C:", "\\pics\\", "photo", ".bmp"},
        {"/home/u/img.old/picture", "", "/home/u/img.old/", "picture", ""},
        {"archive.tar.gz", "", "", "archive.tar", ".gz"},
        {"dir/sub\\name.", "", "dir/sub\\", "name", "."},
        {"folder/", "", "folder/", "", ""},
        {"D:file.JPG", "D:", "", "file", ".JPG"},
        {".profile", "", "", "", ".profile"},
        {"", "", "", "", ""},
    };
    for (auto const& r : rows) {
        char drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME], ext[_MAX_EXT];
        _splitpath(r.path, drive, dir, fname, ext);
        EXPECT_STREQ(drive, r.drive) << r.path;
        EXPECT_STREQ(dir, r.dir) << r.path;
        EXPECT_STREQ(fname, r.fname) << r.path;
        EXPECT_STREQ(ext, r.ext) << r.path;
    }
}

TEST(SplitPath, LongComponentsAreCut)
{
    std::string longName(300, 'n');
    char fname[_MAX_FNAME], ext[_MAX_EXT];
    _splitpath(("/x/" + longName + ".e").c_str(), nullptr, nullptr, fname, ext);
    EXPECT_EQ(std::string(fname), std::string(255, 'n'));
    EXPECT_STREQ(ext, ".e");
}

TEST(MakePath, JoinsAndAddsMissingSeparatorAndDot)
{
    char path[_MAX_PATH];
    _makepath(path, "C:", "\\out", "report", "jpg");
    EXPECT_STREQ(path, "C:\\out\\report.jpg");
    _makepath(path, "", "/tmp/", "", "");
    EXPECT_STREQ(path, "/tmp/");
    _makepath(path, nullptr, nullptr, "a", ".b");
    EXPECT_STREQ(path, "a.b");
    std::string longDir(300, 'd');
    _makepath(path, "", longDir.c_str(), "x", "y");
    EXPECT_EQ(std::string(path).size(), static_cast<size_t>(_MAX_PATH - 1));
}

TEST(CaseBlindCompare, IgnoresAsciiCaseOnly)
{
    auto cmp = [](const char* a, const char* b) {
        return _mbsicmp(reinterpret_cast<const unsigned char*>(a), reinterpret_cast<const unsigned char*>(b));
    };
    EXPECT_EQ(cmp(".JPG", ".jpg"), 0);
    EXPECT_EQ(cmp(".Jpeg", ".jpeg"), 0);
    EXPECT_NE(cmp(".jpe", ".jpeg"), 0);
    EXPECT_LT(cmp("a", "B"), 0);
}
