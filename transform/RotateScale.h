// CRotateScale: a new image showing a source image scaled to a requested size and
// turned by a requested angle about a centre.
//
// Every result pixel takes its value from the source position that maps onto it
// (inverse mapping), bicubic for colour and alpha planes, nearest sample for palette
// indices. The result is rendered in tiles of at most 256 x 256 pixels through two
// working maps, so the memory of a rotation is those maps plus the result.
#pragma once

#include "image/Image.h"
#include "platform/Export.h"
#include "platform/Geometry.h"

struct CubicTable;

class TESSERA_EXPORT CRotateScale {
public:
    // Binds the object to sourceImage, which must outlive it and keep its mode.
    explicit CRotateScale(CImage& sourceImage);
    CRotateScale(CRotateScale const& other);
    CRotateScale& operator=(CRotateScale const& other);
    virtual ~CRotateScale();

    // Records the values CalculateSize uses; Transform replaces them.
    void Settings(int newWidth, int newHeight, double angle, bool flag);

    // Scales the source to newWidth x newHeight and turns it by angle radians
    // (clockwise on screen, y down) about *centre (null: (0, 0)) in scaled
    // coordinates. With useColor and a colour, the corners outside the turned picture
    // take that colour (it also becomes the source's mask colour); otherwise 0.
    // Returns a new image the caller deletes, or null when newWidth or newHeight is
    // below 1, the source has no 8- or 16-bit planes (channels modes included), the
    // tables could not be built or the result cannot be allocated. flag is recorded
    // only.
    CImage* Transform(int newWidth, int newHeight, double angle, DPOINT* centre, bool flag, bool useColor,
                      CColor* color);

private:
    friend class TransformTestAccess;

    void CalculateSize(CSize& outSize);
    void TileImage(CImage* result, bool useColor, CColor* color);

    CImage* source;
    CPixMap* dstTile;
    CPixMap* srcTile;
    int scaledWidth;
    int scaledHeight;
    int tileWidth;
    int tileHeight;
    double angle; // radians, kept in [0, 2 pi) by Transform
    bool flag;
    DPOINT origin;  // source position of result pixel (0, 0), in source pixels
    DPOINT colStep; // source displacement for one result column
    DPOINT rowStep; // source displacement for one result row
    int colStepX;   // fix16 forms of colStep and rowStep, truncated
    int colStepY;
    int rowStepX;
    int rowStepY;
    bool interpolate[4];
    bool eightBit;
    CubicTable* cubic;
};
