// CIO::ConvertImage: a new image in a simpler pixel mode, made tile by tile.
//
// The flags decide the target: colour models other than RGB become 8-bit RGB
// (IOF_TO_RGB, IOF_TO_RGB_NO_ALPHA; IOF_HUE_TO_RGB only for HLS and HSV), 16-bit
// samples narrow to their high byte, and IOF_HUE_TO_RGB / IOF_TO_RGB_NO_ALPHA drop
// the alpha plane. The kernels stream the rows of the source's store into the new
// image's store.
#include "image/Planes.h"
#include "io/IO.h"
#include "io/convert_kernels.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

const int kSpan = 8192; // pixels per kernel call

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

    // The kernels read the source's store and write the target's directly, row by
    // row in spans of at most kSpan pixels (so that no offset within a call
    // overflows an int, whatever the width). The result is the same as moving
    // 256 x 256 tiles through GetBuf and SetBuf, without copying every sample twice.
    const bool srcAlpha = ModeHasAlpha(mode);
    const bool wide = ModeBitsPerSample(mode) == 16;
    const int srcOffset = srcAlpha ? 1 : 0;
    const int dstOffset = d.alphaStays ? 1 : 0;
    const int srcStep = image->GetPlanes(), dstStep = target->GetPlanes();
    const size_t srcPixelBytes = static_cast<size_t>(srcStep) * (wide ? 2 : 1);
    const size_t dstPixelBytes = static_cast<size_t>(dstStep) * static_cast<size_t>(ModeBitsPerSample(d.target) / 8);
    const bool allChannels = d.plan == Plan::CarryOver && srcStep == dstStep;
#if defined(CONVERT_VBMI_BUILT)
    const bool vbmi = convert::vbmi::Available();
    // Narrowing a target beyond the last-level cache: streaming stores measured
    // ~8% faster (the twice larger source passes through the cache meanwhile).
    const bool stream = target->StoreRowBytes() * static_cast<size_t>(height) >= (size_t{32} << 20);
#endif
    const int channels = ColourChannels(ModeColorModel(mode));

    for (int y = 0; y < height; ++y) {
        const unsigned char* srcRow = image->StoreRow(y);
        unsigned char* dstRow = target->StoreRow(y);
        for (int x = 0; x < width; x += kSpan) {
            const int w = std::min(kSpan, width - x);
            const unsigned char* s = srcRow + static_cast<size_t>(x) * srcPixelBytes;
            unsigned char* t = dstRow + static_cast<size_t>(x) * dstPixelBytes;
            const int sRow = static_cast<int>(w * srcPixelBytes), tRow = static_cast<int>(w * dstPixelBytes);

            if (d.plan == Plan::Colour) {
                const convert::TileArgs args{s, srcStep, sRow, srcOffset, t, dstStep, tRow, dstOffset, w, 1};
                convert::FastKernel(d.kernel, args, palette.get());
            } else if (allChannels) {
                // Every channel goes over (alpha stays): one pass over the whole span.
                const int n = w * srcStep;
#if defined(CONVERT_VBMI_BUILT)
                if (wide && vbmi)
                    convert::vbmi::HighBytes(s, t, static_cast<size_t>(n), stream);
                else
#endif
                if (wide)
                    HighBytePlane16(t, 1, tRow, s, 1, sRow, n, 1);
                else
                    CopyPlane8(t, 1, tRow, s, 1, sRow, static_cast<unsigned>(n), 1);
            } else {
                for (int k = 0; k < channels; ++k) {
                    if (wide)
                        HighBytePlane16(t + dstOffset + k, dstStep, tRow, s + 2 * (srcOffset + k), srcStep, sRow, w, 1);
                    else
                        CopyPlane8(t + dstOffset + k, dstStep, tRow, s + srcOffset + k, srcStep, sRow,
                                   static_cast<unsigned>(w), 1);
                }
            }
            // Alpha that stays: source channel 0 to target channel 0. (The carry-over
            // of all channels above has already moved it.)
            if (d.alphaStays && !allChannels) {
                if (wide)
                    HighBytePlane16(t, dstStep, tRow, s, srcStep, sRow, w, 1);
                else
                    CopyPlane8(t, dstStep, tRow, s, srcStep, sRow, static_cast<unsigned>(w), 1);
            }
        }
    }
    return target.release();
}
