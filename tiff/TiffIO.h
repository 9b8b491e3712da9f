// CTiffIO: TIFF files through libtiff.
#pragma once

#include "image/Image.h"
#include "io/IO.h"
#include "platform/Export.h"
#include "platform/String.h"

class TESSERA_EXPORT CTiffIO {
public:
    // text, when not null, receives the ImageDescription.
    static CImage* Load(CString const& path, CIO::IOError& error, CString* text);
    // A non-empty text is written as the ImageDescription.
    static bool Save(CString const& path, CImage& image, CIO::IOError& error, CString const& text);
};
