// Colour kernels of the mode conversion: grey expansion, palette lookup, HLS, HSV
// and Y/Cb/Cr to 8-bit RGB, each as a per-pixel reference and a fast tile loop.
//
// Hue runs over 384 positions (1.5 x the 8-bit sample, rounded half up): six sectors
// of 64. Y/Cb/Cr is the JFIF conversion in 16.16 fixed point.
#include "io/convert_kernels.h"

#include <algorithm>

namespace convert {

namespace {

template <typename T, typename F>
constexpr std::array<T, 256> MakeTable(F entry)
{
    std::array<T, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[static_cast<size_t>(i)] = static_cast<T>(entry(i));
    return t;
}

// Arithmetic shift right of a possibly negative value, rounding down, without
// relying on the implementation's >> of negative numbers.
constexpr std::int32_t FloorShift16(std::int64_t v)
{
    return static_cast<std::int32_t>(v >= 0 ? v / 65536 : -((-v + 65535) / 65536));
}

inline unsigned char Clamp255(int v)
{
    return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
}

} // namespace

const std::array<std::int16_t, 256> kHue = MakeTable<std::int16_t>([](int i) { return (3 * i + 1) / 2; });
const std::array<std::int16_t, 256> kCrToRed =
    MakeTable<std::int16_t>([](int i) { return FloorShift16(91881LL * (i - 128) + 32768); });
const std::array<std::int16_t, 256> kCbToBlue =
    MakeTable<std::int16_t>([](int i) { return FloorShift16(116130LL * (i - 128) + 32768); });
const std::array<std::int32_t, 256> kCrToGreen = MakeTable<std::int32_t>([](int i) { return -46802 * (i - 128); });
const std::array<std::int32_t, 256> kCbToGreen =
    MakeTable<std::int32_t>([](int i) { return -22554 * (i - 128) + 32768; });

PaletteTables::PaletteTables(CLut const& lut)
{
    std::fill(std::begin(red), std::end(red), 0);
    std::fill(std::begin(green), std::end(green), 0);
    std::fill(std::begin(blue), std::end(blue), 0);
    const int count = std::min(lut.GetColors(), 256);
    for (int i = 0; i < count; ++i) {
        LutColor const& c = lut[static_cast<unsigned>(i)];
        red[i] = c.red;
        green[i] = c.green;
        blue[i] = c.blue;
    }
}

// ---- per-pixel references ----

void ReferenceHls(int hue, int lightness, int saturation, unsigned char rgb[3])
{
    const int h = kHue[static_cast<size_t>(hue)];
    const int L = lightness, S = saturation;
    if (S == 0) {
        rgb[0] = rgb[1] = rgb[2] = static_cast<unsigned char>(L);
        return;
    }
    // m2 reaches 256 for L 128, S 255; such a component is stored as 255.
    const int m2 = L <= 128 ? (L * (255 + S)) / 255 : L + S - (L * S) / 255;
    const int m1 = 2 * L - m2;
    const int d = m2 - m1;
    int r, g, b;
    switch (h / 64) {
    case 0: r = m2; g = m1 + (d * h) / 64; b = m1; break;
    case 1: r = m1 + (d * (128 - h)) / 64; g = m2; b = m1; break;
    case 2: r = m1; g = m2; b = m1 + (d * (h - 128)) / 64; break;
    case 3: r = m1; g = m1 + (d * (256 - h)) / 64; b = m2; break;
    case 4: r = m1 + (d * (h - 256)) / 64; g = m1; b = m2; break;
    default: r = m2; g = m1; b = m1 + (d * (384 - h)) / 64; break;
    }
    rgb[0] = static_cast<unsigned char>(std::min(r, 255));
    rgb[1] = static_cast<unsigned char>(std::min(g, 255));
    rgb[2] = static_cast<unsigned char>(std::min(b, 255));
}

void ReferenceHsv(int hue, int saturation, int value, unsigned char rgb[3])
{
    const int h = kHue[static_cast<size_t>(hue)];
    const int S = saturation, V = value;
    if (S == 0) {
        rgb[0] = rgb[1] = rgb[2] = static_cast<unsigned char>(V);
        return;
    }
    const int f = h % 64;
    const int p = ((255 - S) * V) / 255;
    const int q = ((255 - (f * S) / 63) * V) / 255;
    const int t = ((255 - ((63 - f) * S) / 63) * V) / 255;
    int r, g, b;
    switch (h / 64) {
    case 0: r = V; g = t; b = p; break;
    case 1: r = q; g = V; b = p; break;
    case 2: r = p; g = V; b = t; break;
    case 3: r = p; g = q; b = V; break;
    case 4: r = t; g = p; b = V; break;
    default: r = V; g = p; b = q; break;
    }
    rgb[0] = static_cast<unsigned char>(r);
    rgb[1] = static_cast<unsigned char>(g);
    rgb[2] = static_cast<unsigned char>(b);
}

void ReferenceYcc(int y, int cb, int cr, unsigned char rgb[3])
{
    rgb[0] = Clamp255(y + kCrToRed[static_cast<size_t>(cr)]);
    rgb[1] = Clamp255(y + FloorShift16(static_cast<std::int64_t>(kCbToGreen[static_cast<size_t>(cb)]) +
                                       kCrToGreen[static_cast<size_t>(cr)]));
    rgb[2] = Clamp255(y + kCbToBlue[static_cast<size_t>(cb)]);
}

void ReferenceKernel(Kernel kernel, TileArgs const& t, PaletteTables const* palette)
{
    const int bytes = kernel == Kernel::GreyExpand16 ? 2 : 1;
    for (int row = 0; row < t.height; ++row) {
        const unsigned char* s = t.src + static_cast<long>(row) * t.srcRowStride;
        unsigned char* d = t.dst + static_cast<long>(row) * t.dstRowStride;
        for (int x = 0; x < t.width; ++x) {
            const unsigned char* px = s + static_cast<long>(x * t.srcStep + t.srcOffset) * bytes;
            unsigned char* out = d + x * t.dstStep + t.dstOffset;
            switch (kernel) {
            case Kernel::GreyExpand8: out[0] = out[1] = out[2] = px[0]; break;
            case Kernel::GreyExpand16: out[0] = out[1] = out[2] = px[1]; break;
            case Kernel::Palette:
                out[0] = palette->red[px[0]];
                out[1] = palette->green[px[0]];
                out[2] = palette->blue[px[0]];
                break;
            case Kernel::Hls: ReferenceHls(px[0], px[1], px[2], out); break;
            case Kernel::Hsv: ReferenceHsv(px[0], px[1], px[2], out); break;
            case Kernel::Ycc: ReferenceYcc(px[0], px[1], px[2], out); break;
            }
        }
    }
}

// ---- fast tile loops ----
//
// The steps are template arguments (source 1 to 4 samples, target 3 or 4), so that
// the inner loops index with constants. Hue-dependent choices come from per-hue
// tables instead of a switch per pixel.

namespace {

// HLS: in every sector one component is m2, one m1 and one m1 + (d x k) div 64 with
// k from 0 to 64; HSV: one is V, one p and one q or t, where q and t share the form
// ((255 - (g x S) div 63) x V) div 255 with g = f (q) or 63 - f (t).
struct HueTables {
    unsigned char k[256];       // HLS: the ramp factor of the middle component
    unsigned char top[256];     // channel receiving m2 (HLS) or V (HSV)
    unsigned char bottom[256];  // channel receiving m1 (HLS) or p (HSV)
    unsigned char middle[256];  // channel receiving the ramp (HLS) or q/t (HSV)
    unsigned char g[256];       // HSV: f for q, 63 - f for t
    unsigned char hsvTop[256];
    unsigned char hsvBottom[256];
    unsigned char hsvMiddle[256];

    HueTables()
    {
        // Channel order per sector: {top, middle, bottom}.
        static const unsigned char hls[6][3] = {{0, 1, 2}, {1, 0, 2}, {1, 2, 0}, {2, 1, 0}, {2, 0, 1}, {0, 2, 1}};
        static const unsigned char hsv[6][3] = {{0, 1, 2}, {1, 0, 2}, {1, 2, 0}, {2, 1, 0}, {2, 0, 1}, {0, 2, 1}};
        for (int H = 0; H < 256; ++H) {
            const int h = kHue[static_cast<size_t>(H)];
            const int sector = h / 64, f = h % 64;
            static const int base[6] = {0, 128, 128, 256, 256, 384};
            static const int sign[6] = {1, -1, 1, -1, 1, -1};
            k[H] = static_cast<unsigned char>(sign[sector] * (h - base[sector]));
            top[H] = hls[sector][0];
            middle[H] = hls[sector][1];
            bottom[H] = hls[sector][2];
            g[H] = static_cast<unsigned char>(sector % 2 == 0 ? 63 - f : f);
            hsvTop[H] = hsv[sector][0];
            hsvMiddle[H] = hsv[sector][1];
            hsvBottom[H] = hsv[sector][2];
        }
    }
};

HueTables const& Hue()
{
    static const HueTables tables;
    return tables;
}

struct GreyOp8 {
    void operator()(const unsigned char* px, unsigned char* out) const { out[0] = out[1] = out[2] = px[0]; }
};

struct GreyOp16 {
    void operator()(const unsigned char* px, unsigned char* out) const { out[0] = out[1] = out[2] = px[1]; }
};

struct PaletteOp {
    PaletteTables const* p;
    void operator()(const unsigned char* px, unsigned char* out) const
    {
        const unsigned v = px[0];
        out[0] = p->red[v];
        out[1] = p->green[v];
        out[2] = p->blue[v];
    }
};

struct HlsOp {
    HueTables const* t;
    void operator()(const unsigned char* px, unsigned char* out) const
    {
        const unsigned H = px[0], L = px[1], S = px[2];
        const unsigned m2 = L <= 128 ? (L * (255 + S)) / 255 : L + S - (L * S) / 255;
        const unsigned m1 = 2 * L - m2;
        const unsigned mid = m1 + (((m2 - m1) * t->k[H]) >> 6);
        out[t->top[H]] = static_cast<unsigned char>(std::min(m2, 255u));
        out[t->middle[H]] = static_cast<unsigned char>(std::min(mid, 255u));
        out[t->bottom[H]] = static_cast<unsigned char>(m1);
    }
};

struct HsvOp {
    HueTables const* t;
    void operator()(const unsigned char* px, unsigned char* out) const
    {
        const unsigned H = px[0], S = px[1], V = px[2];
        const unsigned p = ((255 - S) * V) / 255;
        const unsigned m = ((255 - (t->g[H] * S) / 63) * V) / 255;
        out[t->hsvTop[H]] = static_cast<unsigned char>(V);
        out[t->hsvMiddle[H]] = static_cast<unsigned char>(m);
        out[t->hsvBottom[H]] = static_cast<unsigned char>(p);
    }
};

struct YccOp {
    void operator()(const unsigned char* px, unsigned char* out) const
    {
        const int Y = px[0], cb = px[1], cr = px[2];
        // (sum >> 16) of a negative sum: arithmetic shift, rounding down (C++20
        // semantics; every supported compiler does this).
        out[0] = Clamp255(Y + kCrToRed[static_cast<size_t>(cr)]);
        out[1] = Clamp255(Y + ((kCbToGreen[static_cast<size_t>(cb)] + kCrToGreen[static_cast<size_t>(cr)]) >> 16));
        out[2] = Clamp255(Y + kCbToBlue[static_cast<size_t>(cb)]);
    }
};

template <int SrcStep, int DstStep, int Bytes, typename Op>
void RunTile(TileArgs const& t, Op op)
{
    for (int row = 0; row < t.height; ++row) {
        const unsigned char* s = t.src + static_cast<long>(row) * t.srcRowStride + t.srcOffset * Bytes;
        unsigned char* d = t.dst + static_cast<long>(row) * t.dstRowStride + t.dstOffset;
        for (int x = 0; x < t.width; ++x, s += SrcStep * Bytes, d += DstStep)
            op(s, d);
    }
}

template <int Bytes, typename Op>
void Dispatch(TileArgs const& t, Op op)
{
    const bool dst4 = t.dstStep == 4;
    switch (t.srcStep * 8 + (dst4 ? 4 : 3)) {
    case 1 * 8 + 3: RunTile<1, 3, Bytes>(t, op); return;
    case 2 * 8 + 3: RunTile<2, 3, Bytes>(t, op); return;
    case 2 * 8 + 4: RunTile<2, 4, Bytes>(t, op); return;
    case 3 * 8 + 3: RunTile<3, 3, Bytes>(t, op); return;
    case 4 * 8 + 3: RunTile<4, 3, Bytes>(t, op); return;
    case 4 * 8 + 4: RunTile<4, 4, Bytes>(t, op); return;
    default: break;
    }
    // Any other layout: the same operation with run-time steps.
    for (int row = 0; row < t.height; ++row) {
        const unsigned char* s = t.src + static_cast<long>(row) * t.srcRowStride + t.srcOffset * Bytes;
        unsigned char* d = t.dst + static_cast<long>(row) * t.dstRowStride + t.dstOffset;
        for (int x = 0; x < t.width; ++x, s += t.srcStep * Bytes, d += t.dstStep)
            op(s, d);
    }
}

} // namespace

void FastKernel(Kernel kernel, TileArgs const& t, PaletteTables const* palette)
{
    switch (kernel) {
    case Kernel::GreyExpand8: Dispatch<1>(t, GreyOp8{}); return;
    case Kernel::GreyExpand16: Dispatch<2>(t, GreyOp16{}); return;
    case Kernel::Palette: Dispatch<1>(t, PaletteOp{palette}); return;
    case Kernel::Hls: Dispatch<1>(t, HlsOp{&Hue()}); return;
    case Kernel::Hsv: Dispatch<1>(t, HsvOp{&Hue()}); return;
    case Kernel::Ycc: Dispatch<1>(t, YccOp{}); return;
    }
}

} // namespace convert
