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
    if (args.empty())
        return tool::Fail("animated", "no input file (see tessera animated --help)");
    int status = 0;
    for (auto const& path : args) {
        // The walk tells unreadable files and other formats apart from still images,
        // which the probe itself does not.
        gif::Summary summary;
        CIO::IOError error = CIO::IOERR_NONE;
        if (!gif::Scan(CString(path.c_str()), summary, error)) {
            status = tool::Fail(path, error == CIO::IOERR_BAD_FORMAT ? "not a GIF file" : tool::IOErrorText(error));
            continue;
        }
        const bool animated = CGifIO::IsAnimated(CString(path.c_str()));
        std::printf("%s: %s\n", path.c_str(), animated ? "animated" : "not animated");
    }
    return status;
}

tool::CommandRegistrar animated({"animated", "tell whether GIF files are animated",
                                 "usage: tessera animated FILE...\n\n"
                                 "Prints \"FILE: animated\" for each GIF file that holds two or more images and\n"
                                 "\"FILE: not animated\" otherwise. A file that cannot be read or is not a GIF\n"
                                 "file gets an error line instead, and the exit status is 1.\n\n"
                                 "example: tessera animated banner.gif logo.gif\n",
                                 RunAnimated});

} // namespace
#endif
