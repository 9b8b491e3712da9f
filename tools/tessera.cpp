// tessera: the toolkit's command-line tool. `tessera --help` lists the commands;
// without arguments it runs the demo on a generated sample image.
#include "tools/Command.h"
#include "tools/Common.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <sstream>

namespace tool {

std::vector<Command>& Commands()
{
    static std::vector<Command> commands;
    return commands;
}

std::vector<std::pair<std::string, InfoDetail>>& InfoDetails()
{
    static std::vector<std::pair<std::string, InfoDetail>> details;
    return details;
}

} // namespace tool

namespace {

// The first example line of a command's usage text: the line after "Examples:" or
// the rest of an "example:" line.
std::string FirstExample(std::string const& usage)
{
    std::istringstream lines(usage);
    std::string line;
    bool next = false;
    while (std::getline(lines, line)) {
        const size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos)
            continue;
        std::string trimmed = line.substr(first);
        if (next)
            return trimmed;
        std::string lower = trimmed;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const char* label : {"examples:", "example:"}) {
            if (lower.compare(0, std::strlen(label), label) != 0)
                continue;
            std::string rest = trimmed.substr(std::strlen(label));
            rest.erase(0, rest.find_first_not_of(' '));
            if (!rest.empty())
                return rest;
            next = true;
            break;
        }
    }
    return std::string();
}

void PrintHelp()
{
    auto commands = tool::Commands();
    std::sort(commands.begin(), commands.end(), [](auto const& a, auto const& b) { return a.name < b.name; });
    std::printf("usage: tessera COMMAND [OPTIONS] [FILE...]\n"
                "       tessera COMMAND --help\n"
                "       tessera --help\n\n"
                "The Tessera image toolkit's tool. Without a command it runs `demo`.\n\n"
                "Commands:\n");
    for (auto const& c : commands) {
        std::printf("  %-10s %s\n", c.name.c_str(), c.summary.c_str());
        std::string example = FirstExample(c.usage);
        if (!example.empty())
            std::printf("  %-10s   e.g. %s\n", "", example.c_str());
    }
    std::printf("\n"
                "Options accepted by every command:\n"
                "  -h, --help   describe the command, its options and examples\n"
                "Options take their value as the next word or after '=' (--size=64x64); '--' ends\n"
                "the options. convert, resize and rotate take one IN OUT pair or, with --to EXT or\n"
                "--out-dir DIR, any number of files; info, crc and animated take any number of\n"
                "files. On a terminal a progress bar shows on stderr when the work takes longer\n"
                "than about a second.\n\n"
                "Errors: one line on stderr, \"tessera: FILE: reason\"; a file that fails does not\n"
                "stop the others, and an output is either written whole or not at all.\n"
                "Exit status: 0 success, 1 a file could not be processed, 2 a wrong command line,\n"
                "130 interrupted (between two files).\n\n"
                "Environment:\n"
                "  TESSERA_PROGRESS_DELAY   milliseconds of work before the progress bar shows\n"
                "                           (default 1000)\n");
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        args.push_back("demo");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintHelp();
        return 0;
    }
    for (auto const& c : tool::Commands()) {
        if (c.name != args[0])
            continue;
        std::vector<std::string> rest(args.begin() + 1, args.end());
        if (std::find(rest.begin(), rest.end(), "--help") != rest.end() ||
            std::find(rest.begin(), rest.end(), "-h") != rest.end()) {
            std::printf("%s", c.usage.c_str());
            return 0;
        }
        try {
            return c.run(rest);
        } catch (std::bad_alloc const&) {
            return tool::Fail(c.name, "out of memory");
        } catch (std::exception const& e) {
            return tool::Fail(c.name, e.what());
        }
    }
    if (!args[0].empty() && args[0][0] == '-')
        std::fprintf(stderr, "tessera: unknown option '%s' before the command (see tessera --help)\n",
                     args[0].c_str());
    else
        std::fprintf(stderr, "tessera: unknown command '%s' (see tessera --help)\n", args[0].c_str());
    return tool::kStatusUsage;
}
