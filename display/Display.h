// CDisplay: draws a pixel buffer prepared in memory onto a device context, with one
// SetDIBitsToDevice call describing the buffer as a top-down uncompressed bitmap.
//
// Buffer layout: rows top row first, each row padded to a multiple of 4 bytes;
//   IM_GRAY     1 byte per pixel, grey value     row stride (bufferWidth + 3) & ~3
//   IM_INDEXED  1 byte per pixel, index into lut row stride (bufferWidth + 3) & ~3
//   IM_RGB      3 bytes per pixel: blue, green, red   row stride (3 * bufferWidth + 3) & ~3
// Other modes (IM_ALPHA included) are not drawn.
#pragma once

#include "image/Image.h"
#include "platform/Export.h"
#include "platform/Gdi.h"

class TESSERA_EXPORT CDisplay {
public:
    CDisplay() {}
    CDisplay(CDisplay const&) {}
    CDisplay& operator=(CDisplay const&) { return *this; }
    virtual ~CDisplay();

    // Draws the left `width` pixels of `rows` buffer rows with the top-left corner at
    // (xDest, yDest). The two ignored arguments are accepted for the host's calls.
    // `lut` gives the colours of IM_INDEXED (a grey ramp when null) and is not used
    // by the other modes. The buffer must hold rows * stride bytes.
    void BltBuf(HDC__* hdc, int xDest, int yDest, int width, int rows, unsigned char* data, int ignored1,
                int ignored2, int bufferWidth, IMAGE_MODE mode, CLut* lut);
    // The same on the device context's output handle (m_hDC).
    void BltBuf(CDC* dc, int xDest, int yDest, int width, int rows, unsigned char* data, int ignored1, int ignored2,
                int bufferWidth, IMAGE_MODE mode, CLut* lut);
};
