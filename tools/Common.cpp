#include "tools/Common.h"

#if TESSERA_HAVE_BMP
#include "bmp/BmpIO.h"
#endif

#include "tools/Progress.h"
#if TESSERA_HAVE_TRANSFORM
#include "transform/Scale.h"
#endif

#include <algorithm>
#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <set>
#include <system_error>

namespace tool {

const char* IOErrorText(CIO::IOError error)
{
    switch (error) {
    case CIO::IOERR_NONE: return "no error";
    case CIO::IOERR_NOT_FOUND: return "file not found";
    case CIO::IOERR_BAD_FORMAT: return "not a valid or supported image file";
    case CIO::IOERR_BAD_PATH: return "invalid path (a folder on it does not exist)";
    case CIO::IOERR_NO_MEMORY: return "out of memory, disk full or read error";
    case CIO::IOERR_OPEN_FAILED: return "cannot open the file (access denied or unknown format)";
    case CIO::IOERR_CREATE_FAILED: return "cannot create the file";
    case CIO::IOERR_UNSUPPORTED_MODE: return "this format cannot hold the image's pixel mode";
    }
    return "unknown error";
}

int Fail(std::string const& subject, std::string const& reason)
{
    std::fprintf(stderr, "tessera: %s: %s\n", subject.c_str(), reason.c_str());
    return 1;
}

std::string ModeName(IMAGE_MODE mode)
{
    std::string name;
    switch (ModeColorModel(mode)) {
    case IM_GRAY: name = "grey"; break;
    case IM_INDEXED: name = "indexed"; break;
    case IM_RGB: name = "RGB"; break;
    case IM_HLS: name = "HLS"; break;
    case IM_HSV: name = "HSV"; break;
    case IM_GRAY16: name = "grey16"; break;
    case IM_RGB16: name = "RGB16"; break;
    case IM_YCC: name = "YCbCr"; break;
    case IM_CHANNELS8: name = "channels8"; break;
    case IM_CHANNELS16: name = "channels16"; break;
    case IM_CHANNELS32: name = "channels32"; break;
    case IM_CHANNELS64: name = "channels64"; break;
    case IM_MASK: name = "mask"; break;
    case IM_MASK16: name = "mask16"; break;
    default: name = "mode " + std::to_string(static_cast<int>(ModeColorModel(mode))); break;
    }
    if (ModeHasAlpha(mode))
        name += "+alpha";
    return name;
}

bool ParseSize(std::string const& text, int& width, int& height)
{
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos || x == 0 || x + 1 >= text.size())
        return false;
    char* end = nullptr;
    long w = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + x)
        return false;
    long h = std::strtol(text.c_str() + x + 1, &end, 10);
    if (*end != '\0' || w < 1 || h < 1 || w > 1000000 || h > 1000000)
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

std::string LowerExtension(std::string const& path)
{
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    std::string ext = path.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

std::unique_ptr<CImage> MakeSampleImage(int width, int height)
{
    auto image = std::make_unique<CImage>(IM_RGB, width, height, 96.0);
    CPixMap strip(IM_RGB, width, 16, true);
    const double cx = width / 2.0, cy = height / 2.0;
    for (int y0 = 0; y0 < height; y0 += 16) {
        int rows = std::min(16, height - y0);
        strip.height = rows;
        for (int r = 0; r < rows; ++r) {
            unsigned char* row = strip.plane[0].data + r * strip.plane[0].rowStride;
            int y = y0 + r;
            for (int x = 0; x < width; ++x) {
                double d = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
                bool ring = static_cast<int>(d / 12.0) % 2 == 0;
                unsigned char red = static_cast<unsigned char>(255 * x / std::max(1, width - 1));
                unsigned char green = static_cast<unsigned char>(255 * y / std::max(1, height - 1));
                unsigned char blue = static_cast<unsigned char>(ring ? 200 : 60);
                if (x < width / 8 && y < height / 8) // a flat patch: long runs for RLE
                    red = green = blue = 240;
                row[3 * x] = red;
                row[3 * x + 1] = green;
                row[3 * x + 2] = blue;
            }
        }
        image->SetBuf(0, y0, strip, MM_CLIP, 1);
    }
    return image;
}

ImagePtr LoadImageFile(std::string const& path, CIO::IOError& error, unsigned flags)
{
#if TESSERA_HAVE_IO
    return ImagePtr(CIO::LoadImageA(CString(path), flags, error, nullptr));
#elif TESSERA_HAVE_BMP
    (void)flags;
    if (LowerExtension(path) != ".bmp") {
        error = CIO::IOERR_OPEN_FAILED;
        return nullptr;
    }
    return ImagePtr(CBmpIO::Load(CString(path), error));
#else
    (void)path;
    (void)flags;
    error = CIO::IOERR_OPEN_FAILED;
    return nullptr;
#endif
}

bool SaveImageFile(std::string const& path, CImage& image, CIO::IOError& error, bool rle, int quality,
                   std::string const& text)
{
#if TESSERA_HAVE_IO
    unsigned flags = rle ? IOF_BMP_RLE : 0;
    return CIO::SaveImage(CString(path), image, flags, quality, error, CString(text));
#elif TESSERA_HAVE_BMP
    (void)quality;
    (void)text;
    if (LowerExtension(path) != ".bmp") {
        error = CIO::IOERR_UNSUPPORTED_MODE;
        return false;
    }
    return CBmpIO::Save(CString(path), image, rle, error);
#else
    (void)path;
    (void)image;
    (void)rle;
    (void)quality;
    (void)text;
    error = CIO::IOERR_UNSUPPORTED_MODE;
    return false;
#endif
}

#if TESSERA_HAVE_TRANSFORM
// Fills `map` (interleaved, width x height) with the pixels of the rectangle at (x, y),
// each coordinate clamped into the image.
static void FetchClamped(CImage& image, int x, int y, CPixMap& map)
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

#endif

ImagePtr ScaleImage(CImage& image, int width, int height, bool smooth, std::function<void(double)> const& progress)
{
#if TESSERA_HAVE_TRANSFORM
    const IMAGE_MODE mode = image.GetMode();
    ImagePtr result(new CImage(mode, width, height, image.GetDpi()));
    result->SetLut(image.GetLut());
    CScale scale(CSize(width, height), CSize(image.Width(), image.Height()), smooth);
    CPixMap out(mode, 256, 256, true);
    for (int y = 0; y < height; y += 256) {
        if (progress)
            progress(static_cast<double>(y) / height);
        for (int x = 0; x < width; x += 256) {
            const CRect tile(x, y, std::min(x + 256, width), std::min(y + 256, height));
            CRect src;
            scale.GetSrcRect(tile, src);
            CPixMap in(mode, src.Width(), src.Height(), true);
            FetchClamped(image, src.left, src.top, in);
            out.width = tile.Width();
            out.height = tile.Height();
            if (!scale.Transform(out, in))
                return nullptr;
            result->SetBuf(x, y, out, MM_CLIP, 1);
        }
    }
    return result;
#else
    (void)image;
    (void)width;
    (void)height;
    (void)smooth;
    (void)progress;
    return nullptr;
#endif
}

bool SaveWriterResult(BatchItem const& item, CImage& result, WriterSettings const& settings, std::string& report,
                      FileFailure& failure)
{
    CIO::IOError error = CIO::IOERR_NONE;
    if (!SaveImageFile(item.output, result, error, settings.rle, settings.quality)) {
        failure = {item.output, SaveErrorText(item.output, error, result.GetMode(), settings.loadFlags)};
        return false;
    }
    report = item.input + " -> " + item.output + " (" + std::to_string(result.Width()) + " x " +
             std::to_string(result.Height()) + ", " + ModeName(result.GetMode()) + ")\n";
    return true;
}

bool WantsHelp(std::vector<std::string> const& args)
{
    for (auto const& a : args)
        if (a == "--help" || a == "-h")
            return true;
    return false;
}

int UsageError(std::string const& command, std::string const& reason)
{
    std::fprintf(stderr, "tessera: %s: %s (see tessera %s --help)\n", command.c_str(), reason.c_str(),
                 command.c_str());
    return kStatusUsage;
}

bool Options::Has(std::string const& name) const
{
    for (auto const& g : given)
        if (g.first == name)
            return true;
    return false;
}

std::string Options::Value(std::string const& name) const
{
    std::string value;
    for (auto const& g : given)
        if (g.first == name)
            value = g.second;
    return value;
}

bool ParseOptions(std::string const& command, std::vector<std::string> const& args,
                  std::vector<OptionSpec> const& specs, Options& options, int& status)
{
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string const& a = args[i];
        // "-", "-2.5" and anything after "--" are words, not options.
        const bool number = a.size() > 1 && (std::isdigit(static_cast<unsigned char>(a[1])) || a[1] == '.');
        const bool looksLikeOption = !optionsEnded && a.size() > 1 && a[0] == '-' && !number;
        if (!looksLikeOption) {
            options.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = a.find('=');
        const std::string name = a.substr(0, equals);
        const OptionSpec* found = nullptr;
        for (auto const& o : specs)
            if (o.name == name)
                found = &o;
        if (!found) {
            status = UsageError(command, "unknown option " + name);
            return false;
        }
        if (!found->takesValue) {
            if (equals != std::string::npos) {
                status = UsageError(command, name + " takes no value");
                return false;
            }
            options.given.emplace_back(name, std::string());
        } else if (equals != std::string::npos) {
            options.given.emplace_back(name, a.substr(equals + 1));
        } else if (i + 1 < args.size()) {
            options.given.emplace_back(name, args[++i]);
        } else {
            status = UsageError(command, name + " needs a value");
            return false;
        }
    }
    return true;
}

std::vector<OptionSpec> WriterOptionSpecs()
{
    return {{"--to-rgb", false}, {"--hue-to-rgb", false}, {"--to-rgb-no-alpha", false}, {"--rle", false},
            {"--quality", true}, {"--to", true},          {"--out-dir", true}};
}

const char* const kWriterOptionsHelp =
    "  --to-rgb            after loading, convert every colour model to 8-bit RGB, keep alpha\n"
    "  --hue-to-rgb        after loading, convert HLS and HSV to RGB, narrow 16-bit samples,\n"
    "                      drop alpha\n"
    "  --to-rgb-no-alpha   after loading, convert to 8-bit RGB and drop alpha\n"
    "  --rle               BMP output: run-length encode 8-bit images\n"
    "  --quality N         JPEG output: quality 1 to 100 (default 75)\n"
    "  --to EXT            several files: write EXT files (bmp, jpg, jpeg, tif, tiff)\n"
    "  --out-dir DIR       several files: write into DIR (made when missing) instead of\n"
    "                      beside each input; the output is the input's base name with\n"
    "                      the new extension\n";

bool ReadWriterSettings(std::string const& command, Options const& options, WriterSettings& settings, int& status)
{
    if (options.Has("--to-rgb"))
        settings.loadFlags |= IOF_TO_RGB;
    if (options.Has("--hue-to-rgb"))
        settings.loadFlags |= IOF_HUE_TO_RGB;
    if (options.Has("--to-rgb-no-alpha"))
        settings.loadFlags |= IOF_TO_RGB_NO_ALPHA;
    settings.rle = options.Has("--rle");
    if (options.Has("--quality")) {
        std::string const text = options.Value("--quality");
        char* end = nullptr;
        long q = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || q < 1 || q > 100) {
            status = UsageError(command, "--quality takes a number from 1 to 100, not '" + text + "'");
            return false;
        }
        settings.quality = static_cast<int>(q);
    }
    settings.batch = options.Has("--to") || options.Has("--out-dir");
    if (options.Has("--to")) {
        std::string ext = options.Value("--to");
        if (!ext.empty() && ext[0] != '.')
            ext = "." + ext;
        ext = LowerExtension("x" + ext);
        if (ext.size() < 2 || !WritableExtension(ext)) {
            status = UsageError(command, "--to: cannot write '" + options.Value("--to") + "' files (writable: " +
                                             WritableExtensionList() + ")");
            return false;
        }
        settings.toExtension = ext;
    }
    if (options.Has("--out-dir")) {
        settings.outDir = options.Value("--out-dir");
        if (settings.outDir.empty()) {
            status = UsageError(command, "--out-dir needs a folder name");
            return false;
        }
    }
    return true;
}

bool WritableExtension(std::string const& extension)
{
#if TESSERA_HAVE_IO
    return !extension.empty() && CIO::FileformatSupported(CString("x" + extension), false);
#elif TESSERA_HAVE_BMP
    return extension == ".bmp";
#else
    (void)extension;
    return false;
#endif
}

std::string WritableExtensionList()
{
    std::string list;
    for (const char* ext : {".bmp", ".gif", ".jpg", ".jpeg", ".tif", ".tiff"})
        if (WritableExtension(ext))
            list += (list.empty() ? "" : ", ") + std::string(ext);
    return list.empty() ? std::string("none in this build") : list;
}

std::string NoWriterText()
{
    return "no writer for this extension (writable: " + WritableExtensionList() + ")";
}

std::string SaveErrorText(std::string const& path, CIO::IOError error, IMAGE_MODE mode, unsigned loadFlags)
{
    if (error == CIO::IOERR_UNSUPPORTED_MODE && !WritableExtension(LowerExtension(path)))
        return NoWriterText();
    std::string reason = IOErrorText(error);
    if (error == CIO::IOERR_UNSUPPORTED_MODE && !(loadFlags & (IOF_TO_RGB | IOF_TO_RGB_NO_ALPHA)))
        reason += " (" + ModeName(mode) + "; try --to-rgb or --to-rgb-no-alpha)";
    return reason;
}

namespace {

// A path for comparisons: absolute, with "." and ".." and symbolic links resolved as
// far as the path exists.
std::string Normal(std::string const& path)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    return ec ? path : p.lexically_normal().string();
}

} // namespace

bool PlanWriterItems(std::string const& command, std::vector<std::string> const& files,
                     WriterSettings const& settings, std::vector<BatchItem>& items, int& status)
{
    items.clear();
    if (!settings.batch) {
        if (files.size() != 2) {
            status = UsageError(command, files.size() < 2
                                             ? "expected IN and OUT"
                                             : "expected IN and OUT; use --to or --out-dir for several files");
            return false;
        }
        // Refused before any work; the name of the file is on the line, like a failed save.
        if (!WritableExtension(LowerExtension(files[1]))) {
            status = Fail(files[1], NoWriterText());
            return false;
        }
        items.push_back({files[0], files[1]});
        return true;
    }
    if (files.empty()) {
        status = UsageError(command, "no input file");
        return false;
    }
    std::set<std::string> inputs;
    for (auto const& f : files)
        inputs.insert(Normal(f));
    std::set<std::string> outputs;
    for (auto const& f : files) {
        namespace fs = std::filesystem;
        const fs::path in(f);
        const std::string ext = settings.toExtension.empty() ? LowerExtension(f) : settings.toExtension;
        if (settings.toExtension.empty() && !WritableExtension(ext)) {
            status = UsageError(command, f + ": cannot write '" + ext + "' files; choose an output type with --to");
            return false;
        }
        const fs::path folder = settings.outDir.empty() ? in.parent_path() : fs::path(settings.outDir);
        const std::string out = (folder / (in.stem().string() + ext)).string();
        const std::string normal = Normal(out);
        if (inputs.count(normal)) {
            status = UsageError(command, out + " would replace an input file; choose another --out-dir or --to");
            return false;
        }
        if (!outputs.insert(normal).second) {
            status = UsageError(command, "two inputs would both write " + out);
            return false;
        }
        items.push_back({f, out});
    }
    return true;
}

std::vector<BatchItem> ReadOnlyItems(std::vector<std::string> const& files)
{
    std::vector<BatchItem> items;
    items.reserve(files.size());
    for (auto const& f : files)
        items.push_back({f, std::string()});
    return items;
}

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void RequestStop(int)
{
    g_stopRequested = 1;
}

// Holds SIGINT and SIGTERM while a batch runs: the first asks the batch to stop after
// the current item; SA_RESETHAND lets a second one end the tool as usual.
class StopSignals {
public:
    StopSignals()
    {
        g_stopRequested = 0;
        struct sigaction action {};
        action.sa_handler = RequestStop;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~StopSignals()
    {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    StopSignals(StopSignals const&) = delete;
    StopSignals& operator=(StopSignals const&) = delete;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

} // namespace

int RunBatch(Batch const& batch, BatchJob const& job)
{
    namespace fs = std::filesystem;
    // The folder and those of its parents that do not exist yet, outermost first.
    std::vector<fs::path> made;
    if (!batch.outDir.empty()) {
        std::error_code ec;
        for (fs::path p = fs::absolute(batch.outDir, ec).lexically_normal(); !p.empty() && !fs::exists(p, ec);
             p = p.parent_path()) {
            made.insert(made.begin(), p);
            if (p == p.parent_path())
                break;
        }
        ec.clear();
        fs::create_directories(batch.outDir, ec);
        if (ec || !fs::is_directory(batch.outDir))
            return Fail(batch.outDir, "cannot make the output folder: " +
                                          (ec ? ec.message() : std::string("a file of that name is in the way")));
    }

    StopSignals signals;
    Progress progress(static_cast<double>(batch.items.size()));
    size_t succeeded = 0, failed = 0;
    bool interrupted = false;
    for (size_t i = 0; i < batch.items.size(); ++i) {
        if (g_stopRequested) {
            interrupted = true;
            break;
        }
        BatchItem const& item = batch.items[i];
        const std::string label = batch.command + " " + item.input;
        progress.Update(static_cast<double>(i), label);
        std::string report;
        FileFailure failure{item.input, std::string()};
        bool ok = false;
        try {
            ok = job(item, report, failure,
                     [&](double fraction) { progress.Update(static_cast<double>(i) + fraction, label); });
        } catch (std::bad_alloc const&) {
            failure = {item.input, "out of memory"};
        }
        progress.Clear();
        if (ok) {
            ++succeeded;
            std::fputs(report.c_str(), stdout);
            std::fflush(stdout);
        } else {
            ++failed;
            Fail(failure.file, failure.reason.empty() ? std::string("failed") : failure.reason);
        }
    }
    progress.Clear();
    if (!batch.verb.empty() && batch.items.size() > 1)
        std::printf("%zu of %zu files %s%s\n", succeeded, batch.items.size(), batch.verb.c_str(),
                    failed ? (", " + std::to_string(failed) + " failed").c_str() : "");
    if (interrupted)
        std::fprintf(stderr, "tessera: %s: interrupted; %zu of %zu files done, the rest not started\n",
                     batch.command.c_str(), succeeded + failed, batch.items.size());
    if (succeeded == 0) {
        // Remove the folders the batch made, innermost first, when they stayed empty.
        std::error_code ec;
        for (auto it = made.rbegin(); it != made.rend(); ++it)
            if (fs::is_empty(*it, ec) && !ec)
                fs::remove(*it, ec);
    }
    if (interrupted)
        return kStatusInterrupted;
    return failed ? kStatusFailed : 0;
}

} // namespace tool
