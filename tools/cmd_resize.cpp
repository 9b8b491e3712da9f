// tessera resize: scales images to a new size with CScale, tile by tile as a host
// does (GetSrcRect, fetch, Transform per 256 x 256 destination tile). Samples that
// the filter needs beyond the image edges repeat the edge pixels.
#include "tools/Command.h"
#include "tools/Common.h"

#if TESSERA_HAVE_TRANSFORM
#include "transform/Scale.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <string>

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
    auto spec = tool::WriterOptionSpecs();
    spec.push_back({"--size", true});
    spec.push_back({"--nearest", false});
    tool::Options options;
    tool::WriterSettings settings;
    int status = 0;
    if (!tool::ParseOptions("resize", args, spec, options, status) ||
        !tool::ReadWriterSettings("resize", options, settings, status))
        return status;
    std::vector<std::string> files = options.positional;
    std::string sizeText = options.Value("--size");
    // The single form may give the size as its third word: IN OUT WxH.
    if (!settings.batch && !options.Has("--size") && files.size() == 3) {
        sizeText = files.back();
        files.pop_back();
    }
    if (sizeText.empty())
        return tool::UsageError("resize", "the new size is missing (--size WxH)");
    int width = 0, height = 0;
    if (!tool::ParseSize(sizeText, width, height))
        return tool::UsageError("resize", "'" + sizeText + "' is not a size WxH with both parts at least 1");
    std::vector<tool::BatchItem> items;
    if (!tool::PlanWriterItems("resize", files, settings, items, status))
        return status;
    const bool nearest = options.Has("--nearest");

    auto job = [&](tool::BatchItem const& item, std::string& report, tool::FileFailure& failure,
                   std::function<void(double)> const& progress) {
        CIO::IOError error = CIO::IOERR_NONE;
        tool::ImagePtr image = tool::LoadImageFile(item.input, error, settings.loadFlags);
        if (!image) {
            failure = {item.input, tool::IOErrorText(error)};
            return false;
        }
        const IMAGE_MODE mode = image->GetMode();
        const int bits = image->GetBitsPerPlane();
        if (image->GetPlanes() < 1 || (bits != 8 && bits != 16) || image->Width() < 1 || image->Height() < 1) {
            failure = {item.input, "cannot scale " + tool::ModeName(mode) + " images"};
            return false;
        }
        tool::ImagePtr result;
        try {
            result.reset(new CImage(mode, width, height, image->GetDpi()));
        } catch (std::bad_alloc const&) {
            failure = {item.input, "out of memory for a " + sizeText + " image"};
            return false;
        }
        result->SetLut(image->GetLut());
        CScale scale(CSize(width, height), CSize(image->Width(), image->Height()), !nearest);
        CPixMap out(mode, 256, 256, true);
        for (int y = 0; y < height; y += 256) {
            progress(0.1 + 0.8 * y / height); // loading and saving take the rest
            for (int x = 0; x < width; x += 256) {
                const CRect tile(x, y, std::min(x + 256, width), std::min(y + 256, height));
                CRect src;
                scale.GetSrcRect(tile, src);
                CPixMap in(mode, src.Width(), src.Height(), true);
                FetchClamped(*image, src.left, src.top, in);
                out.width = tile.Width();
                out.height = tile.Height();
                if (!scale.Transform(out, in)) {
                    failure = {item.input, "cannot scale to " + sizeText + " (filter tables too large)"};
                    return false;
                }
                result->SetBuf(x, y, out, MM_CLIP, 1);
            }
        }
        progress(0.9);
        if (!tool::SaveImageFile(item.output, *result, error, settings.rle, settings.quality)) {
            failure = {item.output, tool::SaveErrorText(item.output, error, mode, settings.loadFlags)};
            return false;
        }
        report = item.input + " -> " + item.output + " (" + std::to_string(width) + " x " + std::to_string(height) +
                 ", " + tool::ModeName(mode) + ")\n";
        return true;
    };
    return tool::RunBatch({"resize", items, settings.outDir, "resized"}, job);
}

const std::string kUsage =
    std::string("usage: tessera resize IN OUT WxH [OPTIONS]\n"
                "       tessera resize --size WxH [--to EXT] [--out-dir DIR] [OPTIONS] FILE...\n"
                "\n"
                "Scales IN to W x H pixels and saves it as OUT (format by extension). Axes that grow\n"
                "are interpolated with a cubic kernel, axes that shrink are filtered with the cubic\n"
                "stretched over the reduction; palette indices are never blended (load palette\n"
                "images with --to-rgb to blend colours). With --to or --out-dir every FILE is\n"
                "scaled to DIR/<name>.EXT; a file that fails is reported and the others go on.\n"
                "\n"
                "Options:\n"
                "  --size WxH          the new size (the single form may give it as its third word)\n"
                "  --nearest           take the nearest source pixel instead of filtering\n") +
    tool::kWriterOptionsHelp +
    "\n"
    "Examples:\n"
    "  tessera resize photo.bmp thumb.bmp 160x120\n"
    "  tessera resize --size 64x64 --to-rgb --to jpg --out-dir thumbs *.gif\n";

const tool::CommandRegistrar registrar({
    "resize",
    "scale images to a new size (cubic, area filter or nearest sample)",
    kUsage,
    Run,
});

} // namespace
#endif
