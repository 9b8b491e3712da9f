// tessera resize: scales an image to a new size with CScale, tile by tile as a host
// does (GetSrcRect, fetch, Transform per 256 x 256 destination tile). Samples that
// the filter needs beyond the image edges repeat the edge pixels.
#include "tools/Command.h"
#include "tools/Common.h"

#if TESSERA_HAVE_TRANSFORM
#include "transform/Scale.h"

#include <algorithm>
#include <cstring>

namespace {

// Fills `map` (interleaved, width x height) with the pixels of the rectangle at (x, y),
// each coordinate clamped into the image.
void FetchClamped(CImage& image, int x, int y, CPixMap& map)
{
    const int w = image.Width(), h = image.Height();
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + map.width, w), y1 = std::min(y + map.height, h);
    const int pixelBytes = image.GetPlanes() * image.GetBitsPerPlane() / 8;
    CPixMap inside(image.GetMode(), x1 - x0, y1 - y0, true);
    image.GetBuf(x0, y0, inside, MM_CLIP, 1);
    for (int r = 0; r < map.height; ++r) {
        const int sy = std::clamp(y + r, y0, y1 - 1) - y0;
        const unsigned char* srcRow = inside.plane[0].data + static_cast<long>(sy) * inside.plane[0].rowStride;
        unsigned char* dstRow = map.plane[0].data + static_cast<long>(r) * map.plane[0].rowStride;
        for (int c = 0; c < map.width; ++c) {
            const int sx = std::clamp(x + c, x0, x1 - 1) - x0;
            std::memcpy(dstRow + static_cast<long>(c) * pixelBytes, srcRow + static_cast<long>(sx) * pixelBytes,
                        pixelBytes);
        }
    }
}

int Run(std::vector<std::string> const& args)
{
    std::vector<std::string> positional;
    bool nearest = false;
    for (auto const& a : args) {
        if (a == "--nearest")
            nearest = true;
        else if (a.size() > 1 && a[0] == '-')
            return tool::Fail("resize", "unknown option '" + a + "' (see tessera resize --help)");
        else
            positional.push_back(a);
    }
    if (positional.size() != 3)
        return tool::Fail("resize", "expected IN OUT WxH (see tessera resize --help)");
    int width = 0, height = 0;
    if (!tool::ParseSize(positional[2], width, height))
        return tool::Fail(positional[2], "not a size WxH with both parts at least 1");

    CIO::IOError error = CIO::IOERR_NONE;
    tool::ImagePtr image = tool::LoadImageFile(positional[0], error);
    if (!image)
        return tool::Fail(positional[0], tool::IOErrorText(error));
    const IMAGE_MODE mode = image->GetMode();
    const int bits = image->GetBitsPerPlane();
    if (image->GetPlanes() < 1 || (bits != 8 && bits != 16) || image->Width() < 1 || image->Height() < 1)
        return tool::Fail(positional[0], "cannot scale " + tool::ModeName(mode) + " images");

    tool::ImagePtr result;
    try {
        result.reset(new CImage(mode, width, height, image->GetDpi()));
    } catch (std::bad_alloc const&) {
        return tool::Fail(positional[1], "out of memory for a " + positional[2] + " image");
    }
    result->SetLut(image->GetLut());
    CScale scale(CSize(width, height), CSize(image->Width(), image->Height()), !nearest);
    CPixMap out(mode, 256, 256, true);
    for (int y = 0; y < height; y += 256)
        for (int x = 0; x < width; x += 256) {
            const CRect tile(x, y, std::min(x + 256, width), std::min(y + 256, height));
            CRect src;
            scale.GetSrcRect(tile, src);
            CPixMap in(mode, src.Width(), src.Height(), true);
            FetchClamped(*image, src.left, src.top, in);
            out.width = tile.Width();
            out.height = tile.Height();
            if (!scale.Transform(out, in))
                return tool::Fail(positional[0], "cannot scale to " + positional[2] + " (filter tables too large)");
            result->SetBuf(x, y, out, MM_CLIP, 1);
        }
    if (!tool::SaveImageFile(positional[1], *result, error))
        return tool::Fail(positional[1], tool::IOErrorText(error));
    return 0;
}

const tool::CommandRegistrar registrar({
    "resize",
    "scale an image to a new size (cubic, area filter or nearest sample)",
    "usage: tessera resize IN OUT WxH [--nearest]\n"
    "\n"
    "Scales IN to W x H pixels and saves it as OUT (format by extension). Axes that grow\n"
    "are interpolated with a cubic kernel, axes that shrink are filtered with the cubic\n"
    "stretched over the reduction; palette indices are never blended.\n"
    "\n"
    "  --nearest   take the nearest source pixel instead\n"
    "\n"
    "example: tessera resize photo.bmp thumb.bmp 160x120\n",
    Run,
});

} // namespace
#endif
