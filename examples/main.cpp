// A small host of the toolkit: draws a star with a vector path into a coverage
// mask, paints it into an RGB image, saves it, loads it back, rotates it and saves
// the result. Usage: tessera-example OUTPUT_FOLDER
#include <tessera/tessera.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

int main(int argc, char** argv)
{
    std::string folder = argc > 1 ? argv[1] : ".";
    const int size = 200;

    // A five-pointed star, rasterized at 16 sub-scanlines into an 8-bit mask.
    CPath star;
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < 10; ++i) {
        double r = i % 2 ? 40.0 : 90.0, a = -pi / 2 + i * pi / 5;
        double x = size / 2 + r * std::cos(a), y = size / 2 + r * std::sin(a);
        if (i == 0)
            star.MoveTo(x, y);
        else
            star.LineTo(x, y);
    }
    star.Close();
    CPixMap mask(IM_GRAY, size, size, true);
    if (!star.Rasterize(CRect(0, 0, size, size), mask, CPath::FR_NON_ZERO, 16)) {
        std::fprintf(stderr, "rasterize failed\n");
        return 1;
    }

    // Paint: a blue-to-red gradient where the mask covers, white elsewhere.
    CImage picture(IM_RGB, size, size, 96.0);
    CPixMap rgb(IM_RGB, size, size, true);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int cover = mask.plane[0].data[y * mask.plane[0].rowStride + x];
            unsigned char* p = rgb.plane[0].data + y * rgb.plane[0].rowStride + 3 * x;
            int red = 255 * x / size, blue = 255 - red;
            p[0] = static_cast<unsigned char>((red * cover + 255 * (255 - cover)) / 255);
            p[1] = static_cast<unsigned char>((255 * (255 - cover)) / 255);
            p[2] = static_cast<unsigned char>((blue * cover + 255 * (255 - cover)) / 255);
        }
    }
    picture.SetBuf(0, 0, rgb, MM_CLIP, 1);

    CIO::IOError error = CIO::IOERR_NONE;
    std::string bmp = folder + "/example-star.bmp";
    if (!CIO::SaveImage(CString(bmp.c_str()), picture, 0, 0, error, CString())) {
        std::fprintf(stderr, "%s: save failed (error %d)\n", bmp.c_str(), error);
        return 1;
    }
    std::unique_ptr<CImage> loaded(CIO::LoadImageA(CString(bmp.c_str()), IOF_TO_RGB, error, nullptr));
    if (!loaded) {
        std::fprintf(stderr, "%s: load failed (error %d)\n", bmp.c_str(), error);
        return 1;
    }

    // Turn it by 30 degrees about its centre on a white background.
    CRotateScale rotate(*loaded);
    DPOINT centre{size / 2.0, size / 2.0};
    CColor white(CN_WHITE);
    std::unique_ptr<CImage> turned(rotate.Transform(size, size, pi / 6, &centre, true, true, &white));
    if (!turned) {
        std::fprintf(stderr, "rotation failed\n");
        return 1;
    }
    std::string tif = folder + "/example-star-rotated.tif";
    if (!CIO::SaveImage(CString(tif.c_str()), *turned, 0, 0, error, CString("rotated star"))) {
        std::fprintf(stderr, "%s: save failed (error %d)\n", tif.c_str(), error);
        return 1;
    }
    std::printf("wrote %s and %s (%d x %d)\n", bmp.c_str(), tif.c_str(), turned->Width(), turned->Height());
    return 0;
}
