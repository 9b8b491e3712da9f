// CIO::ConvertImage: a new image in a simpler pixel mode, made tile by tile.
//
// The flags decide the target: colour models other than RGB become 8-bit RGB
// (IOF_TO_RGB, IOF_TO_RGB_NO_ALPHA; IOF_HUE_TO_RGB only for HLS and HSV), 16-bit
// samples narrow to their high byte, and IOF_HUE_TO_RGB / IOF_TO_RGB_NO_ALPHA drop
// the alpha plane. Pixels move through two interleaved 256 x 256 maps allocated once
// per call: GetBuf a source tile, run one kernel, SetBuf the target tile.
#include "image/Planes.h"
#include "io/IO.h"
#include "io/convert_kernels.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

const int kTile = 256;

enum class Plan {
    Nothing,     // no conversion applies
    Unsupported, // the flags ask for something no kernel does for this source
    Colour,      // a colour kernel to IM_RGB
    CarryOver,   // same colour model: alpha dropped and/or samples narrowed
};

struct Decision {
    Plan plan = Plan::Nothing;
    IMAGE_MODE target = IM_RGB;
    convert::Kernel kernel = convert::Kernel::GreyExpand8;
    bool alphaStays = false;
};

Decision Decide(IMAGE_MODE mode, unsigned flags)
{
    const IMAGE_MODE model = ModeColorModel(mode);
    const bool alpha = ModeHasAlpha(mode);
    const bool toRgb = (flags & (IOF_TO_RGB | IOF_TO_RGB_NO_ALPHA)) != 0;
    const bool hueToRgb = (flags & IOF_HUE_TO_RGB) != 0;
    const bool alphaGoes = alpha && (flags & (IOF_HUE_TO_RGB | IOF_TO_RGB_NO_ALPHA)) != 0;

    Decision d;
    d.alphaStays = alpha && !alphaGoes;
    const bool colour = model != IM_RGB && model != IM_RGB16 &&
                        (toRgb || (hueToRgb && (model == IM_HLS || model == IM_HSV)));
    const bool narrow = (model == IM_GRAY16 || model == IM_RGB16) && (flags & 7) != 0;
    IMAGE_MODE targetModel;
    if (colour)
        targetModel = IM_RGB;
    else if (narrow)
        targetModel = model == IM_GRAY16 ? IM_GRAY : IM_RGB;
    else if (alphaGoes)
        targetModel = model;
    else
        return d; // Nothing

    d.target = d.alphaStays ? targetModel | IM_ALPHA : targetModel;
    if (colour) {
        d.plan = Plan::Colour;
        switch (model) {
        case IM_GRAY: d.kernel = convert::Kernel::GreyExpand8; break;
        case IM_GRAY16: d.kernel = convert::Kernel::GreyExpand16; break;
        case IM_INDEXED: d.kernel = convert::Kernel::Palette; break;
        case IM_HLS: d.kernel = convert::Kernel::Hls; break;
        case IM_HSV: d.kernel = convert::Kernel::Hsv; break;
        case IM_YCC: d.kernel = convert::Kernel::Ycc; break;
        default: d.plan = Plan::Unsupported; break; // channels, masks, non-modes
        }
        return d;
    }
    // Carrying planes over needs a model with colour planes of 8 or 16 bits.
    switch (model) {
    case IM_GRAY:
    case IM_INDEXED:
    case IM_RGB:
    case IM_HLS:
    case IM_HSV:
    case IM_GRAY16:
    case IM_RGB16:
    case IM_YCC: d.plan = Plan::CarryOver; break;
    default: d.plan = Plan::Unsupported; break;
    }
    return d;
}

int ColourChannels(IMAGE_MODE model)
{
    return model == IM_GRAY || model == IM_INDEXED || model == IM_GRAY16 ? 1 : 3;
}

} // namespace

CImage* CIO::ConvertImage(CImage* image, unsigned const& flags, IOError& error)
{
    if (!image)
        return nullptr;
    const IMAGE_MODE mode = image->GetMode();
    const Decision d = Decide(mode, flags);
    if (d.plan == Plan::Nothing)
        return nullptr;
    if (d.plan == Plan::Unsupported) {
        error = IOERR_UNSUPPORTED_MODE;
        return nullptr;
    }

    const int width = image->Width(), height = image->Height();
    std::unique_ptr<CImage> target;
    try {
        target.reset(new CImage(d.target, width, height, image->GetDpi()));
    } catch (std::bad_alloc const&) {
        error = IOERR_NO_MEMORY;
        return nullptr;
    }
    if (ModeColorModel(d.target) == IM_INDEXED)
        target->SetLut(image->GetLut());

    // The palette tables are built once per call, from a copy of the source's table.
    std::unique_ptr<convert::PaletteTables> palette;
    if (d.plan == Plan::Colour && d.kernel == convert::Kernel::Palette)
        palette.reset(new convert::PaletteTables(image->GetLut()));

    CPixMap src(mode, kTile, kTile, true);
    CPixMap dst(d.target, kTile, kTile, true);
    const bool srcAlpha = ModeHasAlpha(mode);
    const bool wide = ModeBitsPerSample(mode) == 16;
    const int srcOffset = srcAlpha ? 1 : 0;
    const int dstOffset = d.alphaStays ? 1 : 0;
    PlaneDesc const& s = src.plane[0];
    PlaneDesc const& t = dst.plane[0];

    for (int y = 0; y < height; y += kTile) {
        const int h = std::min(y + kTile, height) - y;
        for (int x = 0; x < width; x += kTile) {
            const int w = std::min(x + kTile, width) - x;
            src.width = dst.width = w;
            src.height = dst.height = h;
            image->GetBuf(x, y, src, MM_CLIP, 1);

            if (d.plan == Plan::Colour) {
                const convert::TileArgs args{s.data, s.step, s.rowStride, srcOffset, t.data,
                                             t.step, t.rowStride, dstOffset, w,         h};
                convert::FastKernel(d.kernel, args, palette.get());
            } else if (src.planes == dst.planes) {
                // Every channel goes over (alpha stays): one pass over the whole row.
                const int n = w * src.planes;
                if (wide)
                    HighBytePlane16(t.data, 1, t.rowStride, s.data, 1, s.rowStride, n, h);
                else
                    CopyPlane8(t.data, 1, t.rowStride, s.data, 1, s.rowStride, static_cast<unsigned>(n),
                               static_cast<unsigned>(h));
            } else {
                const int channels = ColourChannels(ModeColorModel(mode));
                for (int k = 0; k < channels; ++k) {
                    unsigned char* out = t.data + dstOffset + k;
                    if (wide)
                        HighBytePlane16(out, t.step, t.rowStride, s.data + 2 * (srcOffset + k), s.step, s.rowStride, w,
                                        h);
                    else
                        CopyPlane8(out, t.step, t.rowStride, s.data + srcOffset + k, s.step, s.rowStride,
                                   static_cast<unsigned>(w), static_cast<unsigned>(h));
                }
            }
            // Alpha that stays: source channel 0 to target channel 0. (The carry-over
            // of all channels above has already moved it.)
            if (d.alphaStays && !(d.plan == Plan::CarryOver && src.planes == dst.planes)) {
                if (wide)
                    HighBytePlane16(t.data, t.step, t.rowStride, s.data, s.step, s.rowStride, w, h);
                else
                    CopyPlane8(t.data, t.step, t.rowStride, s.data, s.step, s.rowStride, static_cast<unsigned>(w),
                               static_cast<unsigned>(h));
            }
            dst.width = w;
            dst.height = h;
            target->SetBuf(x, y, dst, MM_CLIP, 1);
        }
    }
    return target.release();
}
