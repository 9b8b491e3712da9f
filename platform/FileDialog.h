// The common file dialog, the message box and the few Win32 and class-library calls
// around them: CFileDialog, AfxMessageBox, AfxGetThread, GetVersion.
//
// What the user sees comes from a pluggable back end. The default one shows the
// desktop's file chooser through `zenity` when it is installed and a display is
// available, and otherwise asks on the terminal. Tests install a
// ScriptedDialogBackend, which plays the user (confirm with given names, cancel,
// fail) and records what each dialog and message box was asked.
#pragma once

#include "platform/Export.h"
#include "platform/String.h"
#include "platform/WinTypes.h"

#include <deque>
#include <vector>

// OPENFILENAME option flags.
#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_SHOWHELP 0x00000010
#define OFN_ALLOWMULTISELECT 0x00000200
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_EXPLORER 0x00080000

// Dialog and message box results and types.
#define IDOK 1
#define IDCANCEL 2
#define MB_OK 0x00000000

// A window that dialogs can be parented to.
class TESSERA_EXPORT CWnd {
public:
    virtual ~CWnd() = default;
};

// The class library's thread object; m_pMainWnd is the application's main window.
class TESSERA_EXPORT CWinThread {
public:
    CWnd* m_pMainWnd = nullptr;
};

// The current thread object of the class library (one per process here).
TESSERA_EXPORT CWinThread* AfxGetThread();

// Shows text in a message box; returns the button pressed (IDOK).
TESSERA_EXPORT int AfxMessageBox(LPCTSTR text, UINT type = MB_OK, UINT helpContext = 0);

// The platform version: major in the low byte, minor in the next, build in the high word.
TESSERA_EXPORT DWORD GetVersion();

// The dialog descriptor fields that callers set between construction and DoModal.
struct OPENFILENAME {
    CWnd* hwndOwner = nullptr;
    LPCTSTR lpstrFilter = nullptr;  // "name|patterns|name|patterns||"
    DWORD nFilterIndex = 0;         // 1-based; 0 means the first
    char* lpstrFile = nullptr;      // file name buffer: proposed name in, choice out
    DWORD nMaxFile = 0;             // its size in characters
    LPCTSTR lpstrInitialDir = nullptr;
    LPCTSTR lpstrTitle = nullptr;
    DWORD Flags = 0;
    LPCTSTR lpstrDefExt = nullptr;
};

// What one dialog was asked, as the back end sees it.
struct FileDialogRequest {
    bool open = true;
    CString defaultExtension;
    CString proposedName;
    DWORD flags = 0;
    CString filter;
    DWORD filterIndex = 0;
    CString initialFolder;
    CString title;
    CWnd* parent = nullptr;
    DWORD bufferLength = 0;
};

class TESSERA_EXPORT FileDialogBackend {
public:
    virtual ~FileDialogBackend() = default;
    // Runs a dialog: IDOK with the chosen full paths, IDCANCEL, or any other value
    // for a failure of the dialog itself.
    virtual int RunFileDialog(FileDialogRequest const& request, std::vector<CString>& paths) = 0;
    virtual int ShowMessageBox(CString const& text, UINT type, UINT helpContext) = 0;
    // What GetVersion reports.
    virtual DWORD Version() const { return 0x23F00206; } // 6.2, build 9200
};

// Installs a back end (not owned); null restores the default. Returns the previous one.
TESSERA_EXPORT FileDialogBackend* SetFileDialogBackend(FileDialogBackend* backend);

// Plays the user from a queue of answers and records every request. An empty queue
// answers with a failure.
class TESSERA_EXPORT ScriptedDialogBackend : public FileDialogBackend {
public:
    struct MessageBoxCall {
        CString text;
        UINT type;
        UINT helpContext;
    };

    void Confirm(std::vector<CString> paths) { answers.push_back({IDOK, std::move(paths)}); }
    void Cancel() { answers.push_back({IDCANCEL, {}}); }
    void Fail(int result = 0) { answers.push_back({result, {}}); }

    int RunFileDialog(FileDialogRequest const& request, std::vector<CString>& paths) override;
    int ShowMessageBox(CString const& text, UINT type, UINT helpContext) override;
    DWORD Version() const override { return version; }

    std::vector<FileDialogRequest> requests;
    std::vector<MessageBoxCall> messages;
    DWORD version = 0x23F00206;

private:
    struct Answer {
        int result;
        std::vector<CString> paths;
    };
    std::deque<Answer> answers;
};

class TESSERA_EXPORT CFileDialog {
public:
    CFileDialog(BOOL bOpenFileDialog, LPCTSTR lpszDefExt = nullptr, LPCTSTR lpszFileName = nullptr,
                DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCTSTR lpszFilter = nullptr,
                CWnd* pParentWnd = nullptr);
    virtual ~CFileDialog() = default;
    CFileDialog(CFileDialog const&) = delete;
    CFileDialog& operator=(CFileDialog const&) = delete;

    // IDOK, IDCANCEL, or 0 when the dialog failed (a selection that does not fit the
    // file name buffer fails, as the platform's dialog does).
    virtual int DoModal();
    // The chosen path (the first one of a multiple selection).
    CString GetPathName() const;
    // Walk over a multiple selection: null when nothing was chosen.
    POSITION GetStartPosition() const;
    CString GetNextPathName(POSITION& pos) const;

    OPENFILENAME m_ofn;

private:
    BOOL m_bOpenFileDialog;
    CString m_strDefExt;
    CString m_strFilter;
    char m_szFileName[260];
    std::vector<CString> m_chosen;
};
