// CIO: the image file facade. Loads and saves images by file name with the codec
// chosen by the name's extension, converts images to simpler pixel modes, and asks
// the user for file names. Also owns the error code of every image load, save and
// conversion, CIO::IOError.
#pragma once

#include "image/Image.h"
#include "platform/Export.h"
#include "platform/File.h"
#include "platform/String.h"

// The conversion flags word. Only bits 0 to 3 have a meaning.
enum {
    IOF_TO_RGB = 1,          // every colour model but RGB becomes IM_RGB; 16 bits narrow to 8; alpha stays
    IOF_HUE_TO_RGB = 2,      // IM_HLS and IM_HSV become IM_RGB; 16 bits narrow to 8; alpha goes
    IOF_TO_RGB_NO_ALPHA = 4, // as IOF_TO_RGB, and alpha goes
    IOF_BMP_RLE = 8,         // saving: the BMP writer's compression switch
};

class TESSERA_EXPORT CIO {
public:
    enum IOError {
        IOERR_NONE = 0,
        IOERR_NOT_FOUND = 1,
        IOERR_BAD_FORMAT = 2,
        IOERR_BAD_PATH = 3,
        IOERR_NO_MEMORY = 4,
        IOERR_OPEN_FAILED = 5,
        IOERR_CREATE_FAILED = 6,
        IOERR_UNSUPPORTED_MODE = 7,
    };

    static CImage* LoadImageA(CString const& path, unsigned const& flags, IOError& error, CString* text);
    static CImage* LoadDIB(CFile& file, unsigned const& flags, IOError& error);
    static bool SaveImage(CString const& path, CImage& image, unsigned const& flags, int jpegOption, IOError& error,
                          CString const& text);
    static bool FileformatSupported(CString name, bool open);

    static CImage* ConvertImage(CImage* image, unsigned const& flags, IOError& error);

    static bool GetFileName(CString& name, bool open);
    static int GetFileNames(CStringList& list);
    static int GetFileNames(CString folder, CStringList& list);
};
