// A small BMP encoder for tests: every header field can be set on its own, so that
// tests can make valid files of each kind and break them one field at a time.
#pragma once

#include "bmp/BmpIO.h"
#include "image/Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace bmptest {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

inline void Put32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint32_t Get32(Bytes const& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

inline uint16_t Get16(Bytes const& b, size_t at)
{
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

struct Rgb {
    uint8_t r, g, b;
};

struct BmpBuilder {
    bool fileHeader = true;
    uint32_t headerSize = 40;
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    int32_t ppm = 0;
    int32_t colorsUsed = 0;
    std::vector<Rgb> table;       // written blue, green, red, 0
    std::vector<uint32_t> masks;  // after a 40-byte header, or inside a longer one
    Bytes pixels;                 // pixel data as stored (rows bottom-up, padded)
    long pixelOffset = -1;        // -1: right after the table
    Bytes gap;                    // bytes between the table and the pixel data

    // Pixel data from unpadded rows given top row first; each is padded to 4 bytes.
    BmpBuilder& Rows(std::vector<Bytes> const& topDown)
    {
        pixels.clear();
        for (auto it = topDown.rbegin(); it != topDown.rend(); ++it) {
            Bytes row = *it;
            while (row.size() % 4)
                row.push_back(0);
            pixels.insert(pixels.end(), row.begin(), row.end());
        }
        return *this;
    }

    Bytes Build() const
    {
        Bytes info(headerSize < 40 ? 40 : headerSize, 0);
        Put32(info, 0, headerSize);
        Put32(info, 4, static_cast<uint32_t>(width));
        Put32(info, 8, static_cast<uint32_t>(height));
        Put16(info, 12, 1);
        Put16(info, 14, bitCount);
        Put32(info, 16, compression);
        Put32(info, 20, static_cast<uint32_t>(pixels.size()));
        Put32(info, 24, static_cast<uint32_t>(ppm));
        Put32(info, 28, static_cast<uint32_t>(ppm));
        Put32(info, 32, static_cast<uint32_t>(colorsUsed));
        Bytes after;
        if (headerSize >= 52) {
            for (size_t i = 0; i < masks.size() && 40 + 4 * i + 4 <= headerSize; ++i)
                Put32(info, 40 + 4 * i, masks[i]);
        } else {
            for (uint32_t m : masks) {
                after.resize(after.size() + 4);
                Put32(after, after.size() - 4, m);
            }
        }
        for (Rgb c : table) {
            after.push_back(c.b);
            after.push_back(c.g);
            after.push_back(c.r);
            after.push_back(0);
        }
        after.insert(after.end(), gap.begin(), gap.end());
        Bytes out;
        if (fileHeader) {
            out.assign(14, 0);
            out[0] = 'B';
            out[1] = 'M';
            const size_t offset = pixelOffset >= 0 ? static_cast<size_t>(pixelOffset) : 14 + info.size() + after.size();
            Put32(out, 2, static_cast<uint32_t>(14 + info.size() + after.size() + pixels.size()));
            Put32(out, 10, static_cast<uint32_t>(offset));
        }
        out.insert(out.end(), info.begin(), info.end());
        out.insert(out.end(), after.begin(), after.end());
        out.insert(out.end(), pixels.begin(), pixels.end());
        return out;
    }
};

// A folder of its own under the system's temporary folder, removed with its files.
struct TempDir {
    TempDir()
    {
        char pattern[] = "/tmp/bmp_test_XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string File(std::string const& name) const { return path + "/" + name; }
    // Names in the folder (hidden ones too), sorted.
    std::vector<std::string> List() const
    {
        std::vector<std::string> names;
        for (auto const& entry : std::filesystem::directory_iterator(path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string path;
};

inline void WriteFile(std::string const& path, Bytes const& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadFile(std::string const& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

using ImagePtr = std::unique_ptr<CImage>;

// Loads bytes through the file-name overload.
inline ImagePtr LoadBytes(Bytes const& bytes, CIO::IOError& error)
{
    static TempDir dir; // one folder for the whole run
    std::string path = dir.File("in.bmp");
    WriteFile(path, bytes);
    return ImagePtr(CBmpIO::Load(CString(path.c_str()), error));
}

// All samples of an image, rows top-down, interleaved in plane order.
inline Bytes Pixels(CImage& image)
{
    CPixMap map(image.GetMode(), image.Width(), image.Height(), true);
    image.GetBuf(0, 0, map, MM_CLIP, 1);
    Bytes out;
    const size_t rowBytes = static_cast<size_t>(image.Width()) * image.GetPlanes();
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* row = map.plane[0].data + static_cast<long>(y) * map.plane[0].rowStride;
        out.insert(out.end(), row, row + rowBytes);
    }
    return out;
}

// An image of the given mode filled from interleaved top-down samples.
inline ImagePtr MakeImage(IMAGE_MODE mode, int width, int height, Bytes const& samples, double dpi = 0)
{
    ImagePtr image(new CImage(mode, width, height, dpi));
    CPixMap map(mode, width, height, true);
    const size_t rowBytes = static_cast<size_t>(width) * image->GetPlanes();
    for (int y = 0; y < height; ++y)
        std::copy(samples.begin() + y * rowBytes, samples.begin() + (y + 1) * rowBytes,
                  map.plane[0].data + static_cast<long>(y) * map.plane[0].rowStride);
    image->SetBuf(0, 0, map, MM_CLIP, 1);
    return image;
}

// Deterministic pseudo-random bytes.
inline Bytes RandomBytes(size_t n, uint32_t seed)
{
    Bytes out(n);
    uint32_t s = seed * 2654435761u + 1;
    for (auto& b : out) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        b = static_cast<uint8_t>(s >> 11);
    }
    return out;
}

} // namespace bmptest
