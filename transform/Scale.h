// CScale: resizes an image tile by tile from a source size to a destination size.
//
// For each destination tile the host calls GetSrcRect, fills a source map with the
// pixels of the rectangle it returns (pixels outside the source image are the host's
// to supply), then calls Transform. Resampling is separable (a horizontal pass into a
// strip, then a vertical pass); per axis: a copy when the extent is kept, 4-tap cubic
// interpolation when it grows, a cubic stretched over the reduction factor when it
// shrinks, or the nearest sample when smoothing is off. Positions are 16.16 fixed
// point and weights carry 12 fraction bits.
#pragma once

#include "image/PixMap.h"
#include "platform/Export.h"
#include "platform/Geometry.h"

struct CubicTable;
struct ScaleBanks;

// The reduction filter of one axis (scale s > 1): `taps` weights per phase, the
// first lying `offset[phase]` samples before the integer source position.
struct FilterTable {
    unsigned taps;
    int offset[256];
    void* weights[256]; // malloc blocks of the untrimmed tap count as ints; null when unused
};

class TESSERA_EXPORT CScale {
public:
    enum { AXIS_SAME = 0, AXIS_ENLARGE = 1, AXIS_REDUCE = 2 };

    // dst and src are the destination and source image sizes.
    CScale(CSize dst, CSize src, bool smooth);
    CScale(CScale const& other);
    CScale& operator=(CScale const& other);
    virtual ~CScale();

    // The source rectangle (filter margins included) that destination tile dst needs;
    // both are kept for the next Transform.
    void GetSrcRect(CRect dst, CRect& src);

    // Fills dst (the tile of the last GetSrcRect) from src (the pixels of the returned
    // source rectangle; column 0, row 0 is its top-left). Returns false, writing
    // nothing, when the tables could not be built, when the maps are smaller than the
    // rectangles or of unequal depth, or for samples other than 8 or 16 bits.
    bool Transform(CPixMap& dst, CPixMap& src);

private:
    friend class TransformTestAccess;

    void ScaleTile(unsigned char* dst, int dstStep, int dstRowStride, unsigned char* src, int srcStep,
                   int srcRowStride, int bits, bool smooth);
    bool BuildTables();
    void FreeTables();
    bool CopyTables(CScale const& other);

    CRect dstRect;
    CRect srcRect;
    int modeX;
    int modeY;
    double scaleX;
    double scaleY;
    int stepX; // fix16 source advance per destination sample
    int stepY;
    bool smooth;
    FilterTable filterX;
    FilterTable filterY;
    CubicTable* cubic;
    // Weights laid out for the vector kernels, derived from the tables above.
    ScaleBanks* banks;
    bool tablesOk;
};
