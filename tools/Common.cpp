#include "tools/Common.h"

#if TESSERA_HAVE_BMP
#include "bmp/BmpIO.h"
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tool {

const char* IOErrorText(CIO::IOError error)
{
    switch (error) {
    case CIO::IOERR_NONE: return "no error";
    case CIO::IOERR_NOT_FOUND: return "file not found";
    case CIO::IOERR_BAD_FORMAT: return "not a valid or supported image file";
    case CIO::IOERR_BAD_PATH: return "invalid path (a folder on it does not exist)";
    case CIO::IOERR_NO_MEMORY: return "out of memory, disk full or read error";
    case CIO::IOERR_OPEN_FAILED: return "cannot open the file (access denied or unknown format)";
    case CIO::IOERR_CREATE_FAILED: return "cannot create the file";
    case CIO::IOERR_UNSUPPORTED_MODE: return "this format cannot hold the image's pixel mode";
    }
    return "unknown error";
}

int Fail(std::string const& subject, std::string const& reason)
{
    std::fprintf(stderr, "tessera: %s: %s\n", subject.c_str(), reason.c_str());
    return 1;
}

std::string ModeName(IMAGE_MODE mode)
{
    std::string name;
    switch (ModeColorModel(mode)) {
    case IM_GRAY: name = "grey"; break;
    case IM_INDEXED: name = "indexed"; break;
    case IM_RGB: name = "RGB"; break;
    case IM_HLS: name = "HLS"; break;
    case IM_HSV: name = "HSV"; break;
    case IM_GRAY16: name = "grey16"; break;
    case IM_RGB16: name = "RGB16"; break;
    case IM_YCC: name = "YCbCr"; break;
    case IM_CHANNELS8: name = "channels8"; break;
    case IM_CHANNELS16: name = "channels16"; break;
    case IM_CHANNELS32: name = "channels32"; break;
    case IM_CHANNELS64: name = "channels64"; break;
    case IM_MASK: name = "mask"; break;
    case IM_MASK16: name = "mask16"; break;
    default: name = "mode " + std::to_string(static_cast<int>(ModeColorModel(mode))); break;
    }
    if (ModeHasAlpha(mode))
        name += "+alpha";
    return name;
}

bool ParseSize(std::string const& text, int& width, int& height)
{
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos || x == 0 || x + 1 >= text.size())
        return false;
    char* end = nullptr;
    long w = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + x)
        return false;
    long h = std::strtol(text.c_str() + x + 1, &end, 10);
    if (*end != '\0' || w < 1 || h < 1 || w > 1000000 || h > 1000000)
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

std::string LowerExtension(std::string const& path)
{
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    std::string ext = path.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

std::unique_ptr<CImage> MakeSampleImage(int width, int height)
{
    auto image = std::make_unique<CImage>(IM_RGB, width, height, 96.0);
    CPixMap strip(IM_RGB, width, 16, true);
    const double cx = width / 2.0, cy = height / 2.0;
    for (int y0 = 0; y0 < height; y0 += 16) {
        int rows = std::min(16, height - y0);
        strip.height = rows;
        for (int r = 0; r < rows; ++r) {
            unsigned char* row = strip.plane[0].data + r * strip.plane[0].rowStride;
            int y = y0 + r;
            for (int x = 0; x < width; ++x) {
                double d = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
                bool ring = static_cast<int>(d / 12.0) % 2 == 0;
                unsigned char red = static_cast<unsigned char>(255 * x / std::max(1, width - 1));
                unsigned char green = static_cast<unsigned char>(255 * y / std::max(1, height - 1));
                unsigned char blue = static_cast<unsigned char>(ring ? 200 : 60);
                if (x < width / 8 && y < height / 8) // a flat patch: long runs for RLE
                    red = green = blue = 240;
                row[3 * x] = red;
                row[3 * x + 1] = green;
                row[3 * x + 2] = blue;
            }
        }
        image->SetBuf(0, y0, strip, MM_CLIP, 1);
    }
    return image;
}

ImagePtr LoadImageFile(std::string const& path, CIO::IOError& error, unsigned flags)
{
#if TESSERA_HAVE_IO
    return ImagePtr(CIO::LoadImageA(CString(path), flags, error, nullptr));
#elif TESSERA_HAVE_BMP
    (void)flags;
    if (LowerExtension(path) != ".bmp") {
        error = CIO::IOERR_OPEN_FAILED;
        return nullptr;
    }
    return ImagePtr(CBmpIO::Load(CString(path), error));
#else
    (void)path;
    (void)flags;
    error = CIO::IOERR_OPEN_FAILED;
    return nullptr;
#endif
}

bool SaveImageFile(std::string const& path, CImage& image, CIO::IOError& error, bool rle, int quality,
                   std::string const& text)
{
#if TESSERA_HAVE_IO
    unsigned flags = rle ? IOF_BMP_RLE : 0;
    return CIO::SaveImage(CString(path), image, flags, quality, error, CString(text));
#elif TESSERA_HAVE_BMP
    (void)quality;
    (void)text;
    if (LowerExtension(path) != ".bmp") {
        error = CIO::IOERR_UNSUPPORTED_MODE;
        return false;
    }
    return CBmpIO::Save(CString(path), image, rle, error);
#else
    (void)path;
    (void)image;
    (void)rle;
    (void)quality;
    (void)text;
    error = CIO::IOERR_UNSUPPORTED_MODE;
    return false;
#endif
}

bool WantsHelp(std::vector<std::string> const& args)
{
    for (auto const& a : args)
        if (a == "--help" || a == "-h")
            return true;
    return false;
}

} // namespace tool
