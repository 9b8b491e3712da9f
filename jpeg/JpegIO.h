// CJpegIO: JPEG files through libjpeg-turbo.
#pragma once

#include "image/Image.h"
#include "io/IO.h"
#include "platform/Export.h"
#include "platform/String.h"

class TESSERA_EXPORT CJpegIO {
public:
    // text, when not null, receives the file's first comment.
    static CImage* Load(CString const& path, CIO::IOError& error, CString* text);
    // IM_GRAY and IM_RGB; quality 1 to 100 (anything else: 75); a non-empty text is
    // written as a comment.
    static bool Save(CString const& path, CImage& image, int quality, CIO::IOError& error, CString const& text);
};
