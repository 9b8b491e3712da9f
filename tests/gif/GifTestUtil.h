// Helpers of the GIF tests: temporary files, pixel read-back, random pictures.
#pragma once

#include "GifEncoder.h"
#include "gif/GifIO.h"
#include "gif/GifInternal.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>

namespace giftest {

struct TempDir {
    std::filesystem::path path;
    TempDir()
    {
        char pattern[] = "/tmp/tessera-gif-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string Write(std::string const& name, Bytes const& bytes) const
    {
        std::string file = (path / name).string();
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return file;
    }
    std::string operator/(std::string const& name) const { return (path / name).string(); }
};

struct ImageDeleter {
    void operator()(CImage* image) const { delete image; }
};
using ImagePtr = std::unique_ptr<CImage, ImageDeleter>;

// Loads through a real file with the public entry point.
inline ImagePtr LoadFile(Bytes const& bytes, CIO::IOError& error)
{
    TempDir dir;
    return ImagePtr(CGifIO::Load(CString(dir.Write("t.gif", bytes).c_str()), error));
}

inline bool AnimatedFile(Bytes const& bytes)
{
    TempDir dir;
    return CGifIO::IsAnimated(CString(dir.Write("t.gif", bytes).c_str()));
}

inline ImagePtr LoadMemory(Bytes const& bytes, CIO::IOError& error, size_t capacity = 64 * 1024)
{
    return ImagePtr(gif::LoadFromMemory(bytes.data(), bytes.size(), error, 0, capacity));
}

// All pixels of an 8-bit single-plane image, top-down.
inline Bytes Pixels(CImage& image)
{
    CPixMap map(image.GetMode(), image.Width(), image.Height(), false);
    image.GetBuf(0, 0, map, MM_CLIP, 1);
    Bytes out;
    out.reserve(static_cast<size_t>(image.Width()) * image.Height());
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* row = map.plane[0].data + static_cast<long>(y) * map.plane[0].rowStride;
        out.insert(out.end(), row, row + image.Width());
    }
    return out;
}

// Random pixels below `colors`, with runs and repeats so that strings get long.
inline Bytes RandomPixels(size_t count, int colors, uint32_t seed, int runiness = 3)
{
    std::mt19937 rng(seed);
    Bytes out(count);
    uint8_t v = 0;
    for (size_t i = 0; i < count; ++i) {
        if (rng() % static_cast<unsigned>(runiness + 1) == 0)
            v = static_cast<uint8_t>(rng() % static_cast<unsigned>(colors));
        out[i] = v;
    }
    return out;
}

} // namespace giftest
