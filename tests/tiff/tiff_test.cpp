// CTiffIO: round trips in every mode it writes; layouts it reads (tiled, planar,
// associated alpha, min-is-white, extra samples, other compressions, first page)
// from files built here with libtiff; refused modes, truncations, oversized and
// damaged files, and silence of libtiff's messages.
#include "io/image_helpers.h"
#include "tiff/TiffIO.h"

#include <gtest/gtest.h>

#include <memory>
#include <tiffio.h>

namespace {

using ImagePtr = std::unique_ptr<CImage>;

// A small test encoder: width x height pixels of `spp` samples (interleaved, host
// order for 16 bits) written with libtiff in the layout asked for.
struct TiffLayout {
    int width = 20, height = 12, bits = 8, spp = 3;
    int photometric = PHOTOMETRIC_RGB;
    int compression = COMPRESSION_NONE;
    int planar = PLANARCONFIG_CONTIG;
    int tile = 0;            // tile side (multiple of 16), 0 for strips
    int rowsPerStrip = 5;
    std::vector<uint16_t> extras;
    int sampleFormat = SAMPLEFORMAT_UINT;
    float xres = 0;
    int resUnit = RESUNIT_INCH;
    bool palette = false;
    int pages = 1;
};

void WriteTiff(std::string const& path, TiffLayout const& s, std::vector<unsigned char> const& px)
{
    TIFF* t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr);
    const int bytes = s.bits / 8;
    for (int page = 0; page < s.pages; ++page) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, s.width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, s.height);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, s.bits);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, s.spp);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, s.photometric);
        TIFFSetField(t, TIFFTAG_COMPRESSION, s.compression);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, s.planar);
        TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, s.sampleFormat);
        if (!s.extras.empty())
            TIFFSetField(t, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(s.extras.size()), s.extras.data());
        if (s.xres > 0) {
            TIFFSetField(t, TIFFTAG_XRESOLUTION, s.xres);
            TIFFSetField(t, TIFFTAG_YRESOLUTION, s.xres);
            TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, s.resUnit);
        }
        if (s.palette) {
            std::vector<uint16_t> r(256), g(256), b(256);
            for (int i = 0; i < 256; ++i) {
                r[i] = static_cast<uint16_t>(i * 257);
                g[i] = static_cast<uint16_t>((255 - i) * 256 + 0x7F);
                b[i] = static_cast<uint16_t>(0x1234);
            }
            TIFFSetField(t, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
        }
        const int planes = s.planar == PLANARCONFIG_SEPARATE ? s.spp : 1;
        const int perPixel = planes == 1 ? s.spp : 1;
        auto sampleAt = [&](int x, int y, int c) {
            return &px[((static_cast<size_t>(y) * s.width + x) * s.spp + c) * bytes];
        };
        if (s.tile) {
            TIFFSetField(t, TIFFTAG_TILEWIDTH, s.tile);
            TIFFSetField(t, TIFFTAG_TILELENGTH, s.tile);
            std::vector<unsigned char> block(static_cast<size_t>(TIFFTileSize(t)));
            for (int p = 0; p < planes; ++p)
                for (int ty = 0; ty < s.height; ty += s.tile)
                    for (int tx = 0; tx < s.width; tx += s.tile) {
                        std::fill(block.begin(), block.end(), 0xEE);
                        for (int y = ty; y < std::min(ty + s.tile, s.height); ++y)
                            for (int x = tx; x < std::min(tx + s.tile, s.width); ++x)
                                for (int c = 0; c < perPixel; ++c)
                                    std::copy_n(sampleAt(x, y, planes == 1 ? c : p), bytes,
                                                &block[(((y - ty) * s.tile + (x - tx)) * perPixel + c) * bytes]);
                        TIFFWriteTile(t, block.data(), tx, ty, 0, static_cast<uint16_t>(p));
                    }
        } else {
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, s.rowsPerStrip);
            std::vector<unsigned char> row(static_cast<size_t>(s.width) * perPixel * bytes);
            for (int p = 0; p < planes; ++p)
                for (int y = 0; y < s.height; ++y) {
                    for (int x = 0; x < s.width; ++x)
                        for (int c = 0; c < perPixel; ++c)
                            std::copy_n(sampleAt(x, y, planes == 1 ? c : p), bytes, &row[(x * perPixel + c) * bytes]);
                    TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), static_cast<uint16_t>(p));
                }
        }
        TIFFWriteDirectory(t);
    }
    TIFFClose(t);
}

// Interleaved file samples (file order: colour, then extras) to our layout (alpha
// first, extras past the first dropped).
std::vector<unsigned char> Reorder(std::vector<unsigned char> const& px, int spp, int colour, bool alpha, int bytes)
{
    const int n = colour + (alpha ? 1 : 0);
    std::vector<unsigned char> out;
    for (size_t i = 0; i < px.size(); i += static_cast<size_t>(spp) * bytes) {
        if (alpha)
            out.insert(out.end(), px.begin() + i + colour * bytes, px.begin() + i + (colour + 1) * bytes);
        out.insert(out.end(), px.begin() + i, px.begin() + i + colour * bytes);
    }
    (void)n;
    return out;
}

ImagePtr Load(std::string const& path, CIO::IOError& error, CString* text = nullptr)
{
    return ImagePtr(CTiffIO::Load(CString(path), error, text));
}

} // namespace

TEST(TiffRoundTrip, EveryWritableModeKeepsPixelsDpiAndText)
{
    ScratchFolder dir;
    const IMAGE_MODE models[] = {IM_GRAY, IM_GRAY16, IM_RGB, IM_RGB16, IM_INDEXED};
    unsigned seed = 0;
    for (IMAGE_MODE model : models)
        for (int alpha = 0; alpha < 2; ++alpha) {
            const IMAGE_MODE mode = alpha ? model | IM_ALPHA : model;
            auto image = RandomImage(mode, 300, 117, ++seed); // several strips
            image->SetDpi(150.5);
            CLut lut;
            for (unsigned i = 0; i < 256; ++i)
                lut[i] = LutColor{static_cast<unsigned char>(i), static_cast<unsigned char>(i * 3), 9};
            image->SetLut(lut);
            CIO::IOError error = CIO::IOERR_BAD_PATH;
            ASSERT_TRUE(CTiffIO::Save(CString(dir / "r.tif"), *image, error, CString("caption"))) << mode;
            EXPECT_EQ(error, CIO::IOERR_NONE);
            CString text;
            ImagePtr back = Load(dir / "r.tif", error, &text);
            ASSERT_NE(back, nullptr) << mode;
            EXPECT_EQ(error, CIO::IOERR_NONE);
            EXPECT_EQ(back->GetMode(), mode);
            EXPECT_TRUE(Pixels(*back) == Pixels(*image)) << mode;
            EXPECT_DOUBLE_EQ(back->GetDpi(), 150.5);
            EXPECT_EQ(text, "caption");
            if (model == IM_INDEXED) {
                EXPECT_EQ(back->GetLut()[200].green, static_cast<unsigned char>(600));
                EXPECT_EQ(back->GetLut().GetColors(), 256);
            }
        }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"r.tif"});
}

TEST(TiffSave, ModesOutsideTheLoadSetAreRefused)
{
    ScratchFolder dir;
    const IMAGE_MODE modes[] = {IM_HLS, IM_HSV, IM_YCC, IM_YCC | IM_ALPHA, IM_CHANNELS8, IM_MASK | IM_ALPHA};
    for (IMAGE_MODE mode : modes) {
        CImage image(mode, 4, 4, 72);
        CIO::IOError error = CIO::IOERR_NONE;
        EXPECT_FALSE(CTiffIO::Save(CString(dir / "x.tif"), image, error, CString()));
        EXPECT_EQ(error, CIO::IOERR_UNSUPPORTED_MODE);
    }
    EXPECT_TRUE(dir.Entries().empty());
    WriteFile(dir / "keep.tif", "old");
    auto image = RandomImage(IM_RGB, 4, 4, 1);
    CIO::IOError error;
    EXPECT_FALSE(CTiffIO::Save(CString(dir / "no/such/x.tif"), *image, error, CString()));
    EXPECT_EQ(error, CIO::IOERR_CREATE_FAILED);
    EXPECT_EQ(ReadFile(dir / "keep.tif"), "old");
}

TEST(TiffLoad, LayoutsWrittenByLibtiff)
{
    struct Case {
        const char* name;
        TiffLayout layout;
        IMAGE_MODE mode;
        int colour;
    };
    auto layout = [](auto edit) {
        TiffLayout s;
        edit(s);
        return s;
    };
    const Case cases[] = {
        {"tiled rgb", layout([](TiffLayout& s) { s.tile = 16; s.width = 37; s.height = 21; }), IM_RGB, 3},
        {"tiled planar rgba16",
         layout([](TiffLayout& s) {
             s.tile = 16; s.bits = 16; s.spp = 4; s.planar = PLANARCONFIG_SEPARATE;
             s.extras = {EXTRASAMPLE_UNASSALPHA};
         }),
         IM_RGB16 | IM_ALPHA, 3},
        {"planar strips grey+alpha",
         layout([](TiffLayout& s) {
             s.spp = 2; s.photometric = PHOTOMETRIC_MINISBLACK; s.planar = PLANARCONFIG_SEPARATE;
             s.extras = {EXTRASAMPLE_UNASSALPHA};
         }),
         IM_GRAY | IM_ALPHA, 1},
        {"lzw grey16", layout([](TiffLayout& s) { s.bits = 16; s.spp = 1; s.photometric = PHOTOMETRIC_MINISBLACK;
                                              s.compression = COMPRESSION_LZW; }),
         IM_GRAY16, 1},
        {"packbits rgb", layout([](TiffLayout& s) { s.compression = COMPRESSION_PACKBITS; }), IM_RGB, 3},
        {"deflate rgb one strip", layout([](TiffLayout& s) { s.compression = COMPRESSION_ADOBE_DEFLATE; s.rowsPerStrip = 100; }),
         IM_RGB, 3},
        {"unspecified extra dropped",
         layout([](TiffLayout& s) { s.spp = 4; s.extras = {EXTRASAMPLE_UNSPECIFIED}; }), IM_RGB, 3},
        {"alpha then unspecified",
         layout([](TiffLayout& s) { s.spp = 5; s.extras = {EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_UNSPECIFIED}; }),
         IM_RGB | IM_ALPHA, 3},
        {"second page ignored", layout([](TiffLayout& s) { s.pages = 2; }), IM_RGB, 3},
    };
    ScratchFolder dir;
    unsigned seed = 40;
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        const int bytes = c.layout.bits / 8;
        auto px = RandomBytes(static_cast<size_t>(c.layout.width) * c.layout.height * c.layout.spp * bytes, ++seed);
        WriteTiff(dir / "l.tif", c.layout, px);
        CIO::IOError error = CIO::IOERR_BAD_PATH;
        ImagePtr image = Load(dir / "l.tif", error);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(error, CIO::IOERR_NONE);
        EXPECT_EQ(image->GetMode(), c.mode);
        EXPECT_EQ(image->Width(), c.layout.width);
        EXPECT_TRUE(Pixels(*image) == Reorder(px, c.layout.spp, c.colour, ModeHasAlpha(c.mode), bytes));
    }
}

TEST(TiffLoad, MinIsWhitePaletteAssociatedAlphaAndResolution)
{
    ScratchFolder dir;
    CIO::IOError error;
    TiffLayout s;
    s.spp = 1;
    s.bits = 16;
    s.photometric = PHOTOMETRIC_MINISWHITE;
    s.xres = 40;
    s.resUnit = RESUNIT_CENTIMETER;
    WriteTiff(dir / "w.tif", s, std::vector<unsigned char>(20 * 12 * 2, 0));
    ImagePtr white = Load(dir / "w.tif", error);
    ASSERT_NE(white, nullptr);
    EXPECT_EQ(white->GetMode(), IM_GRAY16);
    EXPECT_EQ(Pixels(*white), std::vector<unsigned char>(20 * 12 * 2, 0xFF)); // 0 is white
    EXPECT_DOUBLE_EQ(white->GetDpi(), 40 * 2.54);

    s = TiffLayout();
    s.spp = 1;
    s.photometric = PHOTOMETRIC_PALETTE;
    s.palette = true;
    std::vector<unsigned char> idx(20 * 12, 7);
    WriteTiff(dir / "p.tif", s, idx);
    ImagePtr pal = Load(dir / "p.tif", error);
    ASSERT_NE(pal, nullptr);
    EXPECT_EQ(pal->GetMode(), IM_INDEXED);
    EXPECT_EQ(pal->GetDpi(), 0.0);
    EXPECT_EQ(Pixels(*pal), idx);
    LutColor c = pal->GetLut()[7];
    EXPECT_EQ(c.red, 7);          // 7 * 257 >> 8
    EXPECT_EQ(c.green, 248);      // 0xF87F >> 8
    EXPECT_EQ(c.blue, 0x12);

    // Associated alpha: colours come back divided by alpha (straight alpha).
    s = TiffLayout();
    s.spp = 4;
    s.extras = {EXTRASAMPLE_ASSOCALPHA};
    std::vector<unsigned char> pm;
    for (int i = 0; i < 20 * 12; ++i) {
        const unsigned char a = static_cast<unsigned char>(i % 3 == 0 ? 0 : i % 3 == 1 ? 128 : 255);
        pm.insert(pm.end(), {static_cast<unsigned char>(a / 2), static_cast<unsigned char>(a / 4), a, a});
    }
    WriteTiff(dir / "a.tif", s, pm);
    ImagePtr assoc = Load(dir / "a.tif", error);
    ASSERT_NE(assoc, nullptr);
    EXPECT_EQ(assoc->GetMode(), IM_RGB | IM_ALPHA);
    const auto px = Pixels(*assoc);
    EXPECT_EQ(std::vector<unsigned char>(px.begin(), px.begin() + 12),
              (std::vector<unsigned char>{0, 0, 0, 0, 128, 128, 64, 255, 255, 127, 63, 255}));
}

TEST(TiffLoad, RenderedLayoutsBecomeRgb)
{
    // CMYK goes through libtiff's RGBA renderer.
    ScratchFolder dir;
    TiffLayout s;
    s.spp = 4;
    s.photometric = PHOTOMETRIC_SEPARATED;
    std::vector<unsigned char> px;
    for (int i = 0; i < 20 * 12; ++i)
        px.insert(px.end(), {0, 255, 0, 0}); // magenta ink only
    WriteTiff(dir / "cmyk.tif", s, px);
    CIO::IOError error;
    ImagePtr image = Load(dir / "cmyk.tif", error);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetMode(), IM_RGB);
    const auto rgb = Pixels(*image);
    EXPECT_EQ(std::vector<unsigned char>(rgb.begin(), rgb.begin() + 3), (std::vector<unsigned char>{255, 0, 255}));
}

TEST(TiffLoad, UnsupportedSamplesAndOversizedImagesAreBadFormat)
{
    ScratchFolder dir;
    TiffLayout s;
    s.bits = 32;
    s.spp = 1;
    s.photometric = PHOTOMETRIC_MINISBLACK;
    s.sampleFormat = SAMPLEFORMAT_IEEEFP;
    WriteTiff(dir / "float.tif", s, std::vector<unsigned char>(20 * 12 * 4, 0));
    CIO::IOError error = CIO::IOERR_NONE;
    EXPECT_EQ(Load(dir / "float.tif", error), nullptr);
    EXPECT_EQ(error, CIO::IOERR_BAD_FORMAT);

    // A header promising 100000 x 100000 pixels in a file of a few hundred bytes.
    TIFF* t = TIFFOpen((dir / "huge.tif").c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 100000);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 100000);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 1);
    std::vector<unsigned char> row(100000, 0);
    TIFFWriteEncodedStrip(t, 0, row.data(), static_cast<tmsize_t>(row.size()));
    TIFFClose(t);
    EXPECT_EQ(Load(dir / "huge.tif", error), nullptr);
    EXPECT_EQ(error, CIO::IOERR_BAD_FORMAT);
}

TEST(TiffLoad, EveryTruncationFailsCleanlyAndSilently)
{
    ScratchFolder dir;
    auto image = RandomImage(IM_RGB | IM_ALPHA, 23, 19, 5);
    CIO::IOError error;
    ASSERT_TRUE(CTiffIO::Save(CString(dir / "full.tif"), *image, error, CString("text")));
    const std::string full = ReadFile(dir / "full.tif");
    testing::internal::CaptureStderr();
    // Every prefix through the header and first directory entries, then every fifth.
    for (size_t n = 0; n < full.size(); n += n < 200 ? 1 : 5) {
        WriteFile(dir / "cut.tif", full.substr(0, n));
        error = CIO::IOERR_NONE;
        ImagePtr cut = Load(dir / "cut.tif", error);
        if (cut) {
            EXPECT_EQ(error, CIO::IOERR_NONE) << n;
            EXPECT_TRUE(Pixels(*cut) == Pixels(*image)) << n; // only unused trailing bytes were cut
        } else {
            EXPECT_EQ(error, CIO::IOERR_BAD_FORMAT) << n;
        }
    }
    for (size_t i = 0; i < full.size(); i += 7) {
        std::string bad = full;
        bad[i] = static_cast<char>(bad[i] ^ 0xA5);
        WriteFile(dir / "bad.tif", bad);
        ImagePtr loaded = Load(dir / "bad.tif", error);
        EXPECT_EQ(loaded != nullptr, error == CIO::IOERR_NONE);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
