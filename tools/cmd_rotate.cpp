// tessera rotate: turns an image by any angle with CRotateScale (bicubic; palette
// indices by nearest sample) on a canvas that holds the whole turned picture.
#include "tools/Command.h"
#include "tools/Common.h"

#if TESSERA_HAVE_TRANSFORM
#include "transform/RotateScale.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
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
    std::vector<std::string> positional;
    std::string angleText, sizeText, backgroundText;
    for (size_t i = 0; i < args.size(); ++i) {
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size())
                return false;
            into = args[++i];
            return true;
        };
        const std::string& a = args[i];
        if (a == "--angle") {
            if (!value(angleText))
                return tool::Fail("rotate", "--angle needs a value in degrees");
        } else if (a == "--size") {
            if (!value(sizeText))
                return tool::Fail("rotate", "--size needs a value WxH");
        } else if (a == "--background") {
            if (!value(backgroundText))
                return tool::Fail("rotate", "--background needs a colour RRGGBB");
        } else if (a.size() > 1 && a[0] == '-' && !(a.size() > 1 && (std::isdigit(static_cast<unsigned char>(a[1]))))) {
            return tool::Fail("rotate", "unknown option '" + a + "' (see tessera rotate --help)");
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2)
        return tool::Fail("rotate", "expected IN OUT --angle DEG (see tessera rotate --help)");
    double degrees = 0;
    if (angleText.empty())
        return tool::Fail("rotate", "--angle DEG is required");
    if (!ParseAngle(angleText, degrees))
        return tool::Fail(angleText, "not an angle in degrees");
    unsigned char rgb[3] = {0, 0, 0};
    if (!backgroundText.empty() && !ParseRgb(backgroundText, rgb))
        return tool::Fail(backgroundText, "not a colour RRGGBB (six hexadecimal digits)");

    CIO::IOError error = CIO::IOERR_NONE;
    tool::ImagePtr image = tool::LoadImageFile(positional[0], error);
    if (!image)
        return tool::Fail(positional[0], tool::IOErrorText(error));
    int width = image->Width(), height = image->Height();
    if (!sizeText.empty() && !tool::ParseSize(sizeText, width, height))
        return tool::Fail(sizeText, "not a size WxH with both parts at least 1");
    const int bits = image->GetBitsPerPlane();
    if (image->GetPlanes() < 1 || (bits != 8 && bits != 16) || width < 1 || height < 1)
        return tool::Fail(positional[0], "cannot rotate " + tool::ModeName(image->GetMode()) + " images");

    std::unique_ptr<CColor> background;
    if (!backgroundText.empty() && !BackgroundFor(*image, rgb, background))
        return tool::Fail(positional[0], "--background is not available for " + tool::ModeName(image->GetMode()) +
                                             " images");

    const double radians = std::fmod(degrees, 360.0) * (3.141592653589793 / 180.0);
    DPOINT centre{width / 2.0, height / 2.0};
    tool::ImagePtr result;
    try {
        CRotateScale rotate(*image);
        result.reset(rotate.Transform(width, height, radians, &centre, true, background != nullptr, background.get()));
    } catch (std::bad_alloc const&) {
        result.reset();
    }
    if (!result)
        return tool::Fail(positional[1], "out of memory for the turned image");
    result->SetDpi(image->GetDpi());
    if (!tool::SaveImageFile(positional[1], *result, error))
        return tool::Fail(positional[1], tool::IOErrorText(error));
    return 0;
}

const tool::CommandRegistrar registrar({
    "rotate",
    "turn an image by any angle (bicubic), the canvas grown to hold it",
    "usage: tessera rotate IN OUT --angle DEG [--size WxH] [--background RRGGBB]\n"
    "\n"
    "Turns IN clockwise by DEG degrees (negative: counter-clockwise) and saves the whole\n"
    "turned picture as OUT (format by extension). Colours and alpha are interpolated\n"
    "bicubically, palette indices by nearest pixel.\n"
    "\n"
    "  --angle DEG            angle in degrees (required)\n"
    "  --size WxH             scale the image to W x H before turning it\n"
    "  --background RRGGBB    colour of the corners outside the picture (opaque);\n"
    "                         without it they are 0 (black, or transparent with alpha)\n"
    "\n"
    "example: tessera rotate scan.bmp straight.bmp --angle -2.5 --background ffffff\n",
    Run,
});

} // namespace
#endif
