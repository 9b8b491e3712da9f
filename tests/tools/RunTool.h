// Runs the built tessera tool and captures its exit status and output.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

struct ToolResult {
    int status;      // exit status, or -1 when the tool did not exit normally
    std::string out; // standard output
    std::string err; // standard error
};

// A fresh folder under the system's temporary folder, removed when the object goes.
struct TempFolder {
    std::filesystem::path path;
    TempFolder()
    {
        char pattern[] = "/tmp/tessera-tool-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(std::string const& name) const { return (path / name).string(); }
};

inline std::string ReadWhole(std::string const& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// args is appended to the tool's path as it stands (quote as in a shell).
inline ToolResult RunTool(std::string const& args)
{
    TempFolder capture;
    std::string cmd = std::string("'") + TESSERA_TOOL + "' " + args + " >'" + (capture / "out") + "' 2>'" +
                      (capture / "err") + "' </dev/null";
    int raw = std::system(cmd.c_str());
    ToolResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadWhole(capture / "out");
    r.err = ReadWhole(capture / "err");
    return r;
}
