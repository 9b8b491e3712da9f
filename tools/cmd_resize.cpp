// tessera resize: scales images to a new size with CScale, tile by tile as a host
// does (GetSrcRect, fetch, Transform per 256 x 256 destination tile). Samples that
// the filter needs beyond the image edges repeat the edge pixels.
#include "tools/Command.h"
#include "tools/Common.h"

#if TESSERA_HAVE_TRANSFORM
#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <string>

namespace {

int Run(std::vector<std::string> const& args)
{
    auto specs = tool::WriterOptionSpecs();
    specs.push_back({"--size", true});
    specs.push_back({"--nearest", false});
    tool::Options options;
    tool::WriterSettings settings;
    int status = 0;
    if (!tool::ParseOptions("resize", args, specs, options, status) ||
        !tool::ReadWriterSettings("resize", options, settings, status))
        return status;
    std::vector<std::string> files = options.positional;
    std::string sizeText = options.Value("--size");
    // The single form may give the size as its third word: IN OUT WxH.
    if (!settings.batch && !options.Has("--size") && files.size() == 3) {
        sizeText = files.back();
        files.pop_back();
    }
    if (sizeText.empty())
        return tool::UsageError("resize", "the new size is missing (--size WxH)");
    int width = 0, height = 0;
    if (!tool::ParseSize(sizeText, width, height))
        return tool::UsageError("resize", "'" + sizeText + "' is not a size WxH with both parts at least 1");
    std::vector<tool::BatchItem> items;
    if (!tool::PlanWriterItems("resize", files, settings, items, status))
        return status;
    const bool nearest = options.Has("--nearest");

    auto job = [&](tool::BatchItem const& item, std::string& report, tool::FileFailure& failure,
                   std::function<void(double)> const& progress) {
        CIO::IOError error = CIO::IOERR_NONE;
        tool::ImagePtr image = tool::LoadImageFile(item.input, error, settings.loadFlags);
        if (!image) {
            failure = {item.input, tool::IOErrorText(error)};
            return false;
        }
        const IMAGE_MODE mode = image->GetMode();
        const int bits = image->GetBitsPerPlane();
        if (image->GetPlanes() < 1 || (bits != 8 && bits != 16) || image->Width() < 1 || image->Height() < 1) {
            failure = {item.input, "cannot scale " + tool::ModeName(mode) + " images"};
            return false;
        }
        tool::ImagePtr result;
        try {
            result = tool::ScaleImage(*image, width, height, !nearest,
                                      [&](double done) { progress(0.1 + 0.8 * done); });
        } catch (std::bad_alloc const&) {
            failure = {item.input, "out of memory for a " + sizeText + " image"};
            return false;
        }
        if (!result) {
            failure = {item.input, "cannot scale to " + sizeText + " (filter tables too large)"};
            return false;
        }
        progress(0.9);
        return tool::SaveWriterResult(item, *result, settings, report, failure);
    };
    return tool::RunBatch({"resize", items, settings.outDir, "resized"}, job);
}

const std::string kUsage =
    std::string("usage: tessera resize IN OUT WxH [OPTIONS]\n"
                "       tessera resize --size WxH [--to EXT] [--out-dir DIR] [OPTIONS] FILE...\n"
                "\n"
                "Scales IN to W x H pixels and saves it as OUT (format by extension). Axes that grow\n"
                "are interpolated with a cubic kernel, axes that shrink are filtered with the cubic\n"
                "stretched over the reduction; palette indices are never blended (load palette\n"
                "images with --to-rgb to blend colours). With --to or --out-dir every FILE is\n"
                "scaled to DIR/<name>.EXT; a file that fails is reported and the others go on.\n"
                "\n"
                "Options:\n"
                "  --size WxH          the new size (the single form may give it as its third word)\n"
                "  --nearest           take the nearest source pixel instead of filtering\n") +
    tool::kWriterOptionsHelp +
    "\n"
    "Examples:\n"
    "  tessera resize photo.bmp thumb.bmp 160x120\n"
    "  tessera resize --size 64x64 --to-rgb --to jpg --out-dir thumbs *.gif\n";

const tool::CommandRegistrar registrar({
    "resize",
    "scale images to a new size (cubic, area filter or nearest sample)",
    kUsage,
    Run,
});

} // namespace
#endif
