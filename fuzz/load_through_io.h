// Shared body of the loaders' fuzz targets: the input goes to a temporary file with
// the format's extension and is loaded through CIO::LoadImageA, once as it is and
// once converted to RGB, so that dispatch, codec and conversion all run.
#pragma once

#include "io/IO.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

inline void LoadThroughIO(const uint8_t* data, size_t size, const char* extension)
{
    static std::string path;
    if (path.empty()) {
        std::string pattern = "/tmp/tessera-fuzz-XXXXXX" + std::string(extension);
        int fd = mkstemps(&pattern[0], static_cast<int>(std::string(extension).size()));
        if (fd < 0)
            std::abort();
        close(fd);
        path = pattern;
        std::atexit([] { unlink(path.c_str()); });
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
    for (unsigned flags : {0u, unsigned(IOF_TO_RGB)}) {
        CIO::IOError error = CIO::IOERR_NONE;
        CString text;
        CImage* image = CIO::LoadImageA(CString(path.c_str()), flags, error, &text);
        if ((image != nullptr) != (error == CIO::IOERR_NONE))
            std::abort(); // the result contract: an image exactly when no error
        delete image;
    }
}
