// tessera: the toolkit's command-line tool. `tessera --help` lists the commands;
// without arguments it runs the demo on a generated sample image.
#include "tools/Command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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

static void PrintHelp()
{
    auto commands = tool::Commands();
    std::sort(commands.begin(), commands.end(), [](auto const& a, auto const& b) { return a.name < b.name; });
    std::printf("usage: tessera COMMAND [ARGS...]\n\nCommands:\n");
    for (auto const& c : commands)
        std::printf("  %-10s %s\n", c.name.c_str(), c.summary.c_str());
    std::printf("\n`tessera COMMAND --help` describes a command. Without a command, tessera runs `demo`.\n");
}

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
        if (c.name == args[0]) {
            std::vector<std::string> rest(args.begin() + 1, args.end());
            if (std::find(rest.begin(), rest.end(), "--help") != rest.end() ||
                std::find(rest.begin(), rest.end(), "-h") != rest.end()) {
                std::printf("%s", c.usage.c_str());
                return 0;
            }
            return c.run(rest);
        }
    }
    std::fprintf(stderr, "tessera: unknown command '%s' (see tessera --help)\n", args[0].c_str());
    return 2;
}
