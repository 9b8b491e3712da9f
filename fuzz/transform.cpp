// Fuzz target: drives CScale through the tile flow and CRotateScale with sizes,
// tile sizes, angles, centres, modes (8- and 16-bit, alpha, indexed), smoothing,
// filter forms and kernel levels taken from the input; the image samples are the
// rest of the input. Source maps are allocated exactly to the rectangles GetSrcRect
// returns, so any read beyond them is caught by AddressSanitizer.
//
// Input layout (bytes; missing bytes read as 0):
//   0      operation: bit 0 scale (0) or rotate (1), bit 1 smooth, bit 2 packed form,
//          bits 3-4 kernel level, bit 5 interleaved source, bit 6 interleaved result,
//          bit 7 use a background colour
//   1      mode index into kModes
//   2-3    source width - 1 (mod 160), 4-5 source height - 1 (mod 160)
//   6-7    new width - 1 (mod 320), 8-9 new height - 1 (mod 320)
//   10     tile size - 1 for the scaler
//   11-18  angle (double bits; non-finite values are refused), 19-20 centre x, y
//   21-28  background colour components
//   29...  samples
#include "image/Image.h"
#include "transform/Cubic.h"
#include "transform/RotateScale.h"
#include "transform/Scale.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

const IMAGE_MODE kModes[] = {
    IM_GRAY, IM_INDEXED, IM_RGB, IM_GRAY16, IM_RGB16, IM_YCC,
    IM_GRAY | IM_ALPHA, IM_INDEXED | IM_ALPHA, IM_RGB | IM_ALPHA, IM_GRAY16 | IM_ALPHA, IM_RGB16 | IM_ALPHA,
    IM_MASK | IM_ALPHA, IM_CHANNELS8, static_cast<IMAGE_MODE>(4),
};

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    unsigned Byte() { return at < size ? data[at++] : (at++, 0u); }
    unsigned Word() { return Byte() | (Byte() << 8); }
};

void Scale(CImage& source, int newW, int newH, int tileSize, bool smooth, bool srcInterleaved, bool dstInterleaved)
{
    const IMAGE_MODE mode = source.GetMode();
    CScale scale(CSize(newW, newH), CSize(source.Width(), source.Height()), smooth);
    CImage result(mode, newW, newH, 72.0);
    for (int y = 0; y < newH; y += tileSize)
        for (int x = 0; x < newW; x += tileSize) {
            const CRect tile(x, y, std::min(x + tileSize, newW), std::min(y + tileSize, newH));
            CRect src;
            scale.GetSrcRect(tile, src);
            CPixMap in(mode, src.Width(), src.Height(), srcInterleaved);
            source.GetBuf(src.left, src.top, in, MM_ZERO, 1);
            CPixMap out(mode, tile.Width(), tile.Height(), dstInterleaved);
            scale.Transform(out, in);
            result.SetBuf(x, y, out, MM_CLIP, 1);
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in{data, size};
    const unsigned op = in.Byte();
    const IMAGE_MODE mode = kModes[in.Byte() % (sizeof kModes / sizeof kModes[0])];
    const int srcW = 1 + static_cast<int>(in.Word() % 160), srcH = 1 + static_cast<int>(in.Word() % 160);
    const int newW = 1 + static_cast<int>(in.Word() % 320), newH = 1 + static_cast<int>(in.Word() % 320);
    const int tileSize = 1 + static_cast<int>(in.Byte());
    uint64_t angleBits = 0;
    for (int i = 0; i < 8; ++i)
        angleBits |= static_cast<uint64_t>(in.Byte()) << (8 * i);
    double angle;
    std::memcpy(&angle, &angleBits, sizeof angle);
    DPOINT centre{static_cast<double>(in.Byte()) - 64, static_cast<double>(in.Byte()) - 64};
    unsigned char components[8];
    for (unsigned char& c : components)
        c = static_cast<unsigned char>(in.Byte());

    const bool oldMmx = TesseraTransformMmx();
    const int oldLevel = TesseraTransformKernelLevel();
    TesseraTransformSetMmx((op & 4) != 0);
    TesseraTransformSetKernelLevel(static_cast<int>((op >> 3) & 3));

    CImage source(mode, srcW, srcH, 72.0);
    const int planes = source.GetPlanes(), bits = source.GetBitsPerPlane();
    if (planes > 0 && (bits == 8 || bits == 16)) {
        CPixMap fill(mode, srcW, srcH, true);
        const size_t rowBytes = static_cast<size_t>(srcW) * planes * bits / 8;
        for (int y = 0; y < srcH; ++y)
            for (size_t i = 0; i < rowBytes; ++i)
                fill.plane[0].data[static_cast<size_t>(y) * fill.plane[0].rowStride + i] =
                    static_cast<unsigned char>(in.Byte());
        source.SetBuf(0, 0, fill, MM_CLIP, 1);
    }

    if ((op & 1) == 0) {
        if (planes > 0 && (bits == 8 || bits == 16))
            Scale(source, newW, newH, tileSize, (op & 2) != 0, (op & 32) != 0, (op & 64) != 0);
    } else {
        CColor color(mode, components, 8);
        CRotateScale rotate(source);
        std::unique_ptr<CImage> result(rotate.Transform(newW, newH, angle, (op & 2) ? &centre : nullptr, true,
                                                        (op & 128) != 0, (op & 64) ? &color : nullptr));
    }

    TesseraTransformSetMmx(oldMmx);
    TesseraTransformSetKernelLevel(oldLevel);
    return 0;
}
