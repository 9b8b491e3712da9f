// tessera convert: load images, optionally convert their mode, and save them in the
// format of the output name; one file (IN OUT) or several (--to / --out-dir).
#include "tools/Command.h"
#include "tools/Common.h"

#include <cstdio>

namespace {

const std::string kUsage = std::string("usage: tessera convert IN OUT [OPTIONS]\n"
                                       "       tessera convert --to EXT [--out-dir DIR] [OPTIONS] FILE...\n\n"
                                       "Loads IN and saves it as OUT, in the format of OUT's extension. With --to or\n"
                                       "--out-dir every FILE is converted to DIR/<name>.EXT (beside the input without\n"
                                       "--out-dir); a file that fails is reported and the others go on.\n\n"
                                       "Options:\n") +
                           tool::kWriterOptionsHelp +
                           "\nFormats by extension: .bmp, .jpg/.jpeg, .tif/.tiff (read and write), .gif (read).\n"
                           "JPEG holds grey and RGB only; TIFF holds grey, RGB (8 or 16 bits) and palette images,\n"
                           "with or without alpha.\n\n"
                           "Examples:\n"
                           "  tessera convert scan.bmp scan-rle.bmp --rle\n"
                           "  tessera convert logo.gif logo.jpg --to-rgb --quality 90\n"
                           "  tessera convert --to jpg --out-dir web *.bmp\n";

int RunConvert(std::vector<std::string> const& args)
{
    tool::Options options;
    tool::WriterSettings settings;
    std::vector<tool::BatchItem> items;
    int status = 0;
    if (!tool::ParseOptions("convert", args, tool::WriterOptionSpecs(), options, status) ||
        !tool::ReadWriterSettings("convert", options, settings, status) ||
        !tool::PlanWriterItems("convert", options.positional, settings, items, status))
        return status;

    auto job = [&](tool::BatchItem const& item, std::string& report, tool::FileFailure& failure,
                   std::function<void(double)> const& progress) {
        CIO::IOError error = CIO::IOERR_NONE;
        tool::ImagePtr image = tool::LoadImageFile(item.input, error, settings.loadFlags);
        if (!image) {
            failure = {item.input, tool::IOErrorText(error)};
            return false;
        }
        progress(0.5);
        return tool::SaveWriterResult(item, *image, settings, report, failure);
    };
    return tool::RunBatch({"convert", items, settings.outDir, "converted"}, job);
}

tool::CommandRegistrar convert({"convert", "convert images to another format or pixel mode", kUsage, RunConvert});

} // namespace
