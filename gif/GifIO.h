// CGifIO: decodes the first image of a GIF file and tells animated files apart.
#pragma once

#include "image/Image.h"
#include "io/IO.h"
#include "platform/Export.h"
#include "platform/String.h"

class TESSERA_EXPORT CGifIO {
public:
    static CImage* Load(CString const& path, CIO::IOError& error);
    static bool IsAnimated(CString const& path);
};
