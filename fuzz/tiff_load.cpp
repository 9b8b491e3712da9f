// Fuzz target: TIFF files loaded through CIO::LoadImageA.
#include "fuzz/load_through_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LoadThroughIO(data, size, ".tif");
    return 0;
}
