// CScale: separable tile resampling in 16.16 fixed point.
//
// A tile is scaled plane by plane: the horizontal pass turns the source rows into a
// strip of dstW x srcH samples, the vertical pass turns the strip's columns into the
// destination tile. Along a line the source position starts at p0 and advances by
// the axis step; its integer part (arithmetic shift: floor) picks the sample and the
// top 8 bits of its fraction pick the phase of the weight tables.
//
// Two paths give the same bytes: the reference routines below, which follow the
// arithmetic literally, and the bank kernels of scale_kernels*.cpp (vector code).
#include "transform/Scale.h"

#include "image/Planes.h"
#include "transform/Cubic.h"
#include "transform/scale_kernels.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace transform_internal;

// Weights of both axes laid out for the vector kernels.
struct ScaleBanks {
    bool packed = false; // the filter tables are in the packed form
    bool haveX = false;
    bool haveY = false;
    WeightBank x{};
    WeightBank y{};
};

namespace {

int AxisMode(int srcExtent, int dstExtent)
{
    if (srcExtent < dstExtent)
        return CScale::AXIS_ENLARGE;
    if (srcExtent > dstExtent)
        return CScale::AXIS_REDUCE;
    return CScale::AXIS_SAME;
}

inline int Load(const unsigned char* p, int bits)
{
    if (bits == 8)
        return *p;
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline void Store(unsigned char* p, int bits, int v)
{
    if (bits == 8) {
        *p = static_cast<unsigned char>(v);
    } else {
        const uint16_t s = static_cast<uint16_t>(v);
        std::memcpy(p, &s, 2);
    }
}

inline int Clamp(int v, int max)
{
    return v < 0 ? 0 : v > max ? max : v;
}

// One line of a pass, described in bytes: `along` between the samples of a line,
// `across` between lines.
struct Lines {
    unsigned char* data;
    long along;
    long across;
};

// The reference one-dimensional routines: `count` outputs on each of `lines` lines;
// the position restarts at p0 (fix16, from the line's first sample) on every line.
void ScaleNearest(Lines dst, Lines src, int bits, int lines, int count, long long p0, int step)
{
    for (int l = 0; l < lines; ++l) {
        const unsigned char* s = src.data + l * src.across;
        unsigned char* d = dst.data + l * dst.across;
        long long pos = p0 + 32768;
        for (int k = 0; k < count; ++k, pos += step, d += dst.along)
            Store(d, bits, Load(s + (pos >> 16) * src.along, bits));
    }
}

void ScaleCubic(Lines dst, Lines src, int bits, int lines, int count, long long p0, int step, CubicTable const& cubic)
{
    const int max = bits == 8 ? 255 : 65535;
    for (int l = 0; l < lines; ++l) {
        const unsigned char* s = src.data + l * src.across;
        unsigned char* d = dst.data + l * dst.across;
        long long pos = p0;
        for (int k = 0; k < count; ++k, pos += step, d += dst.along) {
            const long long n = pos >> 16;
            const int phase = static_cast<int>((pos & 0xFFFF) >> 8);
            const unsigned char* c = s + n * src.along;
            if (phase == 0) {
                Store(d, bits, Load(c, bits));
                continue;
            }
            CubicEntry const& w = cubic.entry[phase];
            const int v = (Load(c - src.along, bits) * w.w0 + Load(c, bits) * w.w1 + Load(c + src.along, bits) * w.w2 +
                           Load(c + 2 * src.along, bits) * w.w3) >>
                          12;
            Store(d, bits, Clamp(v, max));
        }
    }
}

void ScaleFilter(Lines dst, Lines src, int bits, int lines, int count, long long p0, int step,
                 FilterTable const& table, bool packed)
{
    const int max = bits == 8 ? 255 : 65535;
    for (int l = 0; l < lines; ++l) {
        const unsigned char* s = src.data + l * src.across;
        unsigned char* d = dst.data + l * dst.across;
        long long pos = p0;
        for (int k = 0; k < count; ++k, pos += step, d += dst.along) {
            const int phase = static_cast<int>((pos & 0xFFFF) >> 8);
            const long long first = (pos >> 16) - table.offset[phase];
            // Taps whose weight is 0 add nothing and are not read: the packed form pads
            // its taps to a multiple of 4 beyond the margin GetSrcRect leaves, so the
            // padding would read past the source rectangle (fixture:
            // tests/data/regress/transform-packed-filter-margin).
            unsigned lo = 0, hi = table.taps;
            while (lo < hi && FilterWeight(table, packed, phase, lo) == 0)
                ++lo;
            while (hi > lo && FilterWeight(table, packed, phase, hi - 1) == 0)
                --hi;
            const unsigned char* c = s + (first + lo) * src.along;
            int sum = 0;
            for (unsigned j = lo; j < hi; ++j, c += src.along)
                sum += Load(c, bits) * FilterWeight(table, packed, phase, j);
            Store(d, bits, Clamp((sum + 2048) >> 12, max));
        }
    }
}

// Positions of one pass for the bank kernels: first tap and phase per output.
void PlanPass(WeightBank const& bank, int count, long long p0, int step, std::vector<int32_t>& first,
              std::vector<uint8_t>& phase)
{
    first.resize(count);
    phase.resize(count);
    long long pos = p0;
    for (int k = 0; k < count; ++k, pos += step) {
        const int p = static_cast<int>((pos & 0xFFFF) >> 8);
        phase[k] = static_cast<uint8_t>(p);
        first[k] = static_cast<int32_t>((pos >> 16) - bank.offset[p]);
    }
}

} // namespace

CScale::CScale(CSize dst, CSize src, bool smoothing)
    : dstRect(), srcRect(), modeX(AXIS_SAME), modeY(AXIS_SAME), scaleX(1.0), scaleY(1.0), stepX(65536),
      stepY(65536), smooth(smoothing), filterX(), filterY(), cubic(nullptr), banks(nullptr), tablesOk(false)
{
    // Sizes below 1 or a step beyond 16.16 range cannot be scaled: the object keeps no
    // tables and Transform refuses.
    if (dst.cx < 1 || dst.cy < 1 || src.cx < 1 || src.cy < 1)
        return;
    modeX = AxisMode(src.cx, dst.cx);
    modeY = AxisMode(src.cy, dst.cy);
    scaleX = static_cast<double>(src.cx) / dst.cx;
    scaleY = static_cast<double>(src.cy) / dst.cy;
    if (scaleX * 65536 >= 2147483647.0 || scaleY * 65536 >= 2147483647.0)
        return;
    stepX = static_cast<int>(scaleX * 65536);
    stepY = static_cast<int>(scaleY * 65536);
    tablesOk = BuildTables();
}

bool CScale::BuildTables()
{
    if (modeX == AXIS_ENLARGE || modeY == AXIS_ENLARGE) {
        cubic = NewCubicTable();
        if (!cubic)
            return false;
    }
    if (modeX == AXIS_REDUCE && !BuildFilterTable(filterX, scaleX))
        return false;
    if (modeY == AXIS_REDUCE && !BuildFilterTable(filterY, scaleY))
        return false;
    banks = new (std::nothrow) ScaleBanks;
    if (!banks)
        return false;
    banks->packed = mmxAvailable;
    auto build = [this](int mode, FilterTable const& table, WeightBank& bank, bool& have) {
        if (mode == AXIS_ENLARGE)
            have = BuildCubicBank(bank, *cubic);
        else if (mode == AXIS_REDUCE)
            have = BuildFilterBank(bank, table, banks->packed);
        else
            return true;
        return have;
    };
    return build(modeX, filterX, banks->x, banks->haveX) && build(modeY, filterY, banks->y, banks->haveY);
}

void CScale::FreeTables()
{
    std::free(cubic);
    cubic = nullptr;
    FreeFilterTable(filterX);
    FreeFilterTable(filterY);
    if (banks) {
        FreeBank(banks->x);
        FreeBank(banks->y);
        delete banks;
        banks = nullptr;
    }
}

bool CScale::CopyTables(CScale const& other)
{
    if (!other.tablesOk)
        return false;
    if (other.cubic) {
        cubic = static_cast<CubicTable*>(std::malloc(sizeof(CubicTable)));
        if (!cubic)
            return false;
        std::memcpy(cubic, other.cubic, sizeof(CubicTable));
    }
    if (!CopyFilterTable(filterX, other.filterX) || !CopyFilterTable(filterY, other.filterY))
        return false;
    banks = new (std::nothrow) ScaleBanks;
    if (!banks)
        return false;
    banks->packed = other.banks->packed;
    if (other.banks->haveX)
        banks->haveX = modeX == AXIS_ENLARGE ? BuildCubicBank(banks->x, *cubic)
                                             : BuildFilterBank(banks->x, filterX, banks->packed);
    if (other.banks->haveY)
        banks->haveY = modeY == AXIS_ENLARGE ? BuildCubicBank(banks->y, *cubic)
                                             : BuildFilterBank(banks->y, filterY, banks->packed);
    return banks->haveX == other.banks->haveX && banks->haveY == other.banks->haveY;
}

CScale::CScale(CScale const& other)
    : dstRect(other.dstRect), srcRect(other.srcRect), modeX(other.modeX), modeY(other.modeY), scaleX(other.scaleX),
      scaleY(other.scaleY), stepX(other.stepX), stepY(other.stepY), smooth(other.smooth), filterX(), filterY(),
      cubic(nullptr), banks(nullptr), tablesOk(false)
{
    tablesOk = CopyTables(other);
}

CScale& CScale::operator=(CScale const& other)
{
    if (this == &other)
        return *this;
    FreeTables();
    dstRect = other.dstRect;
    srcRect = other.srcRect;
    modeX = other.modeX;
    modeY = other.modeY;
    scaleX = other.scaleX;
    scaleY = other.scaleY;
    stepX = other.stepX;
    stepY = other.stepY;
    smooth = other.smooth;
    tablesOk = CopyTables(other);
    return *this;
}

CScale::~CScale()
{
    FreeTables();
}

void CScale::GetSrcRect(CRect dst, CRect& src)
{
    auto span = [](int mode, double scale, FilterTable const& table, int lo, int hi, int& outLo, int& outHi) {
        double a = lo, b = hi;
        if (mode == AXIS_ENLARGE) {
            a = lo * scale - 1;
            b = hi * scale + 2;
        } else if (mode == AXIS_REDUCE) {
            const int margin = static_cast<int>((table.taps + 1) / 2);
            a = lo * scale - margin;
            b = hi * scale + margin;
        }
        outLo = static_cast<int>(std::floor(a));
        outHi = static_cast<int>(std::ceil(b));
    };
    int left, right, top, bottom;
    span(modeX, scaleX, filterX, dst.left, dst.right, left, right);
    span(modeY, scaleY, filterY, dst.top, dst.bottom, top, bottom);
    src = CRect(left, top, right, bottom);
    dstRect = dst;
    srcRect = src;
}

bool CScale::Transform(CPixMap& dst, CPixMap& src)
{
    if (!tablesOk)
        return false;
    if (dst.planes <= 0)
        return true;
    if ((dst.bits != 8 && dst.bits != 16) || src.bits != dst.bits || src.planes < dst.planes)
        return false;
    const int dstW = dstRect.Width(), dstH = dstRect.Height();
    if (dstW <= 0 || dstH <= 0)
        return true;
    // The maps must hold the rectangles: anything smaller would be read or written
    // beyond its rows.
    if (dst.width < dstW || dst.height < dstH || src.width < srcRect.Width() || src.height < srcRect.Height())
        return false;
    const bool indexed = ModeColorModel(dst.mode) == IM_INDEXED && (dst.mode == IM_INDEXED || ModeHasAlpha(dst.mode));
    const int bytes = dst.bits / 8;
    for (int i = 0; i < dst.planes; ++i) {
        auto address = [i, bytes](CPixMap& map, unsigned char*& data, int& step, int& rowStride) {
            PlaneDesc const& d = map.interleaved ? map.plane[0] : map.plane[i];
            data = map.interleaved ? map.plane[0].data + i * bytes : d.data;
            step = d.step;
            rowStride = d.rowStride;
        };
        unsigned char *dd, *sd;
        int ds, drs, ss, srs;
        address(dst, dd, ds, drs);
        address(src, sd, ss, srs);
        if (!dd || !sd)
            return false;
        // The index plane of a palette image is never blended.
        const bool smoothPlane = smooth && !(indexed && i == dst.planes - 1);
        ScaleTile(dd, ds, drs, sd, ss, srs, dst.bits, smoothPlane);
    }
    return true;
}

void CScale::ScaleTile(unsigned char* dst, int dstStep, int dstRowStride, unsigned char* src, int srcStep,
                       int srcRowStride, int bits, bool smoothPlane)
{
    const int dstW = dstRect.Width(), dstH = dstRect.Height();
    const int srcW = srcRect.Width(), srcH = srcRect.Height();
    const int bytes = bits / 8;
    CPixMap strip(bits == 8 ? IM_GRAY : IM_GRAY16, dstW + 2, srcH, false);
    unsigned char* stripData = strip.plane[0].data;
    const int stripRowStride = strip.plane[0].rowStride;

    const long long p0x =
        static_cast<long long>(dstRect.left * scaleX * 65536) - static_cast<long long>(srcRect.left) * 65536;
    const long long p0y =
        static_cast<long long>(dstRect.top * scaleY * 65536) - static_cast<long long>(srcRect.top) * 65536;
    ScaleKernels const* kernels = ActiveKernels();

    // Horizontal pass: srcH source rows -> strip rows of dstW samples.
    {
        const Lines in{src, static_cast<long>(srcStep) * bytes, srcRowStride};
        const Lines out{stripData, bytes, stripRowStride};
        if (modeX == AXIS_SAME) {
            if (bits == 8)
                CopyPlane8(stripData, 1, stripRowStride, src, srcStep, srcRowStride, dstW, srcH);
            else
                CopyPlane16(stripData, 1, stripRowStride, src, srcStep, srcRowStride, dstW, srcH);
        } else if (!smoothPlane) {
            ScaleNearest(out, in, bits, srcH, dstW, p0x, stepX);
        } else if (!kernels) {
            if (modeX == AXIS_ENLARGE)
                ScaleCubic(out, in, bits, srcH, dstW, p0x, stepX, *cubic);
            else
                ScaleFilter(out, in, bits, srcH, dstW, p0x, stepX, filterX, banks->packed);
        } else {
            WeightBank const& bank = banks->x;
            std::vector<int32_t> first;
            std::vector<uint8_t> phase;
            PlanPass(bank, dstW, p0x, stepX, first, phase);
            // The kernels read whole padded weight rows: each source line is copied
            // into a zero-padded buffer first.
            const int padded = srcW + bank.stride + 16;
            if (bits == 8) {
                std::vector<uint8_t> line(padded, 0);
                for (int r = 0; r < srcH; ++r) {
                    const unsigned char* s = src + static_cast<long>(r) * srcRowStride;
                    if (srcStep == 1)
                        std::memcpy(line.data(), s, srcW);
                    else
                        kernels->gather8(line.data(), s, srcStep, srcW);
                    kernels->hline8(line.data(), first.data(), phase.data(), dstW, bank,
                                    stripData + static_cast<long>(r) * stripRowStride);
                }
            } else {
                std::vector<uint16_t> line(padded, 0);
                for (int r = 0; r < srcH; ++r) {
                    const unsigned char* s = src + static_cast<long>(r) * srcRowStride;
                    for (int x = 0; x < srcW; ++x)
                        std::memcpy(&line[x], s + 2L * x * srcStep, 2);
                    kernels->hline16(line.data(), first.data(), phase.data(), dstW, bank,
                                     reinterpret_cast<uint16_t*>(stripData + static_cast<long>(r) * stripRowStride));
                }
            }
        }
    }

    // Vertical pass: the strip's dstW columns -> destination columns of dstH samples.
    {
        const Lines in{stripData, stripRowStride, bytes};
        const Lines out{dst, dstRowStride, static_cast<long>(dstStep) * bytes};
        if (modeY == AXIS_SAME) {
            if (bits == 8)
                CopyPlane8(dst, dstStep, dstRowStride, stripData, 1, stripRowStride, dstW, dstH);
            else
                CopyPlane16(dst, dstStep, dstRowStride, stripData, 1, stripRowStride, dstW, dstH);
        } else if (!smoothPlane) {
            ScaleNearest(out, in, bits, dstW, dstH, p0y, stepY);
        } else if (!kernels) {
            if (modeY == AXIS_ENLARGE)
                ScaleCubic(out, in, bits, dstW, dstH, p0y, stepY, *cubic);
            else
                ScaleFilter(out, in, bits, dstW, dstH, p0y, stepY, filterY, banks->packed);
        } else {
            WeightBank const& bank = banks->y;
            std::vector<int32_t> first;
            std::vector<uint8_t> phase;
            PlanPass(bank, dstH, p0y, stepY, first, phase);
            std::vector<unsigned char> row(dstStep == 1 ? 0 : static_cast<size_t>(dstW) * bytes);
            for (int k = 0; k < dstH; ++k) {
                const int p = phase[k];
                const int16_t* w = bank.w + static_cast<size_t>(p) * bank.stride;
                const unsigned char* top = stripData + static_cast<long>(first[k]) * stripRowStride;
                unsigned char* d = dst + static_cast<long>(k) * dstRowStride;
                unsigned char* target = dstStep == 1 ? d : row.data();
                if (bits == 8)
                    kernels->vrow8(top, stripRowStride, w, bank.taps[p], bank.round, dstW, target);
                else
                    kernels->vrow16(reinterpret_cast<const uint16_t*>(top), stripRowStride, w, bank.taps[p],
                                    bank.round, bank.sum[p], dstW, reinterpret_cast<uint16_t*>(target));
                if (dstStep != 1) {
                    if (bits == 8)
                        kernels->scatter8(d, dstStep, target, dstW);
                    else
                        CopyPlane16(d, dstStep, 0, target, 1, 0, dstW, 1);
                }
            }
        }
    }
}
