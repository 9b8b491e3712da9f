// Pixel modes and the two mode tables: plane count and bits per sample.
//
// IMAGE_MODE is a signed 32-bit value: bit 31 (IM_ALPHA) adds an alpha plane, which
// comes first (plane 0); the low 31 bits select the colour model.
#pragma once

#include <cstdint>

enum IMAGE_MODE : std::int32_t {
    IM_GRAY = 1,
    IM_INDEXED = 2,
    IM_RGB = 3,
    IM_HLS = 5,
    IM_HSV = 6,
    IM_GRAY16 = 10,
    IM_RGB16 = 11,
    IM_YCC = 256,
    IM_CHANNELS8 = 384,
    IM_CHANNELS16 = 385,
    IM_CHANNELS32 = 386,
    IM_CHANNELS64 = 387,
    IM_MASK = 510,
    IM_MASK16 = 511,
    IM_ALPHA = INT32_MIN, // 0x80000000
};

constexpr IMAGE_MODE operator|(IMAGE_MODE a, IMAGE_MODE b)
{
    return static_cast<IMAGE_MODE>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}

// The colour model: the mode without IM_ALPHA.
constexpr IMAGE_MODE ModeColorModel(IMAGE_MODE mode)
{
    return static_cast<IMAGE_MODE>(static_cast<std::uint32_t>(mode) & 0x7FFFFFFFu);
}

constexpr bool ModeHasAlpha(IMAGE_MODE mode)
{
    return mode < 0;
}

// True exactly for IM_CHANNELS8 to IM_CHANNELS64 without IM_ALPHA.
constexpr bool IsChannelsMode(IMAGE_MODE mode)
{
    return mode >= IM_CHANNELS8 && mode <= IM_CHANNELS64;
}

// Planes of a mode, alpha included; 0 for the channels modes (the caller gives
// their count), for IM_MASK and IM_MASK16 without IM_ALPHA, and for non-modes.
constexpr int ModePlaneCount(IMAGE_MODE mode)
{
    switch (static_cast<std::int64_t>(mode)) {
    case IM_GRAY:
    case IM_INDEXED:
    case IM_GRAY16:
    case IM_MASK | IM_ALPHA:
    case IM_MASK16 | IM_ALPHA:
        return 1;
    case IM_GRAY | IM_ALPHA:
    case IM_INDEXED | IM_ALPHA:
    case IM_GRAY16 | IM_ALPHA:
        return 2;
    case IM_RGB:
    case IM_HLS:
    case IM_HSV:
    case IM_RGB16:
    case IM_YCC:
        return 3;
    case IM_RGB | IM_ALPHA:
    case IM_HLS | IM_ALPHA:
    case IM_HSV | IM_ALPHA:
    case IM_RGB16 | IM_ALPHA:
    case IM_YCC | IM_ALPHA:
        return 4;
    default:
        return 0;
    }
}

// Bits per sample of a mode; 0 for non-modes and for the channels modes with IM_ALPHA.
constexpr int ModeBitsPerSample(IMAGE_MODE mode)
{
    switch (static_cast<std::int64_t>(mode)) {
    case IM_GRAY:
    case IM_INDEXED:
    case IM_RGB:
    case IM_HLS:
    case IM_HSV:
    case IM_YCC:
    case IM_CHANNELS8:
    case IM_MASK:
    case IM_GRAY | IM_ALPHA:
    case IM_INDEXED | IM_ALPHA:
    case IM_RGB | IM_ALPHA:
    case IM_HLS | IM_ALPHA:
    case IM_HSV | IM_ALPHA:
    case IM_YCC | IM_ALPHA:
    case IM_MASK | IM_ALPHA:
        return 8;
    case IM_GRAY16:
    case IM_RGB16:
    case IM_CHANNELS16:
    case IM_MASK16:
    case IM_GRAY16 | IM_ALPHA:
    case IM_RGB16 | IM_ALPHA:
    case IM_MASK16 | IM_ALPHA:
        return 16;
    case IM_CHANNELS32:
        return 32;
    case IM_CHANNELS64:
        return 64;
    default:
        return 0;
    }
}
