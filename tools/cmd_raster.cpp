// tessera raster: fills an SVG path string into an 8-bit coverage mask and saves it as
// a grey image.
//
// Path syntax: the SVG path commands M, L, H, V, C, S, Z and their relative forms
// m, l, h, v, c, s, z, with numbers separated by spaces and/or commas (signs and
// decimal points also end a number, as in "M1-2.5.5"). Extra coordinate pairs after
// M/m continue as L/l. Coordinates are pixels, y downwards.
#if TESSERA_HAVE_PATH

#include "path/Path.h"
#include "tools/Command.h"
#include "tools/Common.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

// Pixels the 16.16 path coordinates can hold.
constexpr double kCoordLimit = 32767.0;

class SvgPathParser {
public:
    explicit SvgPathParser(std::string const& text) : s(text) {}

    // Builds the path; false with error set on a syntax error.
    bool Parse(CPath& path, std::string& error)
    {
        char command = 0;
        for (;;) {
            SkipSeparators();
            if (pos >= s.size())
                break;
            char c = s[pos];
            if (std::isalpha(static_cast<unsigned char>(c))) {
                ++pos;
                command = c;
                if (command == 'Z' || command == 'z') {
                    if (!started)
                        return Fail(error, "Z before any M");
                    path.Close();
                    cx = startX;
                    cy = startY;
                    lastCubic = false;
                    continue;
                }
                if (!std::strchr("MmLlHhVvCcSs", command))
                    return Fail(error, std::string("unsupported command '") + command + "'");
            } else if (command == 0) {
                return Fail(error, "the path must start with M");
            } else if (command == 'Z' || command == 'z') {
                return Fail(error, "numbers after Z");
            }
            if (!started && command != 'M' && command != 'm')
                return Fail(error, "the path must start with M");
            if (!Segment(path, command, error))
                return false;
            // A coordinate pair repeated after a move is a line.
            if (command == 'M')
                command = 'L';
            else if (command == 'm')
                command = 'l';
        }
        if (!started)
            return Fail(error, "empty path");
        return true;
    }

private:
    bool Fail(std::string& error, std::string const& what)
    {
        error = what + " at offset " + std::to_string(pos);
        return false;
    }

    void SkipSeparators()
    {
        while (pos < s.size() && (std::isspace(static_cast<unsigned char>(s[pos])) || s[pos] == ','))
            ++pos;
    }

    bool Number(double& v, std::string& error)
    {
        SkipSeparators();
        size_t start = pos;
        if (pos < s.size() && (s[pos] == '+' || s[pos] == '-'))
            ++pos;
        bool digits = false;
        while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
            ++pos;
            digits = true;
        }
        if (pos < s.size() && s[pos] == '.') {
            ++pos;
            while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
                ++pos;
                digits = true;
            }
        }
        if (!digits) {
            pos = start;
            return Fail(error, "number expected");
        }
        if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
            size_t e = pos + 1;
            if (e < s.size() && (s[e] == '+' || s[e] == '-'))
                ++e;
            if (e < s.size() && std::isdigit(static_cast<unsigned char>(s[e]))) {
                while (e < s.size() && std::isdigit(static_cast<unsigned char>(s[e])))
                    ++e;
                pos = e;
            }
        }
        v = std::strtod(s.substr(start, pos - start).c_str(), nullptr);
        if (!(std::fabs(v) <= kCoordLimit * 4)) {
            pos = start;
            return Fail(error, "number out of range");
        }
        return true;
    }

    bool Point(double& x, double& y, bool relative, std::string& error)
    {
        if (!Number(x, error) || !Number(y, error))
            return false;
        if (relative) {
            x += cx;
            y += cy;
        }
        return InRange(x, error) && InRange(y, error);
    }

    bool InRange(double v, std::string& error)
    {
        if (std::fabs(v) > kCoordLimit)
            return Fail(error, "coordinate outside -32767..32767");
        return true;
    }

    bool Segment(CPath& path, char command, std::string& error)
    {
        const bool rel = std::islower(static_cast<unsigned char>(command));
        double x = 0, y = 0, x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        switch (std::toupper(static_cast<unsigned char>(command))) {
        case 'M':
            if (!Point(x, y, rel && started, error))
                return false;
            path.MoveTo(x, y);
            startX = cx = x;
            startY = cy = y;
            started = true;
            lastCubic = false;
            return true;
        case 'L':
            if (!Point(x, y, rel, error))
                return false;
            path.LineTo(x, y);
            break;
        case 'H':
            if (!Number(x, error))
                return false;
            x += rel ? cx : 0;
            y = cy;
            if (!InRange(x, error))
                return false;
            path.LineTo(x, y);
            break;
        case 'V':
            if (!Number(y, error))
                return false;
            y += rel ? cy : 0;
            x = cx;
            if (!InRange(y, error))
                return false;
            path.LineTo(x, y);
            break;
        case 'C':
            if (!Point(x1, y1, rel, error) || !Point(x2, y2, rel, error) || !Point(x, y, rel, error))
                return false;
            path.CurveTo(x1, y1, x2, y2, x, y);
            cx = x;
            cy = y;
            c2x = x2;
            c2y = y2;
            lastCubic = true;
            return true;
        case 'S':
            // First control point: the previous curve's second one reflected, or the
            // current point when the previous command was not a curve.
            x1 = lastCubic ? 2 * cx - c2x : cx;
            y1 = lastCubic ? 2 * cy - c2y : cy;
            if (!InRange(x1, error) || !InRange(y1, error))
                return false;
            if (!Point(x2, y2, rel, error) || !Point(x, y, rel, error))
                return false;
            path.CurveTo(x1, y1, x2, y2, x, y);
            cx = x;
            cy = y;
            c2x = x2;
            c2y = y2;
            lastCubic = true;
            return true;
        }
        cx = x;
        cy = y;
        lastCubic = false;
        return true;
    }

    std::string const& s;
    size_t pos = 0;
    bool started = false;
    bool lastCubic = false;
    double cx = 0, cy = 0;         // current point
    double startX = 0, startY = 0; // subpath start
    double c2x = 0, c2y = 0;       // second control point of the last curve
};

int RunRaster(std::vector<std::string> const& args)
{
    tool::Options options;
    int status = 0;
    if (!tool::ParseOptions("raster", args,
                            {{"--size", true}, {"--evenodd", false}, {"--nonzero", false}, {"--level", true}}, options,
                            status))
        return status;
    if (options.Has("--evenodd") && options.Has("--nonzero"))
        return tool::UsageError("raster", "--evenodd and --nonzero exclude each other");
    const CPath::FILL_RULE rule = options.Has("--evenodd") ? CPath::FR_EVEN_ODD : CPath::FR_NON_ZERO;
    int level = 16;
    if (options.Has("--level")) {
        const std::string value = options.Value("--level");
        char* end = nullptr;
        long l = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || l < 1 || l > 16)
            return tool::UsageError("raster", "--level: '" + value + "' is not a level from 1 to 16");
        level = static_cast<int>(l);
    }
    if (options.positional.size() != 2)
        return tool::UsageError("raster", "expected an SVG path and an output file");
    std::string const& svg = options.positional[0];
    std::string const& out = options.positional[1];
    const std::string size = options.Value("--size");
    int width = 0, height = 0;
    if (!options.Has("--size"))
        return tool::UsageError("raster", "--size WxH is required");
    if (!tool::ParseSize(size, width, height) || width > 32767 || height > 32767)
        return tool::UsageError("raster", "--size: '" + size + "' is not a size from 1x1 to 32767x32767");
    if (static_cast<long long>(width) * height > (1LL << 28))
        return tool::UsageError("raster", "--size: '" + size + "' is larger than 268435456 pixels");

    CPath path;
    std::string error;
    if (!SvgPathParser(svg).Parse(path, error))
        return tool::UsageError("raster", "bad SVG path: " + error);
    if (!tool::WritableExtension(tool::LowerExtension(out)))
        return tool::Fail(out, tool::NoWriterText());

    try {
        CPixMap mask(IM_GRAY, width, height, false);
        if (!path.Rasterize(CRect(0, 0, width, height), mask, rule, level))
            return tool::Fail(out, "the path could not be rasterized");
        CImage image(IM_GRAY, width, height, 72.0);
        image.SetBuf(0, 0, mask, MM_CLIP, 1);
        CIO::IOError ioError = CIO::IOERR_NONE;
        if (!tool::SaveImageFile(out, image, ioError))
            return tool::Fail(out, tool::SaveErrorText(out, ioError, IM_GRAY, 0));
    } catch (std::bad_alloc const&) {
        return tool::Fail(out, "out of memory for a " + size + " mask");
    }
    std::printf("%s (%d x %d, %s)\n", out.c_str(), width, height, tool::ModeName(IM_GRAY).c_str());
    return 0;
}

tool::CommandRegistrar registrar({
    "raster",
    "fill an SVG path into an anti-aliased grey mask",
    "usage: tessera raster 'SVG-PATH' OUT --size WxH [--evenodd|--nonzero] [--level L]\n"
    "\n"
    "Fills the outline given as an SVG path string and saves its coverage as a grey\n"
    "image (0 outside, 255 inside) in the format of OUT's extension, in pixels with y\n"
    "downwards.\n"
    "\n"
    "Path commands: M L H V C S Z and their relative forms m l h v c s z.\n"
    "\n"
    "Options:\n"
    "  --size WxH    size of the mask in pixels (required; at most 32767 each)\n"
    "  --evenodd     fill by the even-odd rule\n"
    "  --nonzero     fill by the non-zero rule (the default)\n"
    "  --level L     sub-scanlines per pixel row, 1 to 16 (default 16)\n"
    "\n"
    "Examples:\n"
    "  tessera raster 'M10 10 H90 V90 H10 Z M30 30 v40 h40 v-40 z' mask.bmp --size 100x100 --evenodd\n",
    RunRaster,
});

} // namespace

#endif // TESSERA_HAVE_PATH
