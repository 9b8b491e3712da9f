// tessera convert: load an image, optionally convert its mode, and save it in the
// format of the output name.
#include "tools/Command.h"
#include "tools/Common.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char* const kUsage =
    "usage: tessera convert IN OUT [--to-rgb|--hue-to-rgb|--to-rgb-no-alpha] [--rle] [--quality N]\n\n"
    "Loads IN and saves it as OUT, in the format of OUT's extension.\n"
    "  --to-rgb           convert every colour model to 8-bit RGB, keep alpha\n"
    "  --hue-to-rgb       convert HLS and HSV to RGB, narrow 16-bit samples, drop alpha\n"
    "  --to-rgb-no-alpha  convert to 8-bit RGB and drop alpha\n"
    "  --rle              BMP output: run-length encode 8-bit images\n"
    "  --quality N        JPEG output: quality 1 to 100 (default 75)\n\n"
    "Formats by extension: .bmp, .jpg/.jpeg, .tif/.tiff (read and write), .gif (read).\n"
    "JPEG holds grey and RGB only; TIFF holds grey, RGB (8 or 16 bits) and palette images,\n"
    "with or without alpha.\n\n"
    "examples: tessera convert scan.bmp scan-rle.bmp --rle\n"
    "          tessera convert logo.gif logo.jpg --to-rgb --quality 90\n";

int RunConvert(std::vector<std::string> const& args)
{
    std::vector<std::string> files;
    unsigned flags = 0;
    bool rle = false;
    int quality = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string const& a = args[i];
        if (a == "--to-rgb")
            flags |= IOF_TO_RGB;
        else if (a == "--hue-to-rgb")
            flags |= IOF_HUE_TO_RGB;
        else if (a == "--to-rgb-no-alpha")
            flags |= IOF_TO_RGB_NO_ALPHA;
        else if (a == "--rle")
            rle = true;
        else if (a == "--quality" && i + 1 < args.size()) {
            char* end = nullptr;
            long q = std::strtol(args[++i].c_str(), &end, 10);
            if (*end != '\0' || q < 1 || q > 100)
                return tool::Fail("convert", "--quality takes a number from 1 to 100");
            quality = static_cast<int>(q);
        } else if (a.size() > 1 && a[0] == '-')
            return tool::Fail("convert", "unknown option " + a + " (see tessera convert --help)");
        else
            files.push_back(a);
    }
    if (files.size() != 2)
        return tool::Fail("convert", "expected IN and OUT (see tessera convert --help)");
    CIO::IOError error = CIO::IOERR_NONE;
    tool::ImagePtr image = tool::LoadImageFile(files[0], error, flags);
    if (!image)
        return tool::Fail(files[0], tool::IOErrorText(error));
    if (!tool::SaveImageFile(files[1], *image, error, rle, quality)) {
        std::string reason = tool::IOErrorText(error);
        bool writable = true;
#if TESSERA_HAVE_IO
        writable = CIO::FileformatSupported(CString(files[1]), false);
#endif
        if (error == CIO::IOERR_UNSUPPORTED_MODE && !writable)
            reason = "no writer for this extension (writable: .bmp, .jpg, .jpeg, .tif, .tiff)";
        else if (error == CIO::IOERR_UNSUPPORTED_MODE && !(flags & (IOF_TO_RGB | IOF_TO_RGB_NO_ALPHA)))
            reason += " (" + tool::ModeName(image->GetMode()) + "; try --to-rgb or --to-rgb-no-alpha)";
        return tool::Fail(files[1], reason);
    }
    std::printf("%s -> %s (%d x %d, %s)\n", files[0].c_str(), files[1].c_str(), image->Width(), image->Height(),
                tool::ModeName(image->GetMode()).c_str());
    return 0;
}

tool::CommandRegistrar convert({"convert", "convert an image to another format or pixel mode", kUsage, RunConvert});

} // namespace
