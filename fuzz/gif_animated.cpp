// Fuzz target: CGifIO::IsAnimated over arbitrary bytes, checked against the block
// walk of the info summary: a file is animated exactly when the walk meets a second
// image descriptor.
#include "gif/GifInternal.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const bool animated = gif::IsAnimatedInMemory(data, size, size & 1 ? 1024 : 64 * 1024);
    gif::Summary summary;
    gif::ScanMemory(data, size, summary);
    if (animated != (summary.frames.size() >= 2))
        std::abort();
    return 0;
}
