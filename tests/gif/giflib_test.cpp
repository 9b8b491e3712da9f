// giflib as an outside oracle: it must read the test encoder's files as the pictures
// they were made from, and CGifIO must agree with it.
#include "GifTestUtil.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

using namespace giftest;

namespace {

struct Reader {
    Bytes const* bytes;
    size_t pos;
};

int ReadMemory(GifFileType* gif, GifByteType* dst, int n)
{
    Reader* r = static_cast<Reader*>(gif->UserData);
    size_t k = std::min(static_cast<size_t>(n), r->bytes->size() - r->pos);
    std::memcpy(dst, r->bytes->data() + r->pos, k);
    r->pos += k;
    return static_cast<int>(k);
}

// The first image's indices as giflib decodes them (top-down), or empty.
Bytes GiflibPixels(Bytes const& file)
{
    Reader r{&file, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&r, ReadMemory, &error);
    if (!gif)
        return {};
    Bytes out;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0) {
        SavedImage const& image = gif->SavedImages[0];
        size_t n = static_cast<size_t>(image.ImageDesc.Width) * image.ImageDesc.Height;
        out.assign(image.RasterBits, image.RasterBits + n);
    }
    DGifCloseFile(gif, &error);
    return out;
}

} // namespace

TEST(GifGiflib, ReadsTheTestEncodersFilesLikeCGifIO)
{
    struct Row {
        int width, height, minCodeSize, subBlock;
        bool interlaced, deferredClear;
        int clearEvery;
    } const rows[] = {
        {31, 17, 8, 255, false, false, 0}, {31, 17, 8, 255, true, false, 0}, {200, 150, 8, 7, true, false, 0},
        {64, 64, 2, 255, false, false, 0}, {120, 90, 5, 255, true, false, 101}, {300, 300, 8, 255, false, true, 0},
        {9, 1000, 3, 1, false, false, 0},
    };
    uint32_t seed = 300;
    for (auto const& r : rows) {
        int colors = 1 << r.minCodeSize;
        File f = OneFrame(r.width, r.height, RandomPixels(static_cast<size_t>(r.width) * r.height, colors, ++seed),
                          r.interlaced, r.minCodeSize);
        f.frames[0].subBlockSize = r.subBlock;
        f.frames[0].lzw.deferredClear = r.deferredClear;
        f.frames[0].lzw.clearEvery = r.clearEvery;
        Bytes file = Build(f);
        EXPECT_TRUE(GiflibPixels(file) == f.frames[0].pixels) << r.width << "x" << r.height;
        CIO::IOError error;
        ImagePtr image = LoadMemory(file, error);
        ASSERT_NE(image, nullptr);
        EXPECT_TRUE(Pixels(*image) == f.frames[0].pixels);
    }
}
