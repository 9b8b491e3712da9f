// CRotateScale: scaling with rotation of whole images by inverse mapping.
//
// Transform fixes the geometry in double precision: result pixel (X, Y) takes its
// value from the source position origin + X * colStep + Y * rowStep (source pixel
// (i, j) sits at (i, j)). TileImage then walks the result in tiles whose source
// footprint stays within 245 pixels per axis, fetches each footprint (plus a margin
// of 2) into srcTile with GetBuf -- samples outside the source become the background
// resamples every plane into dstTile in 16.16 steps and writes it with SetBuf.
#include "transform/RotateScale.h"

#include "transform/Cubic.h"
#include "transform/scale_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

using namespace transform_internal;

namespace {

const double kPi = 3.141592653589793;

// (x, y) turned by a about (cx, cy).
DPOINT Turn(double x, double y, double a, double cx, double cy)
{
    const double c = std::cos(a), s = std::sin(a);
    DPOINT r;
    r.x = cx + (x - cx) * c - (y - cy) * s;
    r.y = cy + (x - cx) * s + (y - cy) * c;
    return r;
}

template <typename T>
inline T LoadSample(const unsigned char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
inline void StoreSample(unsigned char* p, int v)
{
    const T s = static_cast<T>(v);
    std::memcpy(p, &s, sizeof s);
}

// The kernels walk (sx0, sy0) + col * colStep + row * rowStep in fix16; steps and
// row strides as the plane descriptors give them (samples, bytes).
template <typename T>
void RotateNearest(unsigned char* dst, int dstStep, int dstRowStride, const unsigned char* src, int srcStep,
                   int srcRowStride, int sx0, int sy0, int colStepX, int colStepY, int rowStepX, int rowStepY,
                   int count, int rows)
{
    sx0 += 32768;
    sy0 += 32768;
    const long sampleBytes = static_cast<long>(srcStep) * sizeof(T);
    const long dstBytes = static_cast<long>(dstStep) * sizeof(T);
    for (int row = 0; row < rows; ++row, sx0 += rowStepX, sy0 += rowStepY, dst += dstRowStride) {
        int px = sx0, py = sy0;
        unsigned char* d = dst;
        for (int col = 0; col < count; ++col, px += colStepX, py += colStepY, d += dstBytes)
            StoreSample<T>(d, LoadSample<T>(src + static_cast<long>(py >> 16) * srcRowStride + (px >> 16) * sampleBytes));
    }
}

template <typename T, int Max>
void RotateBicubic(unsigned char* dst, int dstStep, int dstRowStride, const unsigned char* src, int srcStep,
                   int srcRowStride, int sx0, int sy0, int colStepX, int colStepY, int rowStepX, int rowStepY,
                   CubicTable const* cubic, int count, int rows)
{
    auto clamp = [](int v) { return v < 0 ? 0 : v > Max ? Max : v; };
    const long sb = static_cast<long>(srcStep) * sizeof(T);
    const long dstBytes = static_cast<long>(dstStep) * sizeof(T);
    for (int row = 0; row < rows; ++row, sx0 += rowStepX, sy0 += rowStepY, dst += dstRowStride) {
        int px = sx0, py = sy0;
        unsigned char* d = dst;
        for (int col = 0; col < count; ++col, px += colStepX, py += colStepY, d += dstBytes) {
            const int nx = px >> 16, ny = py >> 16;
            const int qx = (px & 0xFFFF) >> 8, qy = (py & 0xFFFF) >> 8;
            const unsigned char* c = src + static_cast<long>(ny) * srcRowStride + nx * sb;
            if (qx == 0 && qy == 0) {
                StoreSample<T>(d, LoadSample<T>(c));
                continue;
            }
            CubicEntry const& wx = cubic->entry[qx];
            CubicEntry const& wy = cubic->entry[qy];
            auto across = [&](const unsigned char* r) {
                return clamp((LoadSample<T>(r - sb) * wx.w0 + LoadSample<T>(r) * wx.w1 + LoadSample<T>(r + sb) * wx.w2 +
                              LoadSample<T>(r + 2 * sb) * wx.w3) >>
                             12);
            };
            int v;
            if (qy == 0) {
                v = across(c);
            } else if (qx == 0) {
                v = clamp((LoadSample<T>(c - srcRowStride) * wy.w0 + LoadSample<T>(c) * wy.w1 +
                           LoadSample<T>(c + srcRowStride) * wy.w2 + LoadSample<T>(c + 2L * srcRowStride) * wy.w3) >>
                          12);
            } else {
                v = clamp((across(c - srcRowStride) * wy.w0 + across(c) * wy.w1 + across(c + srcRowStride) * wy.w2 +
                           across(c + 2L * srcRowStride) * wy.w3) >>
                          12);
            }
            StoreSample<T>(d, v);
        }
    }
}

// Tile extent for one axis: trunc(a / f) within 1..256 (f may be 0 for an empty source).
int TileExtent(int a, double f)
{
    const double t = a / f;
    if (!(t >= 1))
        return 1;
    if (t > 256)
        return 256;
    return static_cast<int>(t);
}

} // namespace

CRotateScale::CRotateScale(CImage& sourceImage)
    : source(&sourceImage), dstTile(nullptr), srcTile(nullptr), scaledWidth(sourceImage.Width()),
      scaledHeight(sourceImage.Height()), tileWidth(256), tileHeight(256), angle(0.0), flag(true), origin{0, 0},
      colStep{1, 0}, rowStep{0, 1}, colStepX(65536), colStepY(0), rowStepX(0), rowStepY(65536), interpolate{},
      eightBit(true), cubic(nullptr)
{
    dstTile = new CPixMap(sourceImage.GetMode(), 256, 256, false, 0);
    try {
        srcTile = new CPixMap(sourceImage.GetMode(), 256, 256, false, 0);
    } catch (...) {
        delete dstTile;
        throw;
    }
    cubic = NewCubicTable();
    for (int i = 0; i < 4; ++i)
        interpolate[i] = i < dstTile->planes;
    const IMAGE_MODE mode = sourceImage.GetMode();
    if ((mode == IM_INDEXED || mode == (IM_INDEXED | IM_ALPHA)) && dstTile->planes > 0)
        interpolate[dstTile->planes - 1] = false;
    eightBit = dstTile->bits == 8;
}

CRotateScale::CRotateScale(CRotateScale const& other)
    : source(other.source), dstTile(nullptr), srcTile(nullptr), scaledWidth(other.scaledWidth),
      scaledHeight(other.scaledHeight), tileWidth(other.tileWidth), tileHeight(other.tileHeight),
      angle(other.angle), flag(other.flag), origin(other.origin), colStep(other.colStep), rowStep(other.rowStep),
      colStepX(other.colStepX), colStepY(other.colStepY), rowStepX(other.rowStepX), rowStepY(other.rowStepY),
      interpolate{other.interpolate[0], other.interpolate[1], other.interpolate[2], other.interpolate[3]},
      eightBit(other.eightBit), cubic(nullptr)
{
    const IMAGE_MODE mode = source->GetMode();
    dstTile = new CPixMap(mode, 256, 256, false, 0);
    try {
        srcTile = new CPixMap(mode, 256, 256, false, 0);
    } catch (...) {
        delete dstTile;
        throw;
    }
    if (other.cubic) {
        cubic = static_cast<CubicTable*>(std::malloc(sizeof(CubicTable)));
        if (cubic)
            std::memcpy(cubic, other.cubic, sizeof(CubicTable));
    }
}

CRotateScale& CRotateScale::operator=(CRotateScale const& other)
{
    if (this == &other)
        return *this;
    // New maps and table first, so that a failure leaves this object as it was.
    const IMAGE_MODE mode = other.source->GetMode();
    CPixMap* newDst = new CPixMap(mode, 256, 256, false, 0);
    CPixMap* newSrc = nullptr;
    try {
        newSrc = new CPixMap(mode, 256, 256, false, 0);
    } catch (...) {
        delete newDst;
        throw;
    }
    CubicTable* newCubic = nullptr;
    if (other.cubic) {
        newCubic = static_cast<CubicTable*>(std::malloc(sizeof(CubicTable)));
        if (newCubic)
            std::memcpy(newCubic, other.cubic, sizeof(CubicTable));
    }
    std::free(cubic);
    delete dstTile;
    delete srcTile;
    dstTile = newDst;
    srcTile = newSrc;
    cubic = newCubic;
    source = other.source;
    scaledWidth = other.scaledWidth;
    scaledHeight = other.scaledHeight;
    tileWidth = other.tileWidth;
    tileHeight = other.tileHeight;
    angle = other.angle;
    flag = other.flag;
    origin = other.origin;
    colStep = other.colStep;
    rowStep = other.rowStep;
    colStepX = other.colStepX;
    colStepY = other.colStepY;
    rowStepX = other.rowStepX;
    rowStepY = other.rowStepY;
    std::copy(other.interpolate, other.interpolate + 4, interpolate);
    eightBit = other.eightBit;
    return *this;
}

CRotateScale::~CRotateScale()
{
    std::free(cubic);
    delete dstTile;
    delete srcTile;
}

void CRotateScale::Settings(int newWidth, int newHeight, double newAngle, bool newFlag)
{
    scaledWidth = newWidth;
    scaledHeight = newHeight;
    angle = newAngle;
    flag = newFlag;
}

void CRotateScale::CalculateSize(CSize& outSize)
{
    const double w = scaledWidth, h = scaledHeight;
    const double cx = (0 + w) * 0.5, cy = (0 + h) * 0.5;
    const DPOINT corners[4] = {Turn(0, 0, angle, cx, cy), Turn(w, 0, angle, cx, cy), Turn(0, h, angle, cx, cy),
                               Turn(w, h, angle, cx, cy)};
    double minX = corners[0].x, maxX = corners[0].x, minY = corners[0].y, maxY = corners[0].y;
    for (DPOINT const& p : corners) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    outSize.cx = static_cast<int>(std::ceil(maxX)) - static_cast<int>(std::floor(minX));
    outSize.cy = static_cast<int>(std::ceil(maxY)) - static_cast<int>(std::floor(minY));
}

CImage* CRotateScale::Transform(int newWidth, int newHeight, double newAngle, DPOINT* centre, bool newFlag,
                                bool useColor, CColor* color)
{
    // Refused: an empty size, a source without 8- or 16-bit planes (the channels
    // modes among them), or a missing cubic table.
    if (newWidth < 1 || newHeight < 1 || !cubic || dstTile->planes < 1 || (dstTile->bits != 8 && dstTile->bits != 16))
        return nullptr;
    if (!std::isfinite(newAngle) || (centre && (!std::isfinite(centre->x) || !std::isfinite(centre->y))))
        return nullptr;
    if (useColor && !color)
        useColor = false;

    const double cx = centre ? centre->x : 0.0, cy = centre ? centre->y : 0.0;
    const double twoPi = kPi + kPi;
    // Whole turns come off one at a time, as the angle is defined; an angle of more
    // than a million radians is first brought near the circle with fmod, so that the
    // loops stay short.
    if (std::fabs(newAngle) > 1e6)
        newAngle = std::fmod(newAngle, twoPi);
    while (newAngle < 0)
        newAngle += twoPi;
    while (newAngle >= twoPi)
        newAngle -= twoPi;
    angle = newAngle;
    scaledWidth = newWidth;
    scaledHeight = newHeight;
    flag = newFlag;

    const double w = newWidth, h = newHeight;
    const DPOINT corners[4] = {Turn(0, 0, angle, cx, cy), Turn(w, 0, angle, cx, cy), Turn(0, h, angle, cx, cy),
                               Turn(w, h, angle, cx, cy)};
    double minX = corners[0].x, maxX = corners[0].x, minY = corners[0].y, maxY = corners[0].y;
    for (DPOINT const& p : corners) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    // Coordinates beyond what an int holds cannot be a result size.
    const double limit = 1073741824.0;
    if (!(minX > -limit && maxX < limit && minY > -limit && maxY < limit))
        return nullptr;
    const int W = static_cast<int>(std::ceil(maxX)) - static_cast<int>(std::floor(minX));
    const int H = static_cast<int>(std::ceil(maxY)) - static_cast<int>(std::floor(minY));

    CImage* result = nullptr;
    try {
        result = new CImage(source->GetMode(), W, H, 96.0);
    } catch (std::bad_alloc const&) {
        return nullptr;
    }
    const IMAGE_MODE mode = source->GetMode();
    if (mode == IM_INDEXED || mode == (IM_INDEXED | IM_ALPHA)) {
        CLut lut(source->GetLut());
        result->SetLut(lut);
    }

    const double sx = static_cast<double>(source->Width()) / newWidth;
    const double sy = static_cast<double>(source->Height()) / newHeight;
    origin = Turn(std::floor(minX), std::floor(minY), -angle, cx, cy);
    origin.x *= sx;
    origin.y *= sy;
    colStep = Turn(1, 0, -angle, 0, 0);
    rowStep = Turn(0, 1, -angle, 0, 0);
    colStep.x *= sx;
    rowStep.x *= sx;
    colStep.y *= sy;
    rowStep.y *= sy;
    colStepX = static_cast<int>(colStep.x * 65536);
    colStepY = static_cast<int>(colStep.y * 65536);
    rowStepX = static_cast<int>(rowStep.x * 65536);
    rowStepY = static_cast<int>(rowStep.y * 65536);

    const int aw = std::min(W, 256), ah = std::min(H, 256);
    const double DX = aw * colStep.x + ah * rowStep.x;
    const double DY = aw * colStep.y + ah * rowStep.y;
    const double AX = ah * rowStep.x - aw * colStep.x;
    const double AY = ah * rowStep.y - aw * colStep.y;
    const double D = std::max(std::max(std::fabs(DX), std::fabs(DY)), std::max(std::fabs(AX), std::fabs(AY)));
    const double f = D * 0.004081632653061225;
    tileWidth = TileExtent(aw, f);
    tileHeight = TileExtent(ah, f);

    TileImage(result, useColor, color);
    return result;
}

void CRotateScale::TileImage(CImage* result, bool useColor, CColor* color)
{
    if (useColor)
        source->SetMaskColor(*color);
    const maskMethod method = useColor ? MM_MASK_COLOR : MM_ZERO;
    ScaleKernels const* kernels = ActiveKernels();
    const int width = result->Width(), height = result->Height();
    for (int y = 0; y < height; y += tileHeight) {
        for (int x = 0; x < width; x += tileWidth) {
            CRect tile;
            SetRect(tile, x, y, std::min(x + tileWidth, width), std::min(y + tileHeight, height));
            auto at = [this](int X, int Y) {
                DPOINT p;
                p.x = origin.x + X * colStep.x + Y * rowStep.x;
                p.y = origin.y + X * colStep.y + Y * rowStep.y;
                return p;
            };
            const DPOINT c[4] = {at(tile.left, tile.top), at(tile.right - 1, tile.top), at(tile.left, tile.bottom - 1),
                                 at(tile.right - 1, tile.bottom - 1)};
            double minX = c[0].x, maxX = c[0].x, minY = c[0].y, maxY = c[0].y;
            for (DPOINT const& p : c) {
                minX = std::min(minX, p.x);
                maxX = std::max(maxX, p.x);
                minY = std::min(minY, p.y);
                maxY = std::max(maxY, p.y);
            }
            const int x0 = static_cast<int>(std::floor(minX)) - 2;
            const int y0 = static_cast<int>(std::floor(minY)) - 2;
            srcTile->width = static_cast<int>(std::ceil(maxX)) + 2 - x0;
            srcTile->height = static_cast<int>(std::ceil(maxY)) + 2 - y0;
            // The tile size keeps every region within the 256 x 256 map (at most 251
            // pixels per axis); the guard keeps GetBuf inside the map regardless.
            srcTile->width = std::min(srcTile->width, 256);
            srcTile->height = std::min(srcTile->height, 256);
            source->GetBuf(x0, y0, *srcTile, method, 1);
            const int sx0 = static_cast<int>(static_cast<long long>(c[0].x * 65536) - static_cast<long long>(x0) * 65536);
            const int sy0 = static_cast<int>(static_cast<long long>(c[0].y * 65536) - static_cast<long long>(y0) * 65536);
            const int count = tile.Width(), rows = tile.Height();
            for (int i = 0; i < dstTile->planes; ++i) {
                PlaneDesc const& d = dstTile->plane[i];
                PlaneDesc const& s = srcTile->plane[i];
                if (interpolate[i]) {
                    if (eightBit && kernels)
                        kernels->rotate8(d.data, d.step, d.rowStride, s.data, s.step, s.rowStride, sx0, sy0, colStepX,
                                         colStepY, rowStepX, rowStepY, cubic, count, rows);
                    else if (eightBit)
                        RotateBicubic<uint8_t, 255>(d.data, d.step, d.rowStride, s.data, s.step, s.rowStride, sx0, sy0,
                                                    colStepX, colStepY, rowStepX, rowStepY, cubic, count, rows);
                    else
                        RotateBicubic<uint16_t, 65535>(d.data, d.step, d.rowStride, s.data, s.step, s.rowStride, sx0,
                                                       sy0, colStepX, colStepY, rowStepX, rowStepY, cubic, count, rows);
                } else if (eightBit) {
                    RotateNearest<uint8_t>(d.data, d.step, d.rowStride, s.data, s.step, s.rowStride, sx0, sy0,
                                           colStepX, colStepY, rowStepX, rowStepY, count, rows);
                } else {
                    RotateNearest<uint16_t>(d.data, d.step, d.rowStride, s.data, s.step, s.rowStride, sx0, sy0,
                                            colStepX, colStepY, rowStepX, rowStepY, count, rows);
                }
            }
            dstTile->width = count;
            dstTile->height = rows;
            result->SetBuf(x, y, *dstTile, MM_CLIP, 1);
        }
    }
}
