// Fuzz target: CGifIO::Load over arbitrary bytes. Checks what a caller relies on: an
// image comes with IOERR_NONE, an IM_INDEXED mode, a full colour table and the size
// of the file's first image descriptor; a refusal comes with IOERR_BAD_FORMAT.
#include "gif/GifInternal.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CIO::IOError error = CIO::IOERR_NOT_FOUND;
    // Odd sizes read through the smallest input window, to exercise its refills.
    // 16 M pixels keep images within the fuzzer's memory limit.
    const size_t window = size & 1 ? 1024 : 64 * 1024;
    CImage* image = gif::LoadFromMemory(data, size, error, 16u << 20, window);
    gif::Summary summary;
    gif::ScanMemory(data, size, summary);
    if (image) {
        if (error != CIO::IOERR_NONE || image->GetMode() != IM_INDEXED || image->GetLut().GetColors() != 256 ||
            summary.frames.empty() || summary.frames[0].width != image->Width() ||
            summary.frames[0].height != image->Height())
            std::abort();
        // Read a corner back: the pixels are there to be read.
        CPixMap map(IM_INDEXED, 8, 8, false);
        image->GetBuf(image->Width() - 4, image->Height() - 4, map, MM_ZERO, 1);
        delete image;
    } else if (error != CIO::IOERR_BAD_FORMAT) {
        std::abort();
    }
    return 0;
}
