// Cross-checks against Pillow (Debian's python3-pil): files Pillow writes read
// the same here, files written here read the same in Pillow, and Pillow's decoding of
// bit-field files agrees. Skipped with a message when Pillow is not installed.
#include "BmpBuilder.h"

#include <cstdlib>
#include <sstream>

using namespace bmptest;

namespace {

const char* kScript = R"PY(
import sys
from PIL import Image
cmd = sys.argv[1]
if cmd == "make":
    mode, w, h, raw, out = sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5], sys.argv[6]
    im = Image.frombytes(mode, (w, h), open(raw, "rb").read())
    if mode == "P":
        im.putpalette([v for i in range(256) for v in (i, 255 - i, 7)])
    im.save(out, "BMP")
elif cmd == "dump":
    im = Image.open(sys.argv[2])
    im.load()
    with open(sys.argv[3], "wb") as f:
        f.write(("%s %d %d\n" % (im.mode, im.size[0], im.size[1])).encode())
        f.write(im.tobytes())
)PY";

class Pillow : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* candidate : {"/usr/bin/python3", "python3"}) {
            std::string probe = std::string(candidate) + " -c 'import PIL' >/dev/null 2>&1";
            if (std::system(probe.c_str()) == 0) {
                python_ = candidate;
                break;
            }
        }
        if (python_.empty())
            GTEST_SKIP() << "Pillow (python3-pil) not installed: cross-checks skipped";
        script_ = dir_.File("pillow.py");
        WriteFile(script_, Bytes(kScript, kScript + std::strlen(kScript)));
    }

    bool Run(std::string const& args)
    {
        std::string command = python_ + " " + script_ + " " + args;
        return std::system(command.c_str()) == 0;
    }

    // Pillow's mode and samples of a file.
    bool Dump(std::string const& path, std::string& mode, Bytes& samples)
    {
        std::string out = dir_.File("dump");
        if (!Run("dump " + path + " " + out))
            return false;
        Bytes bytes = ReadFile(out);
        auto newline = std::find(bytes.begin(), bytes.end(), '\n');
        std::istringstream head(std::string(bytes.begin(), newline));
        head >> mode;
        samples.assign(newline + 1, bytes.end());
        return true;
    }

    TempDir dir_;
    std::string python_;
    std::string script_;
};

} // namespace

TEST_F(Pillow, FilesPillowWritesReadTheSame)
{
    const int w = 37, h = 290;
    const struct {
        const char* mode;
        int bytesPerPixel; // in Pillow's raw layout; 0: one bit
        IMAGE_MODE expect;
    } cases[] = {{"1", 0, IM_GRAY}, {"L", 1, IM_GRAY}, {"P", 1, IM_INDEXED}, {"RGB", 3, IM_RGB}, {"RGBA", 4, IM_RGB}};
    for (auto const& c : cases) {
        const size_t rawBytes = c.bytesPerPixel ? static_cast<size_t>(w) * h * c.bytesPerPixel : (w + 7) / 8 * h;
        Bytes raw = RandomBytes(rawBytes, static_cast<uint32_t>(c.bytesPerPixel + 3));
        WriteFile(dir_.File("raw"), raw);
        std::string file = dir_.File(std::string("p_") + c.mode + ".bmp");
        ASSERT_TRUE(Run(std::string("make ") + c.mode + " " + std::to_string(w) + " " + std::to_string(h) + " " +
                        dir_.File("raw") + " " + file));
        CIO::IOError error = CIO::IOERR_NOT_FOUND;
        ImagePtr image(CBmpIO::Load(CString(file.c_str()), error));
        ASSERT_TRUE(image) << c.mode << " error " << error;
        EXPECT_EQ(image->GetMode(), c.expect) << c.mode;
        Bytes want;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                if (c.bytesPerPixel == 0) {
                    // Black then white: the two-entry exchange reads bit 0 as 255.
                    const int bit = (raw[y * ((w + 7) / 8) + x / 8] >> (7 - x % 8)) & 1;
                    want.push_back(bit ? 0 : 255);
                } else {
                    const uint8_t* p = &raw[(static_cast<size_t>(y) * w + x) * c.bytesPerPixel];
                    want.insert(want.end(), p, p + std::min(c.bytesPerPixel, 3));
                }
            }
        }
        EXPECT_EQ(Pixels(*image), want) << c.mode;
    }
}

TEST_F(Pillow, FilesWrittenHereReadTheSameInPillow)
{
    const int w = 41, h = 270;
    const struct {
        IMAGE_MODE mode;
        bool rle;
        const char* pillowMode;
    } cases[] = {{IM_GRAY, false, "L"},   {IM_GRAY, true, "L"}, {IM_INDEXED, false, "P"},
                 {IM_INDEXED, true, "P"}, {IM_RGB, false, "RGB"}};
    for (auto const& c : cases) {
        Bytes px = RandomBytes(static_cast<size_t>(w) * h * ModePlaneCount(c.mode), 11);
        for (size_t i = 0; i < px.size(); ++i) // runs and literals both
            px[i] = px[i] < 128 ? static_cast<uint8_t>(i / 50) : px[i];
        ImagePtr image = MakeImage(c.mode, w, h, px);
        CLut lut;
        for (int i = 0; i < 256; ++i)
            lut[i] = LutColor{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7};
        image->SetLut(lut);
        std::string file = dir_.File("ours.bmp");
        CIO::IOError error;
        ASSERT_TRUE(CBmpIO::Save(CString(file.c_str()), *image, c.rle, error));
        std::string mode;
        Bytes samples;
        ASSERT_TRUE(Dump(file, mode, samples)) << c.mode << " rle " << c.rle;
        EXPECT_EQ(mode, c.pillowMode);
        EXPECT_EQ(samples, px) << c.mode << " rle " << c.rle;
    }
}

TEST_F(Pillow, BitFieldFilesDecodeAlike)
{
    const int w = 64, h = 3;
    const struct {
        uint16_t bitCount;
        std::vector<uint32_t> masks;
        uint32_t headerSize;
        int tolerance; // Pillow widens 5- and 6-bit channels by truncation
    } cases[] = {
        {16, {0xF800, 0x07E0, 0x001F}, 40, 1},
        {16, {0x7C00, 0x03E0, 0x001F}, 40, 1},
        {32, {0x00FF0000, 0x0000FF00, 0x000000FF}, 40, 0},
        {32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, 108, 0},
    };
    for (auto const& c : cases) {
        BmpBuilder b;
        b.bitCount = c.bitCount;
        b.compression = 3;
        b.headerSize = c.headerSize;
        b.masks = c.masks;
        b.width = w;
        b.height = h;
        b.pixels = RandomBytes(static_cast<size_t>(w) * h * c.bitCount / 8, c.bitCount);
        std::string file = dir_.File("masked.bmp");
        WriteFile(file, b.Build());
        CIO::IOError error;
        ImagePtr image(CBmpIO::Load(CString(file.c_str()), error));
        ASSERT_TRUE(image);
        std::string mode;
        Bytes theirs;
        ASSERT_TRUE(Dump(file, mode, theirs));
        Bytes ours = Pixels(*image);
        ASSERT_EQ(ours.size(), theirs.size()) << mode;
        const bool alpha = image->HasAlpha();
        for (size_t i = 0; i < ours.size(); i += alpha ? 4 : 3) {
            for (int k = 0; k < 3; ++k) {
                // Ours: alpha first; Pillow's RGBA: alpha last.
                const int a = ours[i + k + (alpha ? 1 : 0)], t = theirs[i + k];
                ASSERT_LE(std::abs(a - t), c.tolerance) << c.bitCount << " sample " << i;
            }
            if (alpha) {
                ASSERT_EQ(ours[i], theirs[i + 3]);
            }
        }
    }
}
