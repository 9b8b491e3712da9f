// CBmpIO: reads and writes Windows bitmap (BMP) files.
#pragma once

#include "image/Image.h"
#include "io/IO.h"
#include "platform/Export.h"
#include "platform/File.h"
#include "platform/String.h"

class TESSERA_EXPORT CBmpIO {
public:
    static CImage* Load(CString const& path, CIO::IOError& error);
    static CImage* Load(CFile& file, CIO::IOError& error);
    static bool Save(CString const& path, CImage& image, bool rle, CIO::IOError& error);
    static bool Save(CFile& file, CImage& image, bool rle, CIO::IOError& error);
};
