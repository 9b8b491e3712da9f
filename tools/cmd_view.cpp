// tessera view FILE: shows an image in a window on the X display, drawn through
// CDisplay::BltBuf band by band; with --snapshot it draws into a memory device
// context instead and saves what was drawn.
//
// CDisplay draws 8-bit grey, 8-bit palette and 24-bit RGB buffers; images in other
// modes are converted first (16-bit samples narrowed, alpha dropped, hue and YCbCr
// models to RGB).
#include "tools/Command.h"
#include "tools/Common.h"

#if TESSERA_HAVE_DISPLAY
#include "display/Display.h"
#include "platform/Gdi.h"

#if TESSERA_HAVE_IO
#include "io/IO.h"
#endif

#if TESSERA_HAVE_X11
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr int kBandRows = 64;

bool Drawable(IMAGE_MODE mode)
{
    return mode == IM_GRAY || mode == IM_INDEXED || mode == IM_RGB;
}

#if !TESSERA_HAVE_IO
// Narrows 16-bit samples (high byte) and drops alpha for grey, palette and RGB
// images, band by band. Null for other modes.
tool::ImagePtr NarrowAndDropAlpha(CImage& image)
{
    IMAGE_MODE source = image.GetMode();
    IMAGE_MODE model = ModeColorModel(source);
    IMAGE_MODE target;
    switch (model) {
    case IM_GRAY:
    case IM_GRAY16: target = IM_GRAY; break;
    case IM_INDEXED: target = IM_INDEXED; break;
    case IM_RGB:
    case IM_RGB16: target = IM_RGB; break;
    default: return nullptr;
    }
    const int channels = ModePlaneCount(target);
    const int first = ModeHasAlpha(source) ? 1 : 0;
    const int bytes = ModeBitsPerSample(source) / 8;
    tool::ImagePtr out(new CImage(target, image.Width(), image.Height(), image.GetDpi()));
    if (target == IM_INDEXED)
        out->SetLut(image.GetLut());
    CPixMap in(source, image.Width(), kBandRows, true);
    CPixMap to(target, image.Width(), kBandRows, true);
    for (int y0 = 0; y0 < image.Height(); y0 += kBandRows) {
        int rows = std::min(kBandRows, image.Height() - y0);
        in.height = to.height = rows;
        image.GetBuf(0, y0, in, MM_CLIP, 1);
        for (int r = 0; r < rows; ++r) {
            const unsigned char* s = in.plane[0].data + r * in.plane[0].rowStride;
            unsigned char* d = to.plane[0].data + r * to.plane[0].rowStride;
            for (int x = 0; x < image.Width(); ++x)
                for (int c = 0; c < channels; ++c) // 16-bit samples are low byte first: take the high one
                    d[x * channels + c] = s[(x * in.plane[0].step + first + c) * bytes + bytes - 1];
        }
        out->SetBuf(0, y0, to, MM_CLIP, 1);
    }
    return out;
}
#endif

// The image in a mode CDisplay draws, or null with a reason.
tool::ImagePtr ToDrawable(tool::ImagePtr image, std::string& reason)
{
    if (Drawable(image->GetMode()))
        return image;
#if TESSERA_HAVE_IO
    // Hue models to RGB, 16 bits narrowed, alpha dropped; then anything left (YCbCr) to RGB.
    for (unsigned flags : {unsigned(IOF_HUE_TO_RGB), unsigned(IOF_TO_RGB_NO_ALPHA)}) {
        CIO::IOError error = CIO::IOERR_NONE;
        if (CImage* converted = CIO::ConvertImage(image.get(), flags, error))
            image.reset(converted);
        else if (error == CIO::IOERR_NO_MEMORY) {
            reason = "out of memory converting the image for display";
            return nullptr;
        }
        if (Drawable(image->GetMode()))
            return image;
    }
#else
    if (tool::ImagePtr converted = NarrowAndDropAlpha(*image))
        return converted;
#endif
    reason = "cannot display images of mode " + tool::ModeName(image->GetMode());
    return nullptr;
}

// Draws image rows [yFirst, yEnd) at the same rows of the device, band by band.
void DrawRows(CImage& image, HDC hdc, int yFirst, int yEnd)
{
    IMAGE_MODE mode = image.GetMode();
    CLut lut = image.GetLut();
    CPixMap band(mode, image.Width(), kBandRows, true);
    CDisplay display;
    yFirst = std::max(0, yFirst);
    yEnd = std::min(image.Height(), yEnd);
    for (int y0 = yFirst; y0 < yEnd; y0 += kBandRows) {
        int rows = std::min(kBandRows, yEnd - y0);
        band.height = rows;
        image.GetBuf(0, y0, band, MM_CLIP, 1);
        if (mode == IM_RGB) // the bitmap holds blue, green, red
            for (int r = 0; r < rows; ++r) {
                unsigned char* p = band.plane[0].data + r * band.plane[0].rowStride;
                for (int x = 0; x < image.Width(); ++x)
                    std::swap(p[3 * x], p[3 * x + 2]);
            }
        // A CPixMap row is padded to 4 bytes, as the bitmap's rows are.
        display.BltBuf(hdc, 0, y0, image.Width(), rows, band.plane[0].data, 0, 0, image.Width(), mode, &lut);
    }
}

int Snapshot(CImage& image, std::string const& out)
{
    CMemoryDC dc(image.Width(), image.Height());
    DrawRows(image, &dc, 0, image.Height());
    CImage shot(IM_RGB, image.Width(), image.Height(), image.GetDpi());
    CPixMap band(IM_RGB, image.Width(), kBandRows, true);
    for (int y0 = 0; y0 < image.Height(); y0 += kBandRows) {
        int rows = std::min(kBandRows, image.Height() - y0);
        band.height = rows;
        for (int r = 0; r < rows; ++r) {
            unsigned char* p = band.plane[0].data + r * band.plane[0].rowStride;
            const std::uint32_t* s = dc.Row(y0 + r);
            for (int x = 0; x < image.Width(); ++x) {
                p[3 * x] = static_cast<unsigned char>(s[x] >> 16);
                p[3 * x + 1] = static_cast<unsigned char>(s[x] >> 8);
                p[3 * x + 2] = static_cast<unsigned char>(s[x]);
            }
        }
        shot.SetBuf(0, y0, band, MM_CLIP, 1);
    }
    CIO::IOError error = CIO::IOERR_NONE;
    if (!tool::SaveImageFile(out, shot, error))
        return tool::Fail(out, tool::SaveErrorText(out, error, IM_RGB, 0));
    std::printf("%s (%d x %d, %s)\n", out.c_str(), image.Width(), image.Height(), tool::ModeName(IM_RGB).c_str());
    return 0;
}

#if TESSERA_HAVE_X11
// A window as a device context: pixels go to the window with XPutImage.
class WindowDC : public HDC__ {
public:
    WindowDC(::Display* display, Window window, Visual* visual, int depth, int width, int height)
        : display_(display), window_(window), visual_(visual), depth_(depth), width_(width), height_(height)
    {
        gc_ = XCreateGC(display, window, 0, nullptr);
    }
    ~WindowDC() override { XFreeGC(display_, gc_); }

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void Resize(int width, int height)
    {
        width_ = width;
        height_ = height;
    }

    void PutPixels(int x, int y, int width, int height, const std::uint32_t* pixels, int pitch) override
    {
        XImage* image = XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, nullptr,
                                     static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
        if (!image)
            return;
        image->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(image->bytes_per_line) * height));
        if (!image->data) {
            XDestroyImage(image);
            return;
        }
        const bool direct = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
                            image->green_mask == 0xFF00 && image->blue_mask == 0xFF &&
                            image->byte_order == (IsLittleEndian() ? LSBFirst : MSBFirst);
        for (int r = 0; r < height; ++r) {
            const std::uint32_t* row = pixels + static_cast<std::size_t>(r) * pitch;
            if (direct) {
                std::memcpy(image->data + static_cast<std::size_t>(r) * image->bytes_per_line, row,
                            static_cast<std::size_t>(width) * 4);
                continue;
            }
            for (int c = 0; c < width; ++c)
                XPutPixel(image, c, r,
                          Scale(row[c] >> 16 & 0xFF, image->red_mask) | Scale(row[c] >> 8 & 0xFF, image->green_mask) |
                              Scale(row[c] & 0xFF, image->blue_mask));
        }
        XPutImage(display_, window_, gc_, image, 0, 0, x, y, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
        XDestroyImage(image); // frees data too
    }

private:
    static bool IsLittleEndian()
    {
        const std::uint16_t one = 1;
        return *reinterpret_cast<const unsigned char*>(&one) == 1;
    }
    // An 8-bit component placed into a channel mask of any width.
    static unsigned long Scale(unsigned value, unsigned long mask)
    {
        if (!mask)
            return 0;
        int shift = 0, bits = 0;
        while (!((mask >> shift) & 1))
            ++shift;
        while ((mask >> (shift + bits)) & 1)
            ++bits;
        unsigned long v = bits >= 8 ? static_cast<unsigned long>(value) << (bits - 8) : value >> (8 - bits);
        return (v << shift) & mask;
    }

    ::Display* display_;
    Window window_;
    Visual* visual_;
    int depth_;
    int width_;
    int height_;
    GC gc_;
};

int ShowWindow(CImage& image, std::string const& title)
{
    ::Display* display = XOpenDisplay(nullptr);
    if (!display) {
        const char* name = std::getenv("DISPLAY");
        return tool::Fail("view", name && *name ? "cannot open the X display " + std::string(name)
                                                : std::string("no X display (DISPLAY is not set)"));
    }
    int screen = DefaultScreen(display);
    XVisualInfo wanted;
    wanted.visualid = XVisualIDFromVisual(DefaultVisual(display, screen));
    int found = 0;
    XVisualInfo* info = XGetVisualInfo(display, VisualIDMask, &wanted, &found);
    bool trueColor = info && found > 0 && info->c_class == TrueColor;
    if (info)
        XFree(info);
    if (!trueColor) {
        XCloseDisplay(display);
        return tool::Fail("view", "the X display has no true-colour default visual");
    }

    int width = std::min(image.Width(), DisplayWidth(display, screen));
    int height = std::min(image.Height(), DisplayHeight(display, screen));
    Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                                        static_cast<unsigned>(height), 0, BlackPixel(display, screen),
                                        BlackPixel(display, screen));
    XStoreName(display, window, title.c_str());
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XSelectInput(display, window, ExposureMask | KeyPressMask | StructureNotifyMask);
    XMapWindow(display, window);

    bool destroyed = false;
    {
        WindowDC dc(display, window, DefaultVisual(display, screen), DefaultDepth(display, screen), width, height);
        bool shown = false;
        int dirtyTop = height, dirtyEnd = 0; // rows exposed since the last drawing
        for (bool open = true; open;) {
            XEvent event;
            XNextEvent(display, &event);
            switch (event.type) {
            case Expose:
                dirtyTop = std::min(dirtyTop, event.xexpose.y);
                dirtyEnd = std::max(dirtyEnd, event.xexpose.y + event.xexpose.height);
                if (event.xexpose.count == 0) {
                    DrawRows(image, &dc, dirtyTop, dirtyEnd);
                    XSync(display, False);
                    dirtyTop = height;
                    dirtyEnd = 0;
                    if (!shown) {
                        shown = true;
                        std::printf("showing %s (%dx%d); press a key or close the window\n", title.c_str(),
                                    image.Width(), image.Height());
                        std::fflush(stdout);
                    }
                }
                break;
            case ConfigureNotify:
                dc.Resize(event.xconfigure.width, event.xconfigure.height);
                height = event.xconfigure.height;
                break;
            case KeyPress: open = false; break;
            case DestroyNotify: // destroyed by someone else: nothing left to destroy
                open = false;
                destroyed = true;
                break;
            case ClientMessage:
                if (static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow)
                    open = false;
                break;
            default: break;
            }
        }
    }
    if (!destroyed)
        XDestroyWindow(display, window);
    XCloseDisplay(display);
    return 0;
}
#endif

int RunView(std::vector<std::string> const& args)
{
    tool::Options options;
    int status = 0;
    if (!tool::ParseOptions("view", args, {{"--sample", true}, {"--snapshot", true}}, options, status))
        return status;
    if (options.positional.size() > 1)
        return tool::UsageError("view", "more than one file given");
    const std::string file = options.positional.empty() ? std::string() : options.positional[0];
    const std::string sample = options.Value("--sample"), snapshot = options.Value("--snapshot");
    if (file.empty() == !options.Has("--sample"))
        return tool::UsageError("view", "give one image FILE or --sample WxH");
    if (options.Has("--snapshot") && !tool::WritableExtension(tool::LowerExtension(snapshot)))
        return tool::Fail(snapshot, tool::NoWriterText());

    tool::ImagePtr image;
    std::string title = file;
    if (!sample.empty()) {
        int w = 0, h = 0;
        if (!tool::ParseSize(sample, w, h))
            return tool::UsageError("view", "--sample: '" + sample + "' is not a size WxH");
        image.reset(tool::MakeSampleImage(w, h).release());
        title = "sample " + sample;
    } else {
        CIO::IOError error = CIO::IOERR_NONE;
        image = tool::LoadImageFile(file, error);
        if (!image)
            return tool::Fail(file, tool::IOErrorText(error));
    }
    if (image->Width() < 1 || image->Height() < 1)
        return tool::Fail(title, "the image has no pixels");
    std::string reason;
    image = ToDrawable(std::move(image), reason);
    if (!image)
        return tool::Fail(title, reason);

    if (options.Has("--snapshot"))
        return Snapshot(*image, snapshot);
#if TESSERA_HAVE_X11
    return ShowWindow(*image, title);
#else
    return tool::Fail("view", "this tessera was built without X11 support; use --snapshot OUT");
#endif
}

int RunViewGuarded(std::vector<std::string> const& args)
{
    try {
        return RunView(args);
    } catch (std::bad_alloc const&) {
        return tool::Fail("view", "out of memory for this image");
    }
}

tool::CommandRegistrar registrar({
    "view",
    "show an image in a window on the X display",
    "usage: tessera view FILE\n"
    "       tessera view --sample WxH\n"
    "       tessera view FILE --snapshot OUT\n"
    "\n"
    "Opens a window on the X display named by DISPLAY and draws the image in it, band\n"
    "by band through the toolkit's buffer blitter; the window closes on a key press or\n"
    "with its close button. Grey, palette and RGB images are drawn as they are; other\n"
    "modes are converted (16-bit samples narrowed, alpha dropped, HLS/HSV/YCbCr to\n"
    "RGB). A window larger than the screen shows the top-left part of the image.\n"
    "Without a display the command says so and exits with status 1.\n"
    "\n"
    "Options:\n"
    "  --sample WxH     show the generated sample picture of that size instead of a file\n"
    "  --snapshot OUT   draw into an off-screen surface instead of a window and save\n"
    "                   it as the image OUT (format by extension)\n"
    "\n"
    "Examples:\n"
    "  tessera view photo.bmp\n"
    "  tessera view --sample 320x200 --snapshot sample.bmp\n",
    RunViewGuarded,
});

} // namespace
#endif
