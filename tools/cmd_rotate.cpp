// tessera rotate: turns images by any angle with CRotateScale (bicubic; palette
// indices by nearest sample) on a canvas that holds the whole turned picture.
#include "tools/Command.h"
#include "tools/Common.h"

#if TESSERA_HAVE_TRANSFORM
#include "transform/RotateScale.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <memory>
#include <vector>

namespace {

bool ParseAngle(std::string const& text, double& degrees)
{
    char* end = nullptr;
    degrees = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(degrees);
}

bool ParseRgb(std::string const& text, unsigned char rgb[3])
{
    if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    const unsigned long v = std::strtoul(text.c_str(), nullptr, 16);
    rgb[0] = static_cast<unsigned char>(v >> 16);
    rgb[1] = static_cast<unsigned char>(v >> 8);
    rgb[2] = static_cast<unsigned char>(v);
    return true;
}

// The colour in the image's plane order: alpha first (opaque) when the mode has it,
// then the colour planes; 16-bit components as little-endian pairs. False for
// colour models without an RGB meaning here (HLS, HSV, YCbCr).
bool BackgroundFor(CImage const& image, const unsigned char rgb[3], std::unique_ptr<CColor>& color)
{
    const IMAGE_MODE mode = image.GetMode();
    const bool wide = image.GetBitsPerPlane() == 16;
    std::vector<unsigned> samples; // 8-bit values, widened below for 16-bit planes
    if (ModeHasAlpha(mode))
        samples.push_back(255);
    const int grey = (299 * rgb[0] + 587 * rgb[1] + 114 * rgb[2] + 500) / 1000;
    switch (ModeColorModel(mode)) {
    case IM_RGB:
    case IM_RGB16:
        samples.insert(samples.end(), {rgb[0], rgb[1], rgb[2]});
        break;
    case IM_GRAY:
    case IM_GRAY16:
        samples.push_back(static_cast<unsigned>(grey));
        break;
    case IM_INDEXED: {
        // the nearest entry of the colour table
        const CLut lut = image.GetLut();
        int best = 0;
        long bestDistance = -1;
        for (int i = 0; i < std::max(1, lut.GetColors()); ++i) {
            LutColor const& c = lut[static_cast<unsigned>(i)];
            const long dr = c.red - rgb[0], dg = c.green - rgb[1], db = c.blue - rgb[2];
            const long distance = dr * dr + dg * dg + db * db;
            if (bestDistance < 0 || distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        samples.push_back(static_cast<unsigned>(best));
        break;
    }
    case IM_MASK:
    case IM_MASK16:
        break; // alpha only
    default:
        return false;
    }
    unsigned char bytes[8] = {0};
    int count = 0;
    for (unsigned s : samples) {
        if (wide) {
            const unsigned v = s * 257;
            bytes[count++] = static_cast<unsigned char>(v);
            bytes[count++] = static_cast<unsigned char>(v >> 8);
        } else {
            bytes[count++] = static_cast<unsigned char>(s);
        }
    }
    color = std::make_unique<CColor>(mode, bytes, count);
    return true;
}

int Run(std::vector<std::string> const& args)
{
    auto specs = tool::WriterOptionSpecs();
    specs.push_back({"--angle", true});
    specs.push_back({"--size", true});
    specs.push_back({"--background", true});
    tool::Options options;
    tool::WriterSettings settings;
    int status = 0;
    if (!tool::ParseOptions("rotate", args, specs, options, status) ||
        !tool::ReadWriterSettings("rotate", options, settings, status))
        return status;
    const std::string angleText = options.Value("--angle"), sizeText = options.Value("--size"),
                      backgroundText = options.Value("--background");
    double degrees = 0;
    if (!options.Has("--angle"))
        return tool::UsageError("rotate", "--angle DEG is required");
    if (!ParseAngle(angleText, degrees))
        return tool::UsageError("rotate", "--angle: '" + angleText + "' is not an angle in degrees");
    int sizeWidth = 0, sizeHeight = 0;
    if (options.Has("--size") && !tool::ParseSize(sizeText, sizeWidth, sizeHeight))
        return tool::UsageError("rotate", "--size: '" + sizeText + "' is not a size WxH with both parts at least 1");
    unsigned char rgb[3] = {0, 0, 0};
    if (options.Has("--background") && !ParseRgb(backgroundText, rgb))
        return tool::UsageError("rotate", "--background: '" + backgroundText +
                                              "' is not a colour RRGGBB (six hexadecimal digits)");
    std::vector<tool::BatchItem> items;
    if (!tool::PlanWriterItems("rotate", options.positional, settings, items, status))
        return status;

    auto job = [&](tool::BatchItem const& item, std::string& report, tool::FileFailure& failure,
                   std::function<void(double)> const& progress) {
        CIO::IOError error = CIO::IOERR_NONE;
        tool::ImagePtr image = tool::LoadImageFile(item.input, error, settings.loadFlags);
        if (!image) {
            failure = {item.input, tool::IOErrorText(error)};
            return false;
        }
        const int width = options.Has("--size") ? sizeWidth : image->Width();
        const int height = options.Has("--size") ? sizeHeight : image->Height();
        const int bits = image->GetBitsPerPlane();
        if (image->GetPlanes() < 1 || (bits != 8 && bits != 16) || width < 1 || height < 1) {
            failure = {item.input, "cannot rotate " + tool::ModeName(image->GetMode()) + " images"};
            return false;
        }
        std::unique_ptr<CColor> background;
        if (options.Has("--background") && !BackgroundFor(*image, rgb, background)) {
            failure = {item.input,
                       "--background is not available for " + tool::ModeName(image->GetMode()) + " images"};
            return false;
        }
        progress(0.2);
        const double radians = std::fmod(degrees, 360.0) * (3.141592653589793 / 180.0);
        DPOINT centre{width / 2.0, height / 2.0};
        tool::ImagePtr result;
        try {
            CRotateScale rotate(*image);
            result.reset(
                rotate.Transform(width, height, radians, &centre, true, background != nullptr, background.get()));
        } catch (std::bad_alloc const&) {
            result.reset();
        }
        if (!result) {
            failure = {item.input, "out of memory for the turned image"};
            return false;
        }
        result->SetDpi(image->GetDpi());
        progress(0.9);
        return tool::SaveWriterResult(item, *result, settings, report, failure);
    };
    return tool::RunBatch({"rotate", items, settings.outDir, "rotated"}, job);
}

const std::string kUsage =
    std::string("usage: tessera rotate IN OUT --angle DEG [OPTIONS]\n"
                "       tessera rotate --angle DEG [--to EXT] [--out-dir DIR] [OPTIONS] FILE...\n"
                "\n"
                "Turns IN clockwise by DEG degrees (negative: counter-clockwise) and saves the whole\n"
                "turned picture as OUT (format by extension). Colours and alpha are interpolated\n"
                "bicubically, palette indices by nearest pixel. With --to or --out-dir every FILE\n"
                "is turned into DIR/<name>.EXT; a file that fails is reported and the others go on.\n"
                "\n"
                "Options:\n"
                "  --angle DEG         angle in degrees (required)\n"
                "  --size WxH          scale the image to W x H before turning it\n"
                "  --background RRGGBB colour of the corners outside the picture (opaque);\n"
                "                      without it they are 0 (black, or transparent with alpha)\n") +
    tool::kWriterOptionsHelp +
    "\n"
    "Examples:\n"
    "  tessera rotate scan.bmp straight.bmp --angle -2.5 --background ffffff\n"
    "  tessera rotate --angle 90 --out-dir turned *.tif\n";

const tool::CommandRegistrar registrar({
    "rotate",
    "turn images by any angle (bicubic), the canvas grown to hold them",
    kUsage,
    Run,
});

} // namespace
#endif
