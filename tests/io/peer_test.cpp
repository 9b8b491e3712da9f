// Cross-check against peers: Pillow and ImageMagick write files in every format and
// mode we read, and dump the pixels as they read them back; CIO must load the same
// pixels (exactly for BMP, GIF and TIFF, within 1 for JPEG). Skipped, with a
// message, when a peer is not installed (Debian: python3-pil, imagemagick).
#include "io/IO.h"
#include "io/image_helpers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>

namespace {

bool RunShell(std::string const& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Debian's Pillow lives in the system interpreter, which a user's PATH may shadow.
std::string Python()
{
    return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

bool HavePillow()
{
    return RunShell(Python() + " -c 'import PIL.Image'");
}

bool HaveMagick()
{
    return RunShell("convert -version");
}

// Writes each case's file with Pillow and the pixels Pillow reads back from it.
// Pixel dumps: the bytes of Image.tobytes() after the given conversion.
const char* const kPillowScript = R"PY(
import sys, random
from PIL import Image
out = sys.argv[1]
random.seed(7)
W, H = 37, 23
def noise(mode, bands):
    im = Image.new(mode, (W, H))
    im.putdata([tuple(random.randrange(256) for _ in range(bands)) if bands > 1 else random.randrange(256)
                for _ in range(W * H)])
    return im
def smooth(mode):
    im = Image.linear_gradient('L').resize((W, H))
    if mode == 'L':
        return im
    return Image.merge('RGB', (im, im.transpose(Image.Transpose.FLIP_LEFT_RIGHT), im.rotate(90)))
def save(name, im, dump_mode, **kw):
    im.save(out + '/' + name, **kw)
    back = Image.open(out + '/' + name)
    back.load()
    if dump_mode:
        back = back.convert(dump_mode)
    open(out + '/' + name + '.raw', 'wb').write(back.tobytes())
save('grey.tif', noise('L', 1), None)
save('rgb.tif', noise('RGB', 3), None)
save('rgba.tif', noise('RGBA', 4), None)
save('la.tif', noise('LA', 2), None)
pal = noise('L', 1).convert('P')
pal.putpalette([random.randrange(256) for _ in range(768)])
save('palette.tif', pal, 'RGB')
save('lzw.tif', noise('RGB', 3), None, compression='tiff_lzw')
save('deflate.tif', noise('L', 1), None, compression='tiff_adobe_deflate')
save('packbits.tif', noise('RGBA', 4), None, compression='packbits')
g16 = Image.new('I;16', (W, H))
g16.putdata([random.randrange(65536) for _ in range(W * H)])
save('grey16.tif', g16, None)
save('grey.jpg', smooth('L'), None, quality=92)
save('rgb.jpg', smooth('RGB'), None, quality=92)
save('progressive.jpg', smooth('RGB'), None, quality=85, progressive=True)
save('subsampled.jpg', smooth('RGB'), None, quality=90, subsampling=2)
save('rgb.bmp', noise('RGB', 3), None)
save('grey.bmp', noise('L', 1), 'RGB')
save('palette.bmp', pal, 'RGB')
save('palette.gif', pal, 'RGB')
)PY";

struct Case {
    const char* file;
    unsigned flags;   // CIO conversion flags that bring our image to the dump's layout
    IMAGE_MODE mode;  // the mode of our loaded image (before conversion)
    int alphaLast;    // the dump has alpha last with this many colour channels (0: no alpha)
    int tolerance;
};

// Our pixels in the dump's channel order (alpha moved last).
std::vector<unsigned char> InDumpOrder(CImage& image, int colourChannels)
{
    std::vector<unsigned char> px = Pixels(image);
    if (!ModeHasAlpha(image.GetMode()))
        return px;
    const int bytes = image.GetBitsPerPlane() / 8, n = colourChannels + 1;
    std::vector<unsigned char> out(px.size());
    for (size_t i = 0; i + n * bytes <= px.size(); i += n * bytes) {
        std::copy(px.begin() + i + bytes, px.begin() + i + n * bytes, out.begin() + i);
        std::copy(px.begin() + i, px.begin() + i + bytes, out.begin() + i + colourChannels * bytes);
    }
    return out;
}

void Check(ScratchFolder const& dir, Case const& c)
{
    SCOPED_TRACE(c.file);
    CIO::IOError error = CIO::IOERR_NONE;
    std::unique_ptr<CImage> loaded(CIO::LoadImageA(CString(dir / c.file), 0, error, nullptr));
    ASSERT_NE(loaded, nullptr) << "error " << error;
    EXPECT_EQ(loaded->GetMode(), c.mode);
    std::unique_ptr<CImage> converted(CIO::ConvertImage(loaded.get(), c.flags, error));
    CImage& image = converted ? *converted : *loaded;
    const std::vector<unsigned char> ours = InDumpOrder(image, c.alphaLast);
    const std::string peer = ReadFile(dir / (std::string(c.file) + ".raw"));
    ASSERT_EQ(ours.size(), peer.size());
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i)
        worst = std::max(worst, std::abs(int(ours[i]) - int(static_cast<unsigned char>(peer[i]))));
    EXPECT_LE(worst, c.tolerance);
}

} // namespace

TEST(PeerCrossCheck, PillowFilesLoadWithPillowsPixels)
{
    if (!HavePillow())
        GTEST_SKIP() << "Pillow (Debian python3-pil) is not installed: peer cross-check skipped";
    ScratchFolder dir;
    WriteFile(dir / "make.py", kPillowScript);
    ASSERT_TRUE(RunShell(Python() + " '" + (dir / "make.py") + "' '" + dir.path.string() + "'"));
    std::vector<Case> cases = {
        {"grey.tif", 0, IM_GRAY, 0, 0},
        {"rgb.tif", 0, IM_RGB, 0, 0},
        {"rgba.tif", 0, IM_RGB | IM_ALPHA, 3, 0},
        {"la.tif", 0, IM_GRAY | IM_ALPHA, 1, 0},
        {"palette.tif", IOF_TO_RGB, IM_INDEXED, 0, 0},
        {"lzw.tif", 0, IM_RGB, 0, 0},
        {"deflate.tif", 0, IM_GRAY, 0, 0},
        {"packbits.tif", 0, IM_RGB | IM_ALPHA, 3, 0},
        {"grey16.tif", 0, IM_GRAY16, 0, 0},
        {"grey.jpg", 0, IM_GRAY, 0, 1},
        {"rgb.jpg", 0, IM_RGB, 0, 1},
        {"progressive.jpg", 0, IM_RGB, 0, 1},
        {"subsampled.jpg", 0, IM_RGB, 0, 1},
    };
    cases.push_back({"rgb.bmp", 0, IM_RGB, 0, 0});
    cases.push_back({"grey.bmp", IOF_TO_RGB, IM_GRAY, 0, 0});
    cases.push_back({"palette.bmp", IOF_TO_RGB, IM_INDEXED, 0, 0});
    cases.push_back({"palette.gif", IOF_TO_RGB, IM_INDEXED, 0, 0});
    for (auto const& c : cases)
        Check(dir, c);
}

TEST(PeerCrossCheck, ImageMagickTiffLayoutsLoadWithItsPixels)
{
    if (!HaveMagick())
        GTEST_SKIP() << "ImageMagick (Debian imagemagick) is not installed: peer cross-check skipped";
    ScratchFolder dir;
    const std::string src = "-size 45x31 plasma:fractal -seed 3";
    struct Made {
        const char* file;
        const char* write; // options between the source and the output name
        const char* dump;  // raw format for the dump
        Case check;
    } const made[] = {
        {"rgb16.tif", "-depth 16 -compress zip", "rgb", {"rgb16.tif", 0, IM_RGB16, 0, 0}},
        {"rgba16.tif", "-alpha set -channel A -evaluate set 60% +channel -define tiff:alpha=unassociated -depth 16 -compress lzw", "rgba",
         {"rgba16.tif", 0, IM_RGB16 | IM_ALPHA, 3, 0}},
        {"grey16.tif", "-colorspace gray -depth 16", "gray", {"grey16.tif", 0, IM_GRAY16, 0, 0}},
        {"tiled.tif", "-depth 8 -define tiff:tile-geometry=16x16 -compress zip", "rgb", {"tiled.tif", 0, IM_RGB, 0, 0}},
        {"planar.tif", "-depth 8 -interlace plane", "rgb", {"planar.tif", 0, IM_RGB, 0, 0}},
        {"planar16.tif", "-depth 16 -interlace plane -compress lzw", "rgb", {"planar16.tif", 0, IM_RGB16, 0, 0}},
        {"miniswhite.tif", "-colorspace gray -depth 8 -define quantum:polarity=min-is-white", "gray",
         {"miniswhite.tif", 0, IM_GRAY, 0, 0}},
        {"cmyk.tif", "-colorspace cmyk -depth 8", "rgb", {"cmyk.tif", 0, IM_RGB, 0, 1}},
    };
    for (auto const& m : made) {
        const std::string file = dir / m.file;
        ASSERT_TRUE(RunShell(std::string("convert ") + src + " " + m.write + " '" + file + "'")) << m.file;
        const int depth = std::string(m.write).find("-depth 16") != std::string::npos ? 16 : 8;
        ASSERT_TRUE(RunShell("convert '" + file + "' -depth " + std::to_string(depth) + " -endian LSB " + m.dump + ":'" +
                        file + ".raw'"))
            << m.file;
        Check(dir, m.check);
    }
}
