// Helpers of the transform tests: reading the objects' tables and geometry, random
// images, and switching the processor flag and kernel level for one scope.
#pragma once

#include "image/Image.h"
#include "transform/Cubic.h"
#include "transform/RotateScale.h"
#include "transform/Scale.h"

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

class TransformTestAccess {
public:
    static FilterTable const& FilterX(CScale const& s) { return s.filterX; }
    static FilterTable const& FilterY(CScale const& s) { return s.filterY; }
    static int TileWidth(CRotateScale const& r) { return r.tileWidth; }
    static int TileHeight(CRotateScale const& r) { return r.tileHeight; }
    static double Angle(CRotateScale const& r) { return r.angle; }
    static DPOINT Origin(CRotateScale const& r) { return r.origin; }
    static int ColStepX(CRotateScale const& r) { return r.colStepX; }
    static int ColStepY(CRotateScale const& r) { return r.colStepY; }
    static int RowStepX(CRotateScale const& r) { return r.rowStepX; }
    static int RowStepY(CRotateScale const& r) { return r.rowStepY; }
    static CSize CalculateSize(CRotateScale& r)
    {
        CSize s;
        r.CalculateSize(s);
        return s;
    }
};

// Sets the packed-form flag and the kernel level; restores both when it goes.
struct TransformSwitches {
    bool mmx;
    int level;
    TransformSwitches(bool newMmx, int newLevel) : mmx(TesseraTransformMmx()), level(TesseraTransformKernelLevel())
    {
        TesseraTransformSetMmx(newMmx);
        TesseraTransformSetKernelLevel(newLevel);
    }
    ~TransformSwitches()
    {
        TesseraTransformSetMmx(mmx);
        TesseraTransformSetKernelLevel(level);
    }
};

// The highest kernel level this processor runs.
inline int MaxKernelLevel()
{
    int old = TesseraTransformKernelLevel();
    int top = TesseraTransformSetKernelLevel(99);
    TesseraTransformSetKernelLevel(old);
    return top;
}

// Raw bytes of an image: rows of interleaved samples, 16-bit low byte first.
inline std::vector<uint8_t> Pixels(CImage& image)
{
    const int w = image.Width(), h = image.Height();
    std::vector<uint8_t> out;
    if (w < 1 || h < 1)
        return out;
    CPixMap map(image.GetMode(), w, h, true);
    image.GetBuf(0, 0, map, MM_CLIP, 1);
    const size_t rowBytes = static_cast<size_t>(w) * image.GetPlanes() * image.GetBitsPerPlane() / 8;
    for (int y = 0; y < h; ++y) {
        const uint8_t* r = map.plane[0].data + static_cast<long>(y) * map.plane[0].rowStride;
        out.insert(out.end(), r, r + rowBytes);
    }
    return out;
}

inline void SetPixels(CImage& image, std::vector<uint8_t> const& bytes)
{
    const int w = image.Width(), h = image.Height();
    CPixMap map(image.GetMode(), w, h, true);
    const size_t rowBytes = static_cast<size_t>(w) * image.GetPlanes() * image.GetBitsPerPlane() / 8;
    for (int y = 0; y < h; ++y)
        std::copy(bytes.begin() + y * rowBytes, bytes.begin() + (y + 1) * rowBytes,
                  map.plane[0].data + static_cast<long>(y) * map.plane[0].rowStride);
    image.SetBuf(0, 0, map, MM_CLIP, 1);
}

// Smooth gradients with noise and a few hard edges: both overshoot and flats occur.
inline std::unique_ptr<CImage> RandomImage(IMAGE_MODE mode, int w, int h, unsigned seed)
{
    auto image = std::make_unique<CImage>(mode, w, h, 72.0);
    std::mt19937 rng(seed);
    const int planes = image->GetPlanes(), bytes = image->GetBitsPerPlane() / 8;
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * planes * bytes);
    size_t i = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int p = 0; p < planes; ++p) {
                unsigned v = (x * 37 + y * 11 + p * 50) & 0xFF;
                if (((x / 7) + (y / 5)) % 3 == 0)
                    v = (x + y) % 2 ? 255 : 0;
                v = (v + (rng() % 9)) & 0xFF;
                if (bytes == 1) {
                    px[i++] = static_cast<uint8_t>(v);
                } else {
                    const unsigned v16 = v * 257 ^ (rng() & 0x3F);
                    px[i++] = static_cast<uint8_t>(v16);
                    px[i++] = static_cast<uint8_t>(v16 >> 8);
                }
            }
    SetPixels(*image, px);
    return image;
}
