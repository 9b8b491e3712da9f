// CFileDialog and AfxMessageBox over a pluggable back end; the default back end
// uses zenity on a desktop and the terminal elsewhere.
#include "platform/FileDialog.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

bool FileExists(std::string const& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string JoinFolder(CString const& folder, std::string const& name)
{
    if (name.empty() || name[0] == '/' || folder.IsEmpty())
        return name;
    std::string f = folder.str();
    if (f.back() != '/' && f.back() != '\\')
        f += '/';
    return f + name;
}

// Runs a program with arguments (no shell) and returns its exit status, -1 when it
// could not run; its standard output is collected in out.
int RunProgram(std::vector<std::string> const& args, std::string& out)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    std::vector<char*> argv;
    for (auto const& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        return -1;
    }
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            out.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveZenity()
{
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland))
        return false;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/zenity";
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// "Name|*.a;*.b|Other|*.c||" -> zenity filters "Name | *.a *.b".
std::vector<std::string> ZenityFilters(CString const& filter)
{
    std::vector<std::string> parts;
    std::string s = filter.str(), current;
    for (char c : s) {
        if (c == '|') {
            parts.push_back(current);
            current.clear();
        } else {
            current += c == ';' ? ' ' : c;
        }
    }
    if (!current.empty())
        parts.push_back(current);
    std::vector<std::string> filters;
    for (size_t i = 0; i + 1 < parts.size(); i += 2)
        if (!parts[i].empty())
            filters.push_back("--file-filter=" + parts[i] + " | " + parts[i + 1]);
    return filters;
}

class InteractiveBackend : public FileDialogBackend {
public:
    int RunFileDialog(FileDialogRequest const& r, std::vector<CString>& paths) override
    {
        return HaveZenity() ? RunZenity(r, paths) : RunTerminal(r, paths);
    }

    int ShowMessageBox(CString const& text, UINT, UINT) override
    {
        if (HaveZenity()) {
            std::string ignored;
            if (RunProgram({"zenity", "--error", "--no-markup", "--text=" + text.str()}, ignored) >= 0)
                return IDOK;
        }
        std::fprintf(stderr, "%s\n", text.GetString());
        return IDOK;
    }

private:
    static int RunZenity(FileDialogRequest const& r, std::vector<CString>& paths)
    {
        std::vector<std::string> args{"zenity", "--file-selection", "--title=" + r.title.str()};
        if (!r.open)
            args.push_back("--save");
        if (r.flags & OFN_OVERWRITEPROMPT)
            args.push_back("--confirm-overwrite");
        const bool multiple = (r.flags & OFN_ALLOWMULTISELECT) != 0;
        if (multiple) {
            args.push_back("--multiple");
            args.push_back("--separator=\n");
        }
        // zenity opens in the folder of --filename (a trailing separator names a folder).
        std::string start = r.proposedName.IsEmpty() ? r.initialFolder.str()
                                                     : JoinFolder(r.initialFolder, r.proposedName.str());
        if (r.proposedName.IsEmpty() && !start.empty() && start.back() != '/')
            start += '/';
        if (!start.empty())
            args.push_back("--filename=" + start);
        for (auto const& f : ZenityFilters(r.filter))
            args.push_back(f);
        std::string out;
        const int status = RunProgram(args, out);
        if (status == 1)
            return IDCANCEL;
        if (status != 0)
            return 0;
        size_t begin = 0;
        while (begin < out.size()) {
            size_t end = out.find('\n', begin);
            if (end == std::string::npos)
                end = out.size();
            if (end > begin)
                paths.push_back(CString(out.substr(begin, end - begin)));
            begin = end + 1;
        }
        return paths.empty() ? IDCANCEL : IDOK;
    }

    static int RunTerminal(FileDialogRequest const& r, std::vector<CString>& paths)
    {
        FILE* tty = std::fopen("/dev/tty", "r+");
        if (!tty)
            return 0; // neither a display nor a terminal: the dialog cannot run
        const bool multiple = (r.flags & OFN_ALLOWMULTISELECT) != 0;
        std::fprintf(tty, "%s (%s)\n", r.title.GetString(), r.filter.GetString());
        if (!r.initialFolder.IsEmpty())
            std::fprintf(tty, "folder: %s\n", r.initialFolder.GetString());
        std::fprintf(tty, multiple ? "file names, one per line, an empty line to finish:\n"
                                   : "file name%s%s%s (empty to cancel): ",
                     r.proposedName.IsEmpty() ? "" : " [", r.proposedName.GetString(),
                     r.proposedName.IsEmpty() ? "" : "]");
        std::fflush(tty);
        char line[4096];
        int result = IDCANCEL;
        while (std::fgets(line, sizeof line, tty)) {
            std::string name(line);
            while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
                name.pop_back();
            if (name.empty() && !multiple && !r.proposedName.IsEmpty())
                name = r.proposedName.str();
            if (name.empty())
                break;
            std::string path = JoinFolder(r.initialFolder, name);
            if ((r.flags & OFN_FILEMUSTEXIST) && !FileExists(path)) {
                std::fprintf(tty, "%s: no such file; try again: ", path.c_str());
                std::fflush(tty);
                continue;
            }
            if ((r.flags & OFN_OVERWRITEPROMPT) && FileExists(path)) {
                std::fprintf(tty, "%s exists. Replace it? [y/N] ", path.c_str());
                std::fflush(tty);
                if (!std::fgets(line, sizeof line, tty) || (line[0] != 'y' && line[0] != 'Y')) {
                    std::fprintf(tty, "file name: ");
                    std::fflush(tty);
                    continue;
                }
            }
            paths.push_back(CString(path));
            result = IDOK;
            if (!multiple)
                break;
        }
        std::fclose(tty);
        return paths.empty() ? IDCANCEL : result;
    }
};

InteractiveBackend& DefaultBackend()
{
    static InteractiveBackend backend;
    return backend;
}

FileDialogBackend*& CurrentBackend()
{
    static FileDialogBackend* current = nullptr;
    return current;
}

FileDialogBackend& Backend()
{
    FileDialogBackend* b = CurrentBackend();
    return b ? *b : DefaultBackend();
}

} // namespace

FileDialogBackend* SetFileDialogBackend(FileDialogBackend* backend)
{
    FileDialogBackend* previous = CurrentBackend();
    CurrentBackend() = backend;
    return previous;
}

CWinThread* AfxGetThread()
{
    static CWinThread thread;
    return &thread;
}

int AfxMessageBox(LPCTSTR text, UINT type, UINT helpContext)
{
    return Backend().ShowMessageBox(CString(text), type, helpContext);
}

DWORD GetVersion()
{
    return Backend().Version();
}

int ScriptedDialogBackend::RunFileDialog(FileDialogRequest const& request, std::vector<CString>& paths)
{
    requests.push_back(request);
    if (answers.empty())
        return 0;
    Answer a = std::move(answers.front());
    answers.pop_front();
    paths = std::move(a.paths);
    return a.result;
}

int ScriptedDialogBackend::ShowMessageBox(CString const& text, UINT type, UINT helpContext)
{
    messages.push_back({text, type, helpContext});
    return IDOK;
}

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCTSTR lpszDefExt, LPCTSTR lpszFileName, DWORD dwFlags,
                         LPCTSTR lpszFilter, CWnd* pParentWnd)
    : m_bOpenFileDialog(bOpenFileDialog), m_strDefExt(lpszDefExt), m_strFilter(lpszFilter)
{
    std::memset(m_szFileName, 0, sizeof m_szFileName);
    if (lpszFileName)
        std::strncpy(m_szFileName, lpszFileName, sizeof m_szFileName - 1);
    m_ofn.hwndOwner = pParentWnd;
    m_ofn.lpstrFilter = lpszFilter ? m_strFilter.GetString() : nullptr;
    m_ofn.lpstrFile = m_szFileName;
    m_ofn.nMaxFile = sizeof m_szFileName;
    m_ofn.Flags = dwFlags;
    m_ofn.lpstrDefExt = lpszDefExt ? m_strDefExt.GetString() : nullptr;
}

int CFileDialog::DoModal()
{
    FileDialogRequest r;
    r.open = m_bOpenFileDialog != FALSE;
    r.defaultExtension = m_ofn.lpstrDefExt;
    r.proposedName = m_ofn.lpstrFile ? CString(m_ofn.lpstrFile) : CString();
    r.flags = m_ofn.Flags;
    r.filter = m_ofn.lpstrFilter;
    r.filterIndex = m_ofn.nFilterIndex;
    r.initialFolder = m_ofn.lpstrInitialDir;
    r.title = m_ofn.lpstrTitle;
    r.parent = m_ofn.hwndOwner;
    r.bufferLength = m_ofn.nMaxFile;

    m_chosen.clear();
    std::vector<CString> paths;
    const int result = Backend().RunFileDialog(r, paths);
    if (result != IDOK)
        return result == IDCANCEL ? IDCANCEL : 0;
    if (paths.empty())
        return IDCANCEL;
    // The buffer receives the full path of a single choice, or the folder followed by
    // the names, each closed by a null, and one more null at the end.
    std::string packed;
    if (paths.size() == 1) {
        packed = paths[0].str();
        packed += '\0';
    } else {
        for (auto const& p : paths) {
            packed += p.str();
            packed += '\0';
        }
        packed += '\0';
    }
    if (!m_ofn.lpstrFile || packed.size() > m_ofn.nMaxFile)
        return 0; // the selection does not fit the buffer
    std::memcpy(m_ofn.lpstrFile, packed.data(), packed.size());
    m_chosen = std::move(paths);
    return IDOK;
}

CString CFileDialog::GetPathName() const
{
    return m_chosen.empty() ? CString() : m_chosen.front();
}

POSITION CFileDialog::GetStartPosition() const
{
    return m_chosen.empty() ? nullptr : reinterpret_cast<POSITION>(static_cast<size_t>(1));
}

CString CFileDialog::GetNextPathName(POSITION& pos) const
{
    const size_t index = reinterpret_cast<size_t>(pos);
    if (index == 0 || index > m_chosen.size()) {
        pos = nullptr;
        return CString();
    }
    pos = index < m_chosen.size() ? reinterpret_cast<POSITION>(index + 1) : nullptr;
    return m_chosen[index - 1];
}
