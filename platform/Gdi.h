// The Win32 drawing pieces the toolkit uses: device contexts (HDC, and the class
// library's CDC around one), the device-independent bitmap description BITMAPINFO,
// and SetDIBitsToDevice.
//
// A device context here is an object of a class derived from HDC__: a surface of
// Width() x Height() pixels that takes rectangles of 32-bit pixels 0x00RRGGBB. Two
// come with the platform: CMemoryDC, a pixel surface in memory, and (in the tool) a
// window on an X11 display. SetDIBitsToDevice decodes the bitmap, clips the drawn
// rectangle to the bitmap and to the surface, and hands the result to the device.
#pragma once

#include "platform/Export.h"
#include "platform/WinTypes.h"

#include <cstdint>
#include <vector>

#pragma pack(push, 1)
// One colour table entry, in the bitmap's byte order.
struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

// The 40-byte header of a device-independent bitmap.
struct BITMAPINFOHEADER {
    DWORD biSize;          // 40
    LONG biWidth;          // pixels per row
    LONG biHeight;         // rows; negative: rows stored top row first
    WORD biPlanes;         // 1
    WORD biBitCount;       // 8 (colour table indices), 24 (blue, green, red) or 32 (blue, green, red, unused)
    DWORD biCompression;   // BI_RGB: uncompressed
    DWORD biSizeImage;     // bytes of pixel data (not needed for BI_RGB)
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;       // colour table entries; 0 means all 2^biBitCount for 8 bits
    DWORD biClrImportant;
};
#pragma pack(pop)

static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");

// The header and its colour table. Win32 declares one entry and lets callers allocate
// more; here the table has room for the 256 entries of an 8-bit bitmap.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
};

enum { BI_RGB = 0 };
enum { DIB_RGB_COLORS = 0, DIB_PAL_COLORS = 1 };

// A device context: a surface that pixels are drawn onto.
struct TESSERA_EXPORT HDC__ {
    virtual ~HDC__();

    // The surface's size in pixels: drawing is clipped to (0, 0, Width(), Height()).
    virtual int Width() const = 0;
    virtual int Height() const = 0;

    // Stores a rectangle of 0x00RRGGBB pixels with its top-left corner at (x, y);
    // row r starts at pixels + r * pitch. The rectangle lies within the surface.
    virtual void PutPixels(int x, int y, int width, int height, const std::uint32_t* pixels, int pitch) = 0;

    // SetDIBitsToDevice for this device (same arguments and result). The default
    // decodes, clips and calls PutPixels; a device may override it to observe calls.
    virtual int SetDIBitsToDevice(int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc,
                                  UINT startScan, UINT scanLines, const void* bits, const BITMAPINFO* info,
                                  UINT colorUse);
};
typedef HDC__* HDC;

// Draws the rectangle of a device-independent bitmap whose lower-left corner is
// (xSrc, ySrc) in bitmap coordinates (row 0 the bottom row, as in Win32) and whose
// size is width x height, with its top-left corner at (xDest, yDest) on the device.
// `bits` holds scan lines startScan to startScan + scanLines - 1 (counted from the
// bottom row); rows are padded to a multiple of 4 bytes. Supported: uncompressed 8-bit
// bitmaps with a colour table of RGB values (biClrUsed entries, 256 when 0; indices
// beyond the table draw black), 24-bit and 32-bit bitmaps, bottom-up or top-down.
// Returns the number of scan lines given, or 0 (nothing drawn) for a null device,
// bits or description, a header it cannot read or DIB_PAL_COLORS.
TESSERA_EXPORT int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc,
                                     UINT startScan, UINT scanLines, const void* bits, const BITMAPINFO* info,
                                     UINT colorUse);

// A device context in memory: a width x height surface of 0x00RRGGBB pixels, rows
// top to bottom, filled with one colour at creation.
class TESSERA_EXPORT CMemoryDC : public HDC__ {
public:
    CMemoryDC(int width, int height, std::uint32_t fill = 0);

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void PutPixels(int x, int y, int width, int height, const std::uint32_t* pixels, int pitch) override;

    std::uint32_t Pixel(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }
    const std::uint32_t* Row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    void Fill(std::uint32_t color);

private:
    int width_;
    int height_;
    std::vector<std::uint32_t> pixels_;
};

// The class library's device context object: a wrapper around the handle.
class TESSERA_EXPORT CDC {
public:
    CDC() = default;
    explicit CDC(HDC hdc) : m_hDC(hdc), m_hAttribDC(hdc) {}
    virtual ~CDC() = default;
    CDC(CDC const&) = delete;
    CDC& operator=(CDC const&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }
    BOOL Attach(HDC hdc)
    {
        if (!hdc || m_hDC)
            return FALSE;
        m_hDC = m_hAttribDC = hdc;
        return TRUE;
    }
    HDC Detach()
    {
        HDC old = m_hDC;
        m_hDC = m_hAttribDC = nullptr;
        return old;
    }

    HDC m_hDC = nullptr;       // where output goes
    HDC m_hAttribDC = nullptr; // where attributes are read (the same device here)
};
