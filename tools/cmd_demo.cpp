// tessera demo: a tour of the toolkit. Draws a picture from its own parts (a vector
// drawing rasterized into coverage masks over a gradient, and a palette version of
// it), then saves, loads, converts, resizes and rotates it in every format into an
// output folder, printing each file written and the time each step took.
#include "tools/Command.h"
#include "tools/Common.h"

#if TESSERA_HAVE_PATH
#include "path/Path.h"
#endif
#if TESSERA_HAVE_TRANSFORM
#include "transform/RotateScale.h"
#endif
#if TESSERA_HAVE_CRC
#include "crc/CRC.h"
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace {

const double kPi = 3.14159265358979323846;

// Runs one step and prints its time and what it says it did.
bool Step(std::string const& name, std::function<bool(std::string& said)> const& work)
{
    auto start = std::chrono::steady_clock::now();
    std::string said;
    bool ok = work(said);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%9.1f ms  %-8s %s\n", ms, name.c_str(), said.c_str());
    return ok;
}

std::string Describe(std::string const& path, CImage const& image)
{
    std::error_code ec;
    auto bytes = std::filesystem::file_size(path, ec);
    return path + " (" + std::to_string(image.Width()) + " x " + std::to_string(image.Height()) + ", " +
           tool::ModeName(image.GetMode()) + (ec ? std::string() : ", " + std::to_string(bytes) + " bytes") + ")";
}

// The drawing: a star (lines) and a ring of circles (cubic curves), as two masks:
// the star under the non-zero rule, the circles under even-odd so overlaps cut holes.
struct Masks {
    std::vector<unsigned char> star, circles;
};

#if TESSERA_HAVE_PATH
void AddCircle(CPath& path, double cx, double cy, double r)
{
    const double k = 0.5522847498 * r; // control distance of a quarter circle
    path.MoveTo(cx + r, cy);
    path.CurveTo(cx + r, cy + k, cx + k, cy + r, cx, cy + r);
    path.CurveTo(cx - k, cy + r, cx - r, cy + k, cx - r, cy);
    path.CurveTo(cx - r, cy - k, cx - k, cy - r, cx, cy - r);
    path.CurveTo(cx + k, cy - r, cx + r, cy - k, cx + r, cy);
    path.Close();
}

bool Draw(int w, int h, Masks& masks)
{
    const double cx = w / 2.0, cy = h / 2.0, big = std::min(w, h) * 0.42;
    CPath star;
    for (int i = 0; i < 10; ++i) {
        double r = i % 2 ? big * 0.45 : big, a = -kPi / 2 + i * kPi / 5;
        if (i == 0)
            star.MoveTo(cx + r * std::cos(a), cy + r * std::sin(a));
        else
            star.LineTo(cx + r * std::cos(a), cy + r * std::sin(a));
    }
    star.Close();
    CPath circles;
    for (int i = 0; i < 8; ++i) {
        double a = i * kPi / 4;
        AddCircle(circles, cx + big * 0.7 * std::cos(a), cy + big * 0.7 * std::sin(a), big * 0.3);
    }
    masks.star.assign(static_cast<size_t>(w) * h, 0);
    masks.circles.assign(static_cast<size_t>(w) * h, 0);
    const CRect all(0, 0, w, h);
    return star.Rasterize(all, masks.star.data(), 1, w, CPath::FR_NON_ZERO, 16) &&
           circles.Rasterize(all, masks.circles.data(), 1, w, CPath::FR_EVEN_ODD, 16);
}
#endif

// Gradient background with the masks blended over it: star in warm yellow, circles in blue.
tool::ImagePtr Paint(int w, int h, Masks const& masks)
{
    tool::ImagePtr image(new CImage(IM_RGB, w, h, 96.0));
    CPixMap row(IM_RGB, w, 1, true);
    for (int y = 0; y < h; ++y) {
        unsigned char* p = row.plane[0].data;
        for (int x = 0; x < w; ++x, p += 3) {
            int red = 40 + 160 * x / std::max(1, w - 1), green = 40 + 120 * y / std::max(1, h - 1), blue = 90;
            size_t i = static_cast<size_t>(y) * w + x;
            int s = masks.star.empty() ? 0 : masks.star[i], c = masks.circles.empty() ? 0 : masks.circles[i];
            red = (red * (255 - s) + 250 * s) / 255;
            green = (green * (255 - s) + 210 * s) / 255;
            blue = (blue * (255 - s) + 40 * s) / 255;
            red = (red * (255 - c) + 30 * c) / 255;
            green = (green * (255 - c) + 110 * c) / 255;
            blue = (blue * (255 - c) + 240 * c) / 255;
            p[0] = static_cast<unsigned char>(red);
            p[1] = static_cast<unsigned char>(green);
            p[2] = static_cast<unsigned char>(blue);
        }
        image->SetBuf(0, y, row, MM_CLIP, 1);
    }
    return image;
}

// A 6 x 6 x 6 colour cube palette image of an RGB picture.
tool::ImagePtr ToPalette(CImage& rgb)
{
    const int w = rgb.Width(), h = rgb.Height();
    tool::ImagePtr indexed(new CImage(IM_INDEXED, w, h, rgb.GetDpi()));
    CLut lut;
    for (int i = 0; i < 216; ++i)
        lut[i] = LutColor{static_cast<unsigned char>(i / 36 * 51), static_cast<unsigned char>(i / 6 % 6 * 51),
                          static_cast<unsigned char>(i % 6 * 51)};
    indexed->SetLut(lut);
    CPixMap in(IM_RGB, w, 1, true), out(IM_INDEXED, w, 1, true);
    for (int y = 0; y < h; ++y) {
        rgb.GetBuf(0, y, in, MM_CLIP, 1);
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = in.plane[0].data + 3 * x;
            out.plane[0].data[x] = static_cast<unsigned char>((p[0] + 25) / 51 * 36 + (p[1] + 25) / 51 * 6 + (p[2] + 25) / 51);
        }
        indexed->SetBuf(0, y, out, MM_CLIP, 1);
    }
    return indexed;
}

tool::ImagePtr MaskImage(int w, int h, std::vector<unsigned char> const& mask)
{
    tool::ImagePtr image(new CImage(IM_GRAY, w, h, 96.0));
    CPixMap map(IM_GRAY, w, h, true);
    for (int y = 0; y < h; ++y)
        std::copy_n(mask.data() + static_cast<size_t>(y) * w, w, map.plane[0].data + y * map.plane[0].rowStride);
    image->SetBuf(0, 0, map, MM_CLIP, 1);
    return image;
}


int RunDemo(std::vector<std::string> const& args)
{
    tool::Options options;
    int status = 0;
    if (!tool::ParseOptions("demo", args, {{"--out", true}, {"--size", true}}, options, status))
        return status;
    if (!options.positional.empty())
        return tool::UsageError("demo", "unexpected argument '" + options.positional[0] + "'");
    const std::string folder = options.Has("--out") ? options.Value("--out") : std::string("out");
    int w = 640, h = 480;
    if (options.Has("--size") && (!tool::ParseSize(options.Value("--size"), w, h) || w > 8000 || h > 8000))
        return tool::UsageError("demo", "--size takes WxH, each 1 to 8000");
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        return tool::Fail(folder, "cannot create the output folder: " + ec.message());
    std::printf("tessera demo: %d x %d sample into %s/\n", w, h, folder.c_str());

    Masks masks;
    tool::ImagePtr picture, palette;
    std::vector<std::string> written;
    bool ok = true;
#if TESSERA_HAVE_PATH
    ok = ok && Step("draw", [&](std::string& said) {
        said = "star (non-zero) and eight circles (even-odd) rasterized at 16 sub-scanlines";
        return Draw(w, h, masks);
    });
#endif
    ok = ok && Step("paint", [&](std::string& said) {
        picture = Paint(w, h, masks);
        palette = ToPalette(*picture);
        said = "gradient with the masks blended over it, and a 216-colour palette version";
        return true;
    });
    auto save = [&](std::string const& name, CImage& image, bool rle, int quality) {
        return Step("save", [&, name](std::string& said) {
            std::string path = folder + "/" + name;
            CIO::IOError error = CIO::IOERR_NONE;
            if (!tool::SaveImageFile(path, image, error, rle, quality, "tessera demo")) {
                said = path + ": " + tool::IOErrorText(error);
                return false;
            }
            written.push_back(path);
            said = "wrote " + Describe(path, image);
            return true;
        });
    };
    if (!ok)
        return tool::Fail("demo", "drawing the sample failed");
    ok = save("demo.bmp", *picture, false, 0) && save("demo-palette-rle.bmp", *palette, true, 0);
    if (!masks.star.empty()) {
        tool::ImagePtr mask = MaskImage(w, h, masks.star);
        ok = ok && save("demo-mask.bmp", *mask, false, 0);
    }
#if TESSERA_HAVE_IO
    ok = ok && save("demo.jpg", *picture, false, 90) && save("demo.tif", *picture, false, 0) &&
         save("demo-palette.tif", *palette, false, 0);
#endif
    if (!ok)
        return 1;

    tool::ImagePtr reloaded;
    for (auto const& path : std::vector<std::string>(written)) {
        ok = ok && Step("load", [&](std::string& said) {
            CIO::IOError error = CIO::IOERR_NONE;
            reloaded = tool::LoadImageFile(path, error, IOF_TO_RGB);
            if (!reloaded) {
                said = path + ": " + tool::IOErrorText(error);
                return false;
            }
            said = "read " + path + " as " + tool::ModeName(reloaded->GetMode());
            return true;
        });
    }
#if TESSERA_HAVE_IO
    ok = ok && Step("convert", [&](std::string& said) {
        CIO::IOError error = CIO::IOERR_NONE;
        tool::ImagePtr rgb(CIO::ConvertImage(palette.get(), IOF_TO_RGB, error));
        said = rgb ? "palette image to " + tool::ModeName(rgb->GetMode()) : std::string("conversion failed");
        return rgb != nullptr;
    });
#endif
#if TESSERA_HAVE_TRANSFORM
    tool::ImagePtr half, turned;
    ok = ok && Step("resize", [&](std::string& said) {
        half = tool::ScaleImage(*picture, std::max(1, w / 2), std::max(1, h / 2), true);
        said = half ? "cubic area filter to half size" : "scaling failed";
        return half != nullptr;
    });
    ok = ok && Step("rotate", [&](std::string& said) {
        CRotateScale rotate(*picture);
        DPOINT centre{w / 2.0, h / 2.0};
        CColor white(CN_WHITE);
        turned.reset(rotate.Transform(w, h, kPi / 6, &centre, true, true, &white));
        said = turned ? "30 degrees bicubic on white, canvas " + std::to_string(turned->Width()) + " x " +
                            std::to_string(turned->Height())
                      : std::string("rotation failed");
        return turned != nullptr;
    });
    if (ok)
        ok = save("demo-half.bmp", *half, false, 0) && save("demo-rotated.bmp", *turned, false, 0);
#if TESSERA_HAVE_IO
    if (ok)
        ok = save("demo-half.jpg", *half, false, 85) && save("demo-rotated.tif", *turned, false, 0);
#endif
#endif
#if TESSERA_HAVE_CRC
    ok = ok && Step("crc", [&](std::string& said) {
        unsigned long total = 0;
        for (auto const& path : written) {
            unsigned long crc = 0;
            CCRC::CRCError error;
            if (!CCRC::ComputeCRC(CString(path), crc, error))
                return false;
            total ^= crc;
        }
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08lx", total);
        said = "checksums of " + std::to_string(written.size()) + " files, combined " + hex;
        return true;
    });
#endif
    if (!ok)
        return tool::Fail("demo", "a step failed (see above)");
    std::printf("done: %zu files in %s/\n", written.size(), folder.c_str());
    return 0;
}

tool::CommandRegistrar demo({"demo", "draw a sample picture and run it through every format and transform",
                             "usage: tessera demo [--out DIR] [--size WxH]\n\n"
                             "Draws a sample picture (vector shapes rasterized into masks over a gradient, and a\n"
                             "palette version), saves it in every format, loads it back, converts, resizes and\n"
                             "rotates it, printing each file written and the time of each step.\n"
                             "  --out DIR    output folder (default out)\n"
                             "  --size WxH   picture size (default 640x480)\n\n"
                             "example: tessera demo --out /tmp/demo --size 800x600\n",
                             RunDemo});

} // namespace
