// The row kernels: each fast path against its plain reference on random data.
#include "BmpBuilder.h"

#include "bmp/rows.h"

using namespace bmptest;

TEST(BmpRows, RedBlueSwapMatchesTheReference)
{
    for (size_t pixels = 0; pixels < 70; ++pixels) {
        Bytes data = RandomBytes(pixels * 3 + 8, static_cast<uint32_t>(pixels));
        Bytes want = data;
        bmp::SwapRedBlueReference(want.data(), pixels);
        Bytes got = data;
        bmp::SwapRedBlue(got.data(), pixels);
        ASSERT_EQ(got, want) << pixels; // the 8 bytes past the pixels included
#if TESSERA_BMP_X86
        if (bmp::HaveSsse3()) {
            got = data;
            bmp::SwapRedBlueSsse3(got.data(), pixels);
            ASSERT_EQ(got, want) << pixels;
        }
#endif
    }
}

TEST(BmpRows, ByteMaskPathsMatchTheGeneralMaskPath)
{
    const int width = 33;
    Bytes src = RandomBytes(width * 4, 3);
    bmp::PixelMasks masks;
    masks.red.Set(0x00FF0000);
    masks.green.Set(0x0000FF00);
    masks.blue.Set(0x000000FF);
    Bytes want(width * 3), got(width * 3);
    bmp::UnpackMasked(src.data(), width, 4, masks, want.data());
    bmp::Unpack32Bgrx(src.data(), width, got.data());
    EXPECT_EQ(got, want);

    masks.alpha.Set(0xFF000000);
    want.assign(width * 4, 0);
    got.assign(width * 4, 0);
    bmp::UnpackMasked(src.data(), width, 4, masks, want.data());
    bmp::Unpack32Bgra(src.data(), width, got.data());
    EXPECT_EQ(got, want);
}

TEST(BmpRows, ChannelWidening)
{
    bmp::ChannelMask m;
    m.Set(0x7C00); // 5 bits at 10
    EXPECT_EQ(m.Get(0x0000), 0);
    EXPECT_EQ(m.Get(0x7C00), 255);
    EXPECT_EQ(m.Get(0x0400), 8);
    m.Set(0x0000FFF0); // 12 bits: the top 8 kept
    EXPECT_EQ(m.Get(0xABC0), 0xAB);
    m.Set(0);
    EXPECT_EQ(m.Get(0xFFFFFFFF), 0);
    m.Set(0x80000000); // 1 bit
    EXPECT_EQ(m.Get(0x80000000), 255);
}
