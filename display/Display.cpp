#include "display/Display.h"

#include <cstring>

CDisplay::~CDisplay() = default;

namespace {

void FillGreyRamp(RGBQUAD* table)
{
    for (int i = 0; i < 256; ++i)
        table[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
}

} // namespace

void CDisplay::BltBuf(HDC__* hdc, int xDest, int yDest, int width, int rows, unsigned char* data, int, int,
                      int bufferWidth, IMAGE_MODE mode, CLut* lut)
{
    // A negative row count would turn the bitmap bottom-up and make the platform read
    // rows the caller never supplied; nothing to draw is nothing drawn.
    if (rows < 1 || width < 1 || bufferWidth < 1)
        return;

    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    BITMAPINFOHEADER& h = info.bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = bufferWidth;
    h.biHeight = -rows; // top row first
    h.biPlanes = 1;
    h.biBitCount = mode == IM_RGB ? 24 : 8;
    h.biCompression = BI_RGB;

    long long stride; // bytes per buffer row
    switch (mode) {
    case IM_GRAY:
        FillGreyRamp(info.bmiColors);
        stride = (static_cast<long long>(bufferWidth) + 3) & ~3LL;
        break;
    case IM_INDEXED:
        if (lut) {
            // Every entry is copied, whatever the table's colour count. The lookups go
            // through the table's indexing operator, which leaves its colour count at 256.
            for (unsigned i = 0; i < 256; ++i) {
                LutColor const& c = (*lut)[i];
                info.bmiColors[i] = RGBQUAD{c.blue, c.green, c.red, 0};
            }
        } else {
            FillGreyRamp(info.bmiColors);
        }
        stride = (static_cast<long long>(bufferWidth) + 3) & ~3LL;
        break;
    case IM_RGB:
        stride = (3LL * bufferWidth + 3) & ~3LL;
        break;
    default:
        return; // no bitmap form for this mode
    }
    h.biSizeImage = static_cast<DWORD>(stride * rows);

    SetDIBitsToDevice(hdc, xDest, yDest, static_cast<DWORD>(width), static_cast<DWORD>(rows), 0, 0, 0,
                      static_cast<UINT>(rows), data, &info, DIB_RGB_COLORS);
}

void CDisplay::BltBuf(CDC* dc, int xDest, int yDest, int width, int rows, unsigned char* data, int ignored1,
                      int ignored2, int bufferWidth, IMAGE_MODE mode, CLut* lut)
{
    BltBuf(dc ? dc->m_hDC : nullptr, xDest, yDest, width, rows, data, ignored1, ignored2, bufferWidth, mode, lut);
}
