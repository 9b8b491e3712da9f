// File-name dialogs through the scripted back end: what each dialog is asked
// (flags, filter, title, folder, proposed name, parent, buffer) and what comes of
// each answer (confirm, cancel, failure).
#include "io/IO.h"
#include "platform/FileDialog.h"

#include <gtest/gtest.h>

namespace {

const char* const kOpenFilter = "All Formats|*.bmp;*.jpg;*.jpeg;*.gif;*.tif;*.tiff|Bitmap files (*.bmp)|*.bmp|"
                                "CompuServe GIF files (*.gif)|*.gif|Jpeg files (*.jpg;*.jpeg)|*.jpg;*.jpeg|"
                                "Tiff files (*.tif;*.tiff)|*.tif;*.tiff||";
const char* const kSaveFilter = "All Formats|*.bmp;*.jpg;*.jpeg;*.tif;*.tiff|Bitmap files (*.bmp)|*.bmp|"
                                "Jpeg files (*.jpg;*.jpeg)|*.jpg;*.jpeg|Tiff files (*.tif;*.tiff)|*.tif;*.tiff||";
const char* const kFailure = "Windows or Quillmark is not stable.\nPlease reboot your computer.";

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override { previous = SetFileDialogBackend(&user); }
    void TearDown() override
    {
        SetFileDialogBackend(previous);
        AfxGetThread()->m_pMainWnd = nullptr;
    }
    ScriptedDialogBackend user;
    FileDialogBackend* previous = nullptr;
};

} // namespace

TEST_F(Dialogs, OpenProposesTheNameInItsFolder)
{
    user.Confirm({"C:\\pics\\other.jpg"});
    CString name("C:\\pics\\photo.bmp");
    EXPECT_TRUE(CIO::GetFileName(name, true));
    EXPECT_EQ(name, "C:\\pics\\other.jpg");
    ASSERT_EQ(user.requests.size(), 1u);
    FileDialogRequest const& r = user.requests[0];
    EXPECT_TRUE(r.open);
    EXPECT_EQ(r.title, "Open");
    EXPECT_EQ(r.initialFolder, "C:\\pics\\");
    EXPECT_EQ(r.proposedName, "photo");
    EXPECT_EQ(r.flags, 0x81014u); // explorer, file must exist, hide read-only, help
    EXPECT_EQ(r.filter, kOpenFilter);
    EXPECT_EQ(r.filterIndex, 1u);
    EXPECT_EQ(r.defaultExtension, "");
    EXPECT_EQ(r.parent, nullptr);
    EXPECT_TRUE(user.messages.empty());
}

TEST_F(Dialogs, FlagsFollowThePlatformVersion)
{
    struct Case {
        DWORD version;
        bool open;
        DWORD flags;
    } const cases[] = {
        {0x0003, true, 0x1014}, {0x0003, false, 0x16}, {0x0004, true, 0x81014},
        {0x0A04, false, 0x80016}, {0x23F00206, false, 0x80016},
    };
    for (auto const& c : cases) {
        user.version = c.version;
        user.Cancel();
        CString name("x.bmp");
        EXPECT_FALSE(CIO::GetFileName(name, c.open));
        EXPECT_EQ(user.requests.back().flags, c.flags) << std::hex << c.version;
    }
    user.version = 0x0003;
    user.Cancel();
    CStringList list;
    CIO::GetFileNames(list);
    EXPECT_EQ(user.requests.back().flags, 0x1214u);
}

TEST_F(Dialogs, SaveAddsJpgOnlyWhenTheChosenNameHasNoExtension)
{
    struct Case {
        const char* chosen;
        const char* result;
    } const cases[] = {
        {"C:\\out\\report", "C:\\out\\report.jpg"},
        {"C:\\out\\report.bmp", "C:\\out\\report.bmp"},
        {"C:\\out\\report.", "C:\\out\\report."},
        {"/home/u/a.b/report", "/home/u/a.b/report.jpg"},
    };
    for (auto const& c : cases) {
        user.Confirm({c.chosen});
        CString name("C:\\out\\draft.tif");
        EXPECT_TRUE(CIO::GetFileName(name, false));
        EXPECT_EQ(name, c.result);
        FileDialogRequest const& r = user.requests.back();
        EXPECT_FALSE(r.open);
        EXPECT_EQ(r.title, "Save");
        EXPECT_EQ(r.filter, kSaveFilter);
        EXPECT_EQ(r.flags & OFN_OVERWRITEPROMPT, DWORD(OFN_OVERWRITEPROMPT));
        EXPECT_EQ(r.proposedName, "draft");
    }
}

TEST_F(Dialogs, CancelKeepsTheNameAndShowsNothing)
{
    user.Cancel();
    CString name("C:\\pics\\photo.bmp");
    EXPECT_FALSE(CIO::GetFileName(name, false));
    EXPECT_EQ(name, "C:\\pics\\photo.bmp");
    EXPECT_TRUE(user.messages.empty());

    user.Cancel();
    CStringList list;
    list.AddTail("kept");
    EXPECT_EQ(CIO::GetFileNames(list), 0);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_TRUE(user.messages.empty());
}

TEST_F(Dialogs, FailureShowsTheMessageOnce)
{
    user.Fail();
    CString name("a.bmp");
    EXPECT_FALSE(CIO::GetFileName(name, true));
    EXPECT_EQ(name, "a.bmp");
    ASSERT_EQ(user.messages.size(), 1u);
    EXPECT_EQ(user.messages[0].text, kFailure);
    EXPECT_EQ(user.messages[0].type, 0u);
    EXPECT_EQ(user.messages[0].helpContext, 0u);

    user.Fail(-1);
    CStringList list;
    EXPECT_EQ(CIO::GetFileNames(CString("/tmp"), list), 0);
    EXPECT_EQ(user.messages.size(), 2u);
    EXPECT_TRUE(list.IsEmpty());
}

TEST_F(Dialogs, EmptyNameOpensInTheDefaultFolderWithoutProposal)
{
    user.Confirm({"/x/y.tif"});
    CString name;
    EXPECT_TRUE(CIO::GetFileName(name, true));
    EXPECT_EQ(user.requests[0].initialFolder, "");
    EXPECT_EQ(user.requests[0].proposedName, "");
}

TEST_F(Dialogs, SeveralFilesAreAppendedInOrder)
{
    CWnd main;
    AfxGetThread()->m_pMainWnd = &main;
    user.Confirm({"/pics/a.bmp", "/pics/b.gif", "/pics/c.tif"});
    CStringList list;
    list.AddTail("/before.jpg");
    EXPECT_EQ(CIO::GetFileNames(CString("/pics"), list), 3);
    ASSERT_EQ(list.GetCount(), 4);
    std::vector<CString> got(list.items().begin(), list.items().end());
    EXPECT_EQ(got[0], "/before.jpg");
    EXPECT_EQ(got[1], "/pics/a.bmp");
    EXPECT_EQ(got[3], "/pics/c.tif");
    FileDialogRequest const& r = user.requests[0];
    EXPECT_TRUE(r.open);
    EXPECT_EQ(r.flags, 0x81214u);
    EXPECT_EQ(r.initialFolder, "/pics");
    EXPECT_EQ(r.bufferLength, 2562u);
    EXPECT_EQ(r.parent, &main);
    EXPECT_EQ(r.title, "Open");
    EXPECT_EQ(r.filter, kOpenFilter);

    // The overload without a folder starts in the default one.
    user.Confirm({"/q/one.jpg"});
    EXPECT_EQ(CIO::GetFileNames(list), 1);
    EXPECT_EQ(user.requests[1].initialFolder, "");
    EXPECT_EQ(list.GetTail(), "/q/one.jpg");
}

TEST_F(Dialogs, SelectionLargerThanTheBufferFails)
{
    // 2562 characters hold the names; 40 paths of 80 characters do not fit.
    std::vector<CString> many;
    for (int i = 0; i < 40; ++i)
        many.push_back(CString("/pics/" + std::string(70, 'a') + std::to_string(1000 + i) + ".bmp"));
    user.Confirm(many);
    CStringList list;
    EXPECT_EQ(CIO::GetFileNames(list), 0);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(user.messages.size(), 1u);
}
