// Fuzz target for the BMP reader: both Load overloads on the same bytes (the stream
// overload positioned after a 14-byte file header, as a packed DIB), and for images
// that load, a save and reload (plain and RLE8) that must give back the same pixels.
#include "bmp/BmpIO.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

std::string TempName(const char* stem)
{
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(folder) + "/" + stem + "_" + std::to_string(getpid()) + ".bmp";
}

bool SamePixels(CImage& a, CImage& b)
{
    if (a.GetMode() != b.GetMode() || a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    CPixMap ma(a.GetMode(), a.Width(), 1, true), mb(b.GetMode(), b.Width(), 1, true);
    const size_t rowBytes = static_cast<size_t>(a.Width()) * a.GetPlanes();
    for (int y = 0; y < a.Height(); ++y) {
        a.GetBuf(0, y, ma, MM_CLIP, 1);
        b.GetBuf(0, y, mb, MM_CLIP, 1);
        if (std::memcmp(ma.plane[0].data, mb.plane[0].data, rowBytes) != 0)
            return false;
    }
    return true;
}

// Saves and reloads a loaded image; the pixels must survive.
void RoundTrip(CImage& image, bool rle)
{
    const IMAGE_MODE mode = image.GetMode();
    if (mode != IM_GRAY && mode != IM_INDEXED && mode != IM_RGB)
        return;
    if (static_cast<long long>(image.Width()) * image.Height() > (1 << 16))
        return; // keeps each run short
    static const std::string out = TempName("bmp_save_fuzz");
    CIO::IOError error;
    if (!CBmpIO::Save(CString(out.c_str()), image, rle, error))
        std::abort();
    std::unique_ptr<CImage> back(CBmpIO::Load(CString(out.c_str()), error));
    // An indexed image whose used entries are all grey comes back as IM_GRAY.
    if (!back || error != CIO::IOERR_NONE || (mode != IM_INDEXED && !SamePixels(image, *back)))
        std::abort();
    std::remove(out.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = TempName("bmp_load_fuzz");
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    CIO::IOError error = CIO::IOERR_NONE;
    std::unique_ptr<CImage> image(CBmpIO::Load(CString(path.c_str()), error));
    if (image && error != CIO::IOERR_NONE)
        std::abort();
    if (image)
        RoundTrip(*image, size & 1);

    CFile file;
    if (file.Open(path.c_str(), CFile::modeRead)) {
        if (size > 14)
            file.Seek(14, CFile::begin);
        std::unique_ptr<CImage> dib(CBmpIO::Load(file, error));
        if (dib && error != CIO::IOERR_NONE)
            std::abort();
    }
    std::remove(path.c_str());
    return 0;
}
