// The image model: CImage, its colour table CLut, the colour value CColor and DPOINT.
//
// A CImage owns one block of pixel memory, stored interleaved and top-down: each row
// holds width pixels of `planes` samples (alpha first when IM_ALPHA is set; 16-bit
// samples low byte first), rows packed without padding. Pixel access goes through
// GetBuf and SetBuf; converters that stream whole rows may use StoreRow.
#pragma once

#include "image/Mode.h"
#include "image/PixMap.h"
#include "platform/Export.h"

#include <cstddef>

// One colour table entry.
struct LutColor {
    unsigned char red;
    unsigned char green;
    unsigned char blue;
};

class TESSERA_EXPORT CLut {
public:
    CLut() : colorCount(0)
    {
        for (LutColor& c : entries)
            c = LutColor{0, 0, 0};
    }
    CLut(CLut const& other);
    CLut& operator=(CLut const& other);

    // Entry index (0 to 255; higher indices wrap). The non-constant form raises
    // colorCount to at least index + 1, so a table filled entry by entry counts itself.
    LutColor& operator[](unsigned index);
    LutColor const& operator[](unsigned index) const;

    int GetColors() const { return colorCount; }
    void SetColors(int count) { colorCount = count < 0 ? 0 : count > 256 ? 256 : count; }

private:
    LutColor entries[256];
    int colorCount;
};

// Named colours. CN_BLACK (1) is the default colour.
enum colorName {
    CN_TRANSPARENT = 0, // every component 0, mode IM_RGB | IM_ALPHA
    CN_BLACK = 1,
    CN_WHITE = 2,
    CN_RED = 3,
    CN_GREEN = 4,
    CN_BLUE = 5,
    CN_GRAY = 6,
};

// A colour: a mode telling how to read the components, and eight component bytes
// (enough for four 16-bit samples, low byte first). Named colours are IM_RGB,
// components red, green, blue.
class TESSERA_EXPORT CColor {
public:
    CColor() : CColor(CN_BLACK) {}
    CColor(colorName name);
    CColor(CColor const& other);
    CColor& operator=(CColor const& other);
    // A colour of the given mode with up to eight component bytes.
    CColor(IMAGE_MODE mode, const unsigned char* components, int count);

    IMAGE_MODE GetMode() const { return mode; }
    unsigned char* GetColor() { return color; }
    const unsigned char* GetColor() const { return color; }

private:
    IMAGE_MODE mode;
    unsigned char color[8];
};

struct DPOINT {
    double x;
    double y;
};

// What GetBuf writes for the part of a rectangle outside the image. SetBuf always
// writes only the part inside the image.
enum maskMethod {
    MM_CLIP = 0,       // leaves those samples untouched
    MM_MASK_COLOR = 1, // fills them with the image's mask colour, component k in plane k
    MM_ZERO = 3,       // fills them with 0
};

class TESSERA_EXPORT CImage {
public:
    // Allocates width x height pixels of every plane of mode (zeroed). A width or
    // height below 1, or a mode without planes, gives an image without pixels.
    // Throws std::bad_alloc when the store cannot be allocated.
    CImage(IMAGE_MODE mode, int width, int height, double dpi);
    ~CImage()
    {
        if (storeOwned)
            FreeStore();
    }
    CImage(CImage const&) = delete;
    CImage& operator=(CImage const&) = delete;

    // Copies the rectangle (x, y, map.width, map.height) into the map's planes.
    // The map has the image's mode and plane count.
    void GetBuf(int x, int y, CPixMap& map, maskMethod method, int flag);
    // Copies the map's planes into the rectangle (x, y, map.width, map.height),
    // clipped to the image.
    void SetBuf(int x, int y, CPixMap& map, maskMethod method, int flag);

    IMAGE_MODE GetMode() const { return mode; }
    bool HasAlpha() const { return mode < 0; }
    int GetPlanes() const { return planes; }
    int GetBitsPerPlane() const { return ModeBitsPerSample(mode); }
    int Width() const { return width; }
    int Height() const { return height; }
    double GetDpi() const { return dpi; }
    void SetDpi(double value) { dpi = value; }
    CLut GetLut() const { return lut; }
    void SetLut(CLut const& table) { lut = table; }
    CColor GetMaskColor() const { return maskColor; }
    void SetMaskColor(CColor const& color) { maskColor = color; }

    // Bytes of one row of the store: width * planes * bytes per sample.
    size_t StoreRowBytes() const;
    // Row y of the store (0 <= y < Height()): StoreRowBytes() bytes in the layout
    // described above. nullptr for an image without pixels.
    unsigned char* StoreRow(int y) { return store ? store + static_cast<size_t>(y) * StoreRowBytes() : nullptr; }
    const unsigned char* StoreRow(int y) const
    {
        return store ? store + static_cast<size_t>(y) * StoreRowBytes() : nullptr;
    }

private:
    void FreeStore();

    IMAGE_MODE mode;
    int width;
    int height;
    int planes;
    double dpi;
    bool storeOwned;
    bool storeMapped; // mapped on its own (large stores), else from calloc
    unsigned char* store;
    CLut lut;
    CColor maskColor;
};
