// CIO file-name dialogs: one file to open or save, several files to open. The
// filters offer every format the dispatch reads (opening) or writes (saving: no GIF),
// "All Formats" preselected. A save name typed without extension gets ".jpg".
#include "io/IO.h"

#include "io/path_util.h"
#include "platform/FileDialog.h"

#include <vector>

namespace {

// The nine constant strings, alive while the library is loaded.
const CString kBmpFilter("Bitmap files (*.bmp)|*.bmp");
const CString kJpegFilter("Jpeg files (*.jpg;*.jpeg)|*.jpg;*.jpeg");
const CString kGifFilter("CompuServe GIF files (*.gif)|*.gif");
const CString kTiffFilter("Tiff files (*.tif;*.tiff)|*.tif;*.tiff");
const CString kAllOpenFilter("All Formats|*.bmp;*.jpg;*.jpeg;*.gif;*.tif;*.tiff");
const CString kAllSaveFilter("All Formats|*.bmp;*.jpg;*.jpeg;*.tif;*.tiff");
const CString kOpenTitle("Open");
const CString kSaveTitle("Save");
const CString kFailureMessage("Windows or Quillmark is not stable.\nPlease reboot your computer.");

const DWORD kMultiSelectBuffer = 2562; // characters

CString OpenFilter()
{
    return kAllOpenFilter + "|" + kBmpFilter + "|" + kGifFilter + "|" + kJpegFilter + "|" + kTiffFilter + "||";
}

CString SaveFilter()
{
    return kAllSaveFilter + "|" + kBmpFilter + "|" + kJpegFilter + "|" + kTiffFilter + "||";
}

// Explorer-style dialogs from platform major version 4 (the low byte) on.
DWORD BaseFlags()
{
    DWORD flags = OFN_HIDEREADONLY | OFN_SHOWHELP;
    if ((GetVersion() & 0xFF) >= 4)
        flags |= OFN_EXPLORER;
    return flags;
}

void ReportFailure()
{
    AfxMessageBox(kFailureMessage, MB_OK, 0);
}

int ChooseSeveral(CString const* folder, CStringList& list)
{
    const DWORD flags = BaseFlags() | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT;
    const CString filter = OpenFilter();
    CWinThread* thread = AfxGetThread();
    CWnd* parent = thread ? thread->m_pMainWnd : nullptr;
    CFileDialog dialog(TRUE, nullptr, nullptr, flags, filter, parent);
    std::vector<char> buffer(kMultiSelectBuffer, '\0');
    dialog.m_ofn.lpstrTitle = kOpenTitle;
    dialog.m_ofn.nFilterIndex = 1;
    dialog.m_ofn.lpstrFile = buffer.data();
    dialog.m_ofn.nMaxFile = kMultiSelectBuffer;
    if (folder)
        dialog.m_ofn.lpstrInitialDir = *folder;
    const int result = dialog.DoModal();
    if (result == IDOK) {
        int count = 0;
        POSITION pos = dialog.GetStartPosition();
        while (pos) {
            list.AddTail(dialog.GetNextPathName(pos));
            ++count;
        }
        return count;
    }
    if (result != IDCANCEL)
        ReportFailure();
    return 0;
}

} // namespace

bool CIO::GetFileName(CString& name, bool open)
{
    const DWORD flags = BaseFlags() | (open ? OFN_FILEMUSTEXIST : OFN_OVERWRITEPROMPT);
    const CString filter = open ? OpenFilter() : SaveFilter();
    const CString proposed = iopath::PathBaseName(name);
    const CString folder = iopath::PathFolder(name);
    CFileDialog dialog(open, nullptr, proposed, flags, filter, nullptr);
    dialog.m_ofn.lpstrTitle = open ? kOpenTitle : kSaveTitle;
    dialog.m_ofn.nFilterIndex = 1;
    dialog.m_ofn.lpstrInitialDir = folder;
    const int result = dialog.DoModal();
    if (result == IDOK) {
        CString chosen = dialog.GetPathName();
        // Saving: a name typed without extension is a JPEG, whatever filter is shown.
        if (!open && iopath::PathExtension(chosen).IsEmpty())
            chosen = iopath::PathFolder(chosen) + iopath::PathBaseName(chosen) + ".jpg";
        name = chosen;
        return true;
    }
    if (result != IDCANCEL)
        ReportFailure();
    return false;
}

int CIO::GetFileNames(CStringList& list)
{
    return ChooseSeveral(nullptr, list);
}

int CIO::GetFileNames(CString folder, CStringList& list)
{
    return ChooseSeveral(&folder, list);
}
