// tessera animated FILE...: tells for each GIF file whether it is animated, that is,
// holds at least two images.
#if TESSERA_HAVE_GIF
#include "gif/GifIO.h"
#include "gif/GifInternal.h"
#include "tools/Command.h"
#include "tools/Common.h"

#include <cstdio>

namespace {

int RunAnimated(std::vector<std::string> const& args)
{
    tool::Options options;
    int status = 0;
    if (!tool::ParseOptions("animated", args, {}, options, status))
        return status;
    if (options.positional.empty())
        return tool::UsageError("animated", "no input file");
    auto job = [](tool::BatchItem const& item, std::string& report, tool::FileFailure& failure,
                  std::function<void(double)> const&) {
        // The walk tells unreadable files and other formats apart from still images,
        // which the probe itself does not.
        gif::Summary summary;
        CIO::IOError error = CIO::IOERR_NONE;
        if (!gif::Scan(CString(item.input.c_str()), summary, error)) {
            failure = {item.input, error == CIO::IOERR_BAD_FORMAT ? "not a GIF file" : tool::IOErrorText(error)};
            return false;
        }
        const bool animated = CGifIO::IsAnimated(CString(item.input.c_str()));
        report = item.input + (animated ? ": animated\n" : ": not animated\n");
        return true;
    };
    return tool::RunBatch({"animated", tool::ReadOnlyItems(options.positional), "", ""}, job);
}

tool::CommandRegistrar animated({"animated", "tell whether GIF files are animated",
                                 "usage: tessera animated FILE...\n\n"
                                 "Prints \"FILE: animated\" for each GIF file that holds two or more images and\n"
                                 "\"FILE: not animated\" otherwise. A file that cannot be read or is not a GIF\n"
                                 "file gets an error line instead, and the exit status is 1.\n\n"
                                 "Examples:\n"
                                 "  tessera animated banner.gif logo.gif\n",
                                 RunAnimated});

} // namespace
#endif
