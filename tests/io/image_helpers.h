// Test helpers: build a CImage from interleaved sample bytes and read one back,
// through SetBuf/GetBuf with a whole-image interleaved map.
#pragma once

#include "image/Image.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

inline int BytesPerPixel(IMAGE_MODE mode)
{
    return ModePlaneCount(mode) * ModeBitsPerSample(mode) / 8;
}

// samples: width * height pixels, each BytesPerPixel bytes (alpha first, 16-bit low byte first).
inline std::unique_ptr<CImage> MakeImage(IMAGE_MODE mode, int width, int height, std::vector<unsigned char> const& samples,
                                         double dpi = 72.0)
{
    auto image = std::make_unique<CImage>(mode, width, height, dpi);
    if (width < 1 || height < 1)
        return image;
    CPixMap map(mode, width, height, true);
    const size_t row = static_cast<size_t>(width) * BytesPerPixel(mode);
    for (int y = 0; y < height; ++y)
        std::copy(samples.begin() + y * row, samples.begin() + (y + 1) * row,
                  map.plane[0].data + static_cast<long>(y) * map.plane[0].rowStride);
    image->SetBuf(0, 0, map, MM_CLIP, 1);
    return image;
}

inline std::vector<unsigned char> Pixels(CImage& image)
{
    const int w = image.Width(), h = image.Height();
    const size_t row = static_cast<size_t>(w) * BytesPerPixel(image.GetMode());
    std::vector<unsigned char> out(row * static_cast<size_t>(h > 0 ? h : 0));
    if (w < 1 || h < 1)
        return out;
    CPixMap map(image.GetMode(), w, h, true);
    image.GetBuf(0, 0, map, MM_CLIP, 1);
    for (int y = 0; y < h; ++y)
        std::copy(map.plane[0].data + static_cast<long>(y) * map.plane[0].rowStride,
                  map.plane[0].data + static_cast<long>(y) * map.plane[0].rowStride + row, out.begin() + y * row);
    return out;
}

inline std::vector<unsigned char> RandomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<unsigned char> v(n);
    for (auto& b : v)
        b = static_cast<unsigned char>(rng());
    return v;
}

inline std::unique_ptr<CImage> RandomImage(IMAGE_MODE mode, int width, int height, unsigned seed)
{
    return MakeImage(mode, width, height,
                     RandomBytes(static_cast<size_t>(width) * height * BytesPerPixel(mode), seed));
}

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

// A fresh folder under the system's temporary folder, removed with its content.
struct ScratchFolder {
    std::filesystem::path path;
    ScratchFolder()
    {
        char pattern[] = "/tmp/tessera-io-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(std::string const& name) const { return (path / name).string(); }
    // Names of the entries, to check that nothing stray was left behind.
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (auto const& e : std::filesystem::directory_iterator(path))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

inline std::string ReadFile(std::string const& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(std::string const& path, std::string const& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
