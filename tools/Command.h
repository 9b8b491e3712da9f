// The tessera tool's command registry. Each command lives in its own cmd_<name>.cpp
// and registers itself with a static CommandRegistrar.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tool {

struct Command {
    std::string name;
    std::string summary; // one line for `tessera --help`
    std::string usage;   // full text for `tessera <name> --help`: synopsis, options, example
    std::function<int(std::vector<std::string> const& args)> run; // args after the command name
};

std::vector<Command>& Commands();

struct CommandRegistrar {
    explicit CommandRegistrar(Command command) { Commands().push_back(std::move(command)); }
};

// Extra lines for `tessera info` about a file of a given format, provided by the
// code that knows the format. `extension` is lower case with the dot (".gif").
using InfoDetail = std::function<void(std::string const& path, std::vector<std::string>& lines)>;
std::vector<std::pair<std::string, InfoDetail>>& InfoDetails();

struct InfoDetailRegistrar {
    InfoDetailRegistrar(std::string extension, InfoDetail detail)
    {
        InfoDetails().emplace_back(std::move(extension), std::move(detail));
    }
};

} // namespace tool
