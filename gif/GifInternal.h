// Internal entry points of the GIF library, not installed: loading and probing from
// memory (fuzz targets, tests) and a structural summary of a file (`tessera info`).
#pragma once

#include "image/Image.h"
#include "io/IO.h"
#include "platform/Export.h"
#include "platform/String.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gif {

// CGifIO::Load over bytes in memory. maxPixels > 0 refuses larger images with
// IOERR_BAD_FORMAT before allocating them (fuzzing runs under a memory limit);
// bufferCapacity sets the input window (at least 1024 bytes), so that small windows
// exercise the refill paths.
TESSERA_EXPORT CImage* LoadFromMemory(const uint8_t* data, size_t size, CIO::IOError& error, uint64_t maxPixels = 0,
                                      size_t bufferCapacity = 64 * 1024);

// CGifIO::IsAnimated over bytes in memory.
TESSERA_EXPORT bool IsAnimatedInMemory(const uint8_t* data, size_t size, size_t bufferCapacity = 64 * 1024);

struct FrameInfo {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    int localColors = 0;  // entries of the local colour table, 0 for none
    int minCodeSize = -1; // -1 when the file ends before it
};

struct Summary {
    std::string version; // "87a" or "89a"
    int screenWidth = 0;
    int screenHeight = 0;
    int globalColors = 0; // entries of the global colour table, 0 for none
    std::vector<FrameInfo> frames;
    bool trailer = false;   // the walk ended at a trailer block
    // The walk stopped early: the file ends inside a block or before a trailer, or an
    // image has a minimum code size above 11 (its code data cannot be passed over).
    bool incomplete = false;
};

// Walks every block of a GIF file. False with error set when the file cannot be
// opened (the open failure codes of CGifIO::Load) or does not start with a complete
// GIF header and screen descriptor (IOERR_BAD_FORMAT); a file cut later still gives
// true, with `incomplete` set.
TESSERA_EXPORT bool Scan(CString const& path, Summary& summary, CIO::IOError& error);
TESSERA_EXPORT bool ScanMemory(const uint8_t* data, size_t size, Summary& summary);

} // namespace gif
