// CIO format dispatch: the codec is chosen by the file name's extension, compared
// without regard to case and only as a whole:
//
//   extension        load           save            FileformatSupported(open / save)
//   .bmp             CBmpIO         CBmpIO          yes / yes
//   .jpg .jpeg       CJpegIO        CJpegIO         yes / yes
//   .gif             CGifIO         (unsupported)   yes / no
//   .tif .tiff       CTiffIO        CTiffIO         yes / yes
//   anything else    OPEN_FAILED    UNSUPPORTED     no  / no
//
// After a load the image goes through ConvertImage under the caller's flags. Every
// image the facade does not return is deleted before it returns.
#include "io/IO.h"

#include "bmp/BmpIO.h"
#include "gif/GifIO.h"
#include "io/path_util.h"
#include "jpeg/JpegIO.h"
#include "platform/Path.h"
#include "tiff/TiffIO.h"

#include <memory>

namespace {

enum class Format { None, Bmp, Jpeg, Gif, Tiff };

bool ExtensionIs(CString const& ext, const char* entry)
{
    return _mbsicmp(reinterpret_cast<const unsigned char*>(ext.GetString()),
                    reinterpret_cast<const unsigned char*>(entry)) == 0;
}

Format FormatOf(CString const& path)
{
    const CString ext = iopath::PathExtension(path);
    if (ExtensionIs(ext, ".bmp"))
        return Format::Bmp;
    if (ExtensionIs(ext, ".jpg") || ExtensionIs(ext, ".jpeg"))
        return Format::Jpeg;
    if (ExtensionIs(ext, ".gif"))
        return Format::Gif;
    if (ExtensionIs(ext, ".tif") || ExtensionIs(ext, ".tiff"))
        return Format::Tiff;
    return Format::None;
}

// Steps after a reader returned an image: convert under the flags, keep exactly one
// image. A conversion error (no memory, a mode no kernel handles) fails the load.
CImage* FinishLoad(CImage* loaded, unsigned flags, CIO::IOError& error)
{
    std::unique_ptr<CImage> image(loaded);
    std::unique_ptr<CImage> converted(CIO::ConvertImage(image.get(), flags, error));
    if (error != CIO::IOERR_NONE)
        return nullptr;
    if (!converted)
        return image.release();
    return converted.release();
}

} // namespace

CImage* CIO::LoadImageA(CString const& path, unsigned const& flags, IOError& error, CString* text)
{
    CImage* image = nullptr;
    switch (FormatOf(path)) {
    case Format::Bmp: image = CBmpIO::Load(path, error); break;
    case Format::Jpeg: image = CJpegIO::Load(path, error, text); break;
    case Format::Gif: image = CGifIO::Load(path, error); break;
    case Format::Tiff: image = CTiffIO::Load(path, error, text); break;
    case Format::None: error = IOERR_OPEN_FAILED; return nullptr;
    }
    if (!image)
        return nullptr;
    if (error != IOERR_NONE) {
        delete image;
        return nullptr;
    }
    return FinishLoad(image, flags, error);
}

CImage* CIO::LoadDIB(CFile& file, unsigned const& flags, IOError& error)
{
    CImage* image = CBmpIO::Load(file, error);
    if (!image)
        return nullptr;
    return FinishLoad(image, flags, error);
}

bool CIO::SaveImage(CString const& path, CImage& image, unsigned const& flags, int jpegOption, IOError& error,
                    CString const& text)
{
    switch (FormatOf(path)) {
    case Format::Bmp: return CBmpIO::Save(path, image, (flags & IOF_BMP_RLE) != 0, error);
    case Format::Jpeg: return CJpegIO::Save(path, image, jpegOption, error, text);
    case Format::Tiff: return CTiffIO::Save(path, image, error, text);
    case Format::Gif:
    case Format::None: break;
    }
    error = IOERR_UNSUPPORTED_MODE;
    return false;
}

bool CIO::FileformatSupported(CString name, bool open)
{
    switch (FormatOf(name)) {
    case Format::Bmp:
    case Format::Jpeg:
    case Format::Tiff: return true;
    case Format::Gif: return open;
    case Format::None: return false;
    }
    return false;
}
