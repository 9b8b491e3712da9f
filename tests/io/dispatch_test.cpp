// Format dispatch: the path helpers, the extension table (case-blind, whole
// extensions only, dots in folder names), error codes, text hand-over and the
// ownership of loaded and converted images (checked by the sanitizers).
#include "io/IO.h"
#include "io/image_helpers.h"
#include "io/path_util.h"


#include <gtest/gtest.h>

#include <memory>

namespace {

using ImagePtr = std::unique_ptr<CImage>;

ImagePtr Load(std::string const& path, unsigned flags, CIO::IOError& error, CString* text = nullptr)
{
    return ImagePtr(CIO::LoadImageA(CString(path), flags, error, text));
}

bool Save(std::string const& path, CImage& image, CIO::IOError& error, unsigned flags = 0, CString text = CString())
{
    return CIO::SaveImage(CString(path), image, flags, 90, error, text);
}

} // namespace

TEST(PathHelpers, SplitTheFinalComponent)
{
    struct Case {
        const char* path;
        const char* ext;
        const char* base;
        const char* folder;
    } const cases[] = {
        {"C:\\pics\\photo.bmp", ".bmp", "photo", "C:\\pics\\"},
        {"C:\\img.old\\picture", "", "picture", "C:\\img.old\\"},
        {"/home/u/a.b/archive.tar.gz", ".gz", "archive.tar", "/home/u/a.b/"},
        {"photo", "", "photo", ""},
        {"out/report.", ".", "report", "out/"},
        {"C:name.Jpeg", ".Jpeg", "name", "C:"},
        {"", "", "", ""},
    };
    for (auto const& c : cases) {
        EXPECT_EQ(iopath::PathExtension(c.path), c.ext) << c.path;
        EXPECT_EQ(iopath::PathBaseName(c.path), c.base) << c.path;
        EXPECT_EQ(iopath::PathFolder(c.path), c.folder) << c.path;
    }
}

TEST(Dispatch, FileformatSupportedFollowsTheExtensionTable)
{
    struct Case {
        const char* name;
        bool open, save;
    } const cases[] = {
        {"a.bmp", true, true},   {"A.BMP", true, true},    {"a.jpg", true, true},     {"a.JPEG", true, true},
        {"a.gif", true, false},  {"anim.GIF", true, false}, {"a.tif", true, true},     {"a.Tiff", true, true},
        {"a.jpe", false, false}, {"a.png", false, false},  {"a", false, false},       {"a.bmp.txt", false, false},
        {"dir.jpg/a", false, false}, {"C:\\img.old\\picture", false, false}, {"a.tiff2", false, false},
    };
    for (auto const& c : cases) {
        EXPECT_EQ(CIO::FileformatSupported(c.name, true), c.open) << c.name;
        EXPECT_EQ(CIO::FileformatSupported(c.name, false), c.save) << c.name;
    }
}

TEST(Dispatch, JpegAndTiffNamesLoadWhateverTheCase)
{
    ScratchFolder dir;
    auto image = RandomImage(IM_RGB, 40, 30, 3);
    for (const char* name : {"PHOTO.JPG", "photo.Jpeg", "photo.jpeg", "scan.TIF", "scan.tiff"}) {
        CIO::IOError error = CIO::IOERR_BAD_PATH;
        ASSERT_TRUE(Save(dir / name, *image, error)) << name;
        EXPECT_EQ(error, CIO::IOERR_NONE);
        ImagePtr back = Load(dir / name, 0, error);
        ASSERT_NE(back, nullptr) << name;
        EXPECT_EQ(error, CIO::IOERR_NONE);
        EXPECT_EQ(back->GetMode(), IM_RGB);
        EXPECT_EQ(back->Width(), 40);
    }
    // The same JPEG bytes under .jpe: no reader, file untouched.
    std::filesystem::copy_file(dir / "photo.jpeg", dir / "photo.jpe");
    CIO::IOError error = CIO::IOERR_NONE;
    EXPECT_EQ(Load(dir / "photo.jpe", 0, error), nullptr);
    EXPECT_EQ(error, CIO::IOERR_OPEN_FAILED);
}

TEST(Dispatch, DotsInFolderNamesDoNotMakeAnExtension)
{
    ScratchFolder dir;
    std::filesystem::create_directory(dir / "img.jpg");
    const std::string path = dir / "img.jpg/picture";
    WriteFile(path, "not an image");
    auto image = RandomImage(IM_RGB, 4, 4, 1);
    CIO::IOError error = CIO::IOERR_NONE;
    EXPECT_EQ(Load(path, 0, error), nullptr);
    EXPECT_EQ(error, CIO::IOERR_OPEN_FAILED);
    const std::string fresh = dir / "img.jpg/fresh";
    EXPECT_FALSE(Save(fresh, *image, error));
    EXPECT_EQ(error, CIO::IOERR_UNSUPPORTED_MODE);
    EXPECT_FALSE(std::filesystem::exists(fresh));
}

TEST(Dispatch, GifCannotBeSavedAndNothingIsCreated)
{
    ScratchFolder dir;
    auto image = RandomImage(IM_INDEXED, 4, 4, 1);
    CIO::IOError error = CIO::IOERR_NONE;
    EXPECT_FALSE(Save(dir / "anim.gif", *image, error));
    EXPECT_EQ(error, CIO::IOERR_UNSUPPORTED_MODE);
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(Dispatch, MissingFilesAndFoldersGiveTheirCodes)
{
    ScratchFolder dir;
    for (const char* name : {"none.jpg", "none.tif"}) {
        CIO::IOError error = CIO::IOERR_NONE;
        EXPECT_EQ(Load(dir / name, 0, error), nullptr);
        EXPECT_EQ(error, CIO::IOERR_NOT_FOUND) << name;
        EXPECT_EQ(Load(dir / (std::string("missing/") + name), 0, error), nullptr);
        EXPECT_EQ(error, CIO::IOERR_BAD_PATH) << name;
    }
}

TEST(Dispatch, LoadConvertsUnderTheFlagsAndHandsTextOver)
{
    ScratchFolder dir;
    auto grey = RandomImage(IM_GRAY16 | IM_ALPHA, 300, 20, 9);
    CIO::IOError error = CIO::IOERR_NONE;
    ASSERT_TRUE(Save(dir / "g.tif", *grey, error, 0, CString("a description")));

    CString text("stale");
    ImagePtr same = Load(dir / "g.tif", IOF_BMP_RLE, error, &text);
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(same->GetMode(), IM_GRAY16 | IM_ALPHA); // IOF_BMP_RLE changes nothing
    EXPECT_EQ(text, "a description");
    EXPECT_TRUE(Pixels(*same) == Pixels(*grey));

    ImagePtr rgb = Load(dir / "g.tif", IOF_TO_RGB, error);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(error, CIO::IOERR_NONE);
    EXPECT_EQ(rgb->GetMode(), IM_RGB | IM_ALPHA);
    ImagePtr narrowed = Load(dir / "g.tif", IOF_HUE_TO_RGB, error);
    ASSERT_NE(narrowed, nullptr);
    EXPECT_EQ(narrowed->GetMode(), IM_GRAY);

    // Already RGB: the reader's image comes back unconverted.
    auto colour = RandomImage(IM_RGB, 8, 8, 2);
    ASSERT_TRUE(Save(dir / "c.tif", *colour, error));
    ImagePtr back = Load(dir / "c.tif", IOF_TO_RGB, error);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(Pixels(*back) == Pixels(*colour));
}

TEST(Dispatch, FailedSaveLeavesTheExistingFileAsItWas)
{
    ScratchFolder dir;
    const std::string path = dir / "keep.jpg";
    WriteFile(path, "previous content");
    auto wide = RandomImage(IM_RGB16, 4, 4, 1);
    CIO::IOError error = CIO::IOERR_NONE;
    EXPECT_FALSE(Save(path, *wide, error));
    EXPECT_EQ(error, CIO::IOERR_UNSUPPORTED_MODE);
    EXPECT_EQ(ReadFile(path), "previous content");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"keep.jpg"});
}

TEST(Dispatch, BmpLoadsThroughTheBmpReaderAndRefusesUnwritableModes)
{
    ScratchFolder dir;
    auto image = RandomImage(IM_RGB, 33, 17, 4);
    CIO::IOError error = CIO::IOERR_NONE;
    ASSERT_TRUE(Save(dir / "p.BMP", *image, error));
    ImagePtr back = Load(dir / "p.BMP", 0, error);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetMode(), IM_RGB);
    EXPECT_TRUE(Pixels(*back) == Pixels(*image));

    auto hls = RandomImage(IM_HLS, 4, 4, 1);
    EXPECT_FALSE(Save(dir / "h.bmp", *hls, error));
    EXPECT_EQ(error, CIO::IOERR_UNSUPPORTED_MODE);
}

TEST(Dispatch, LoadDibReadsAnInfoHeaderAtTheFilePosition)
{
    ScratchFolder dir;
    auto image = RandomImage(IM_INDEXED, 9, 5, 4);
    CLut lut;
    for (unsigned i = 0; i < 256; ++i)
        lut[i] = LutColor{static_cast<unsigned char>(i), 0, static_cast<unsigned char>(255 - i)};
    image->SetLut(lut);
    CIO::IOError error = CIO::IOERR_NONE;
    ASSERT_TRUE(Save(dir / "d.bmp", *image, error));
    CFile file;
    ASSERT_TRUE(file.Open((dir / "d.bmp").c_str(), CFile::modeRead));
    file.Seek(14, CFile::begin); // past the file header
    ImagePtr dib(CIO::LoadDIB(file, IOF_TO_RGB, error));
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(error, CIO::IOERR_NONE);
    EXPECT_EQ(dib->GetMode(), IM_RGB);
    EXPECT_TRUE(file.IsOpen());
}
