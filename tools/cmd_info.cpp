// tessera info FILE...: mode, size, resolution and colour table of images.
#include "tools/Command.h"
#include "tools/Common.h"

#include <cstdio>

namespace {

std::string Describe(std::string const& path, CImage& image)
{
    char line[256];
    std::string text = path + "\n";
    std::snprintf(line, sizeof line, "  size:    %d x %d\n", image.Width(), image.Height());
    text += line;
    std::snprintf(line, sizeof line, "  mode:    %s (%d planes, %d bits per sample)\n",
                  tool::ModeName(image.GetMode()).c_str(), image.GetPlanes(), image.GetBitsPerPlane());
    text += line;
    std::snprintf(line, sizeof line, "  dpi:     %.17g\n", image.GetDpi());
    text += line;
    if (ModeColorModel(image.GetMode()) == IM_INDEXED) {
        std::snprintf(line, sizeof line, "  colours: %d table entries\n", image.GetLut().GetColors());
        text += line;
    }
    std::string ext = tool::LowerExtension(path);
    for (auto const& detail : tool::InfoDetails()) {
        if (detail.first != ext)
            continue;
        std::vector<std::string> lines;
        detail.second(path, lines);
        for (auto const& l : lines)
            text += "  " + l + "\n";
    }
    return text;
}

int RunInfo(std::vector<std::string> const& args)
{
    tool::Options options;
    int status = 0;
    if (!tool::ParseOptions("info", args, {}, options, status))
        return status;
    if (options.positional.empty())
        return tool::UsageError("info", "no input file");
    auto job = [](tool::BatchItem const& item, std::string& report, tool::FileFailure& failure,
                  std::function<void(double)> const&) {
        CIO::IOError error = CIO::IOERR_NONE;
        tool::ImagePtr image = tool::LoadImageFile(item.input, error);
        if (!image) {
            failure = {item.input, tool::IOErrorText(error)};
            return false;
        }
        report = Describe(item.input, *image);
        return true;
    };
    return tool::RunBatch({"info", tool::ReadOnlyItems(options.positional), "", ""}, job);
}

tool::CommandRegistrar info({"info", "describe image files: size, mode, resolution, colours",
                             "usage: tessera info FILE...\n\n"
                             "Prints the size, pixel mode, resolution and colour table of each image, and what\n"
                             "the format adds (GIF frames and colour tables, JPEG comment, TIFF description).\n"
                             "A file that cannot be read gets an error line and the exit status is 1; the other\n"
                             "files are still described.\n\n"
                             "Examples:\n"
                             "  tessera info photo.bmp scan.tif\n",
                             RunInfo});

} // namespace
