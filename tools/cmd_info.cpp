// tessera info FILE...: mode, size, resolution and colour table of images.
#include "tools/Command.h"
#include "tools/Common.h"

#include <cstdio>

namespace {

int RunInfo(std::vector<std::string> const& args)
{
    if (args.empty())
        return tool::Fail("info", "no input file (see tessera info --help)");
    int status = 0;
    for (auto const& path : args) {
        CIO::IOError error = CIO::IOERR_NONE;
        tool::ImagePtr image = tool::LoadImageFile(path, error);
        if (!image) {
            status = tool::Fail(path, tool::IOErrorText(error));
            continue;
        }
        std::printf("%s\n", path.c_str());
        std::printf("  size:    %d x %d\n", image->Width(), image->Height());
        std::printf("  mode:    %s (%d planes, %d bits per sample)\n", tool::ModeName(image->GetMode()).c_str(),
                    image->GetPlanes(), image->GetBitsPerPlane());
        std::printf("  dpi:     %.17g\n", image->GetDpi());
        if (ModeColorModel(image->GetMode()) == IM_INDEXED)
            std::printf("  colours: %d table entries\n", image->GetLut().GetColors());
        std::string ext = tool::LowerExtension(path);
        for (auto const& detail : tool::InfoDetails()) {
            if (detail.first != ext)
                continue;
            std::vector<std::string> lines;
            detail.second(path, lines);
            for (auto const& line : lines)
                std::printf("  %s\n", line.c_str());
        }
    }
    return status;
}

tool::CommandRegistrar info({"info", "describe image files: size, mode, resolution, colours",
                             "usage: tessera info FILE...\n\n"
                             "Prints the size, pixel mode, resolution and colour table of each image.\n\n"
                             "example: tessera info photo.bmp scan.tif\n",
                             RunInfo});

} // namespace
