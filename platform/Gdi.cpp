// SetDIBitsToDevice and the memory device context.
//
// Source rows are addressed by their index from the top of the bitmap (t). A
// bottom-up bitmap (positive biHeight) stores scan line s (s = 0 the bottom row, t =
// H - 1 - s) at bits + (s - startScan) * stride; a top-down one stores row t at
// bits + (t - startScan) * stride. The source rectangle of a bottom-up bitmap has its
// lower-left corner at scan line ySrc, so destination row j shows scan line
// ySrc + height - 1 - j; that of a top-down bitmap starts at row ySrc from the top,
// and destination row j shows row ySrc + j. Rows outside the bitmap, outside the
// band of scan lines given or outside the device are not drawn.
#include "platform/Gdi.h"

#include <algorithm>
#include <cstring>

namespace {

struct DibLayout {
    long long width;  // pixels per row
    long long height; // rows
    bool topDown;
    int bitCount;
    long long stride; // bytes per row, a multiple of 4
    std::uint32_t palette[256];
};

bool ReadLayout(BITMAPINFO const& info, DibLayout& dib)
{
    BITMAPINFOHEADER const& h = info.bmiHeader;
    if (h.biSize != sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || h.biCompression != BI_RGB || h.biWidth <= 0 ||
        h.biHeight == 0)
        return false;
    if (h.biBitCount != 8 && h.biBitCount != 24 && h.biBitCount != 32)
        return false;
    dib.width = h.biWidth;
    dib.topDown = h.biHeight < 0;
    dib.height = dib.topDown ? -static_cast<long long>(h.biHeight) : h.biHeight;
    dib.bitCount = h.biBitCount;
    dib.stride = (dib.width * dib.bitCount + 31) / 32 * 4;
    if (dib.bitCount == 8) {
        // Indices at or beyond the table's size draw black.
        unsigned entries = h.biClrUsed == 0 || h.biClrUsed > 256 ? 256 : h.biClrUsed;
        for (unsigned i = 0; i < 256; ++i) {
            RGBQUAD const& q = info.bmiColors[i];
            dib.palette[i] = i < entries ? (std::uint32_t(q.rgbRed) << 16 | std::uint32_t(q.rgbGreen) << 8 | q.rgbBlue)
                                         : 0;
        }
    }
    return true;
}

void DecodeRow(DibLayout const& dib, const unsigned char* row, long long firstColumn, int count, std::uint32_t* out)
{
    switch (dib.bitCount) {
    case 8:
        row += firstColumn;
        for (int i = 0; i < count; ++i)
            out[i] = dib.palette[row[i]];
        break;
    case 24:
        row += firstColumn * 3;
        for (int i = 0; i < count; ++i, row += 3)
            out[i] = std::uint32_t(row[2]) << 16 | std::uint32_t(row[1]) << 8 | row[0];
        break;
    default: // 32
        row += firstColumn * 4;
        for (int i = 0; i < count; ++i, row += 4)
            out[i] = std::uint32_t(row[2]) << 16 | std::uint32_t(row[1]) << 8 | row[0];
        break;
    }
}

} // namespace

HDC__::~HDC__() = default;

int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc, UINT startScan,
                      UINT scanLines, const void* bits, const BITMAPINFO* info, UINT colorUse)
{
    if (!hdc)
        return 0;
    return hdc->SetDIBitsToDevice(xDest, yDest, width, height, xSrc, ySrc, startScan, scanLines, bits, info,
                                  colorUse);
}

int HDC__::SetDIBitsToDevice(int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc, UINT startScan,
                             UINT scanLines, const void* bits, const BITMAPINFO* info, UINT colorUse)
{
    if (!bits || !info || colorUse != DIB_RGB_COLORS || scanLines == 0)
        return 0;
    DibLayout dib;
    if (!ReadLayout(*info, dib))
        return 0;

    // Rows of the bitmap (index from the top) that the band of scan lines holds.
    const long long bandLo = startScan, bandHi = static_cast<long long>(startScan) + scanLines;
    long long tLo, tHi; // from the top
    if (dib.topDown) {
        tLo = std::max(0LL, bandLo);
        tHi = std::min(dib.height, bandHi);
    } else {
        tLo = dib.height - std::min(dib.height, bandHi);
        tHi = dib.height - std::max(0LL, bandLo);
    }
    // Destination row j shows row t(j) = top-down: ySrc + j; bottom-up: H - 1 - (ySrc + height - 1 - j).
    const long long tAtRow0 = dib.topDown ? ySrc : dib.height - static_cast<long long>(ySrc) - height;
    long long jLo = std::max({0LL, tLo - tAtRow0, -static_cast<long long>(yDest)});
    long long jHi = std::min({static_cast<long long>(height), tHi - tAtRow0,
                              static_cast<long long>(Height()) - yDest});
    long long iLo = std::max({0LL, -static_cast<long long>(xSrc), -static_cast<long long>(xDest)});
    long long iHi = std::min({static_cast<long long>(width), dib.width - xSrc, static_cast<long long>(Width()) - xDest});
    if (jLo >= jHi || iLo >= iHi)
        return static_cast<int>(scanLines);

    const int columns = static_cast<int>(iHi - iLo);
    const long long chunkRows = std::max(1LL, std::min(jHi - jLo, (1LL << 20) / columns));
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(chunkRows * columns));
    const unsigned char* base = static_cast<const unsigned char*>(bits);
    for (long long j0 = jLo; j0 < jHi; j0 += chunkRows) {
        int rows = static_cast<int>(std::min(chunkRows, jHi - j0));
        for (int r = 0; r < rows; ++r) {
            long long t = tAtRow0 + j0 + r;
            long long stored = dib.topDown ? t - bandLo : (dib.height - 1 - t) - bandLo;
            DecodeRow(dib, base + stored * dib.stride, xSrc + iLo, columns,
                      pixels.data() + static_cast<std::size_t>(r) * columns);
        }
        PutPixels(static_cast<int>(xDest + iLo), static_cast<int>(yDest + j0), columns, rows, pixels.data(), columns);
    }
    return static_cast<int>(scanLines);
}

CMemoryDC::CMemoryDC(int width, int height, std::uint32_t fill)
    : width_(std::max(0, width)), height_(std::max(0, height)),
      pixels_(static_cast<std::size_t>(width_) * height_, fill)
{
}

void CMemoryDC::PutPixels(int x, int y, int width, int height, const std::uint32_t* pixels, int pitch)
{
    for (int r = 0; r < height; ++r)
        std::memcpy(pixels_.data() + static_cast<std::size_t>(y + r) * width_ + x,
                    pixels + static_cast<std::size_t>(r) * pitch, static_cast<std::size_t>(width) * 4);
}

void CMemoryDC::Fill(std::uint32_t color)
{
    std::fill(pixels_.begin(), pixels_.end(), color);
}
