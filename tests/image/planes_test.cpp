// The plane primitives: contiguous and strided copies, negative row strides,
// narrowing and fills, checked against the bytes they may and may not touch.
#include "image/Planes.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

TEST(CopyPlane8, CountZeroWritesNothing)
{
    std::array<unsigned char, 8> src{1, 2, 3, 4, 5, 6, 7, 8}, dst{};
    CopyPlane8(dst.data(), 1, 4, src.data(), 1, 4, 0, 2);
    CopyPlane8(dst.data(), 1, 4, src.data(), 1, 4, 4, 0);
    EXPECT_EQ(dst, (std::array<unsigned char, 8>{}));
}

TEST(CopyPlane8, NegativeRowStrideFillsUpwards)
{
    std::array<unsigned char, 6> src{1, 2, 3, 4, 5, 6};
    std::array<unsigned char, 9> dst{};
    // Two rows into the last row of a three-row buffer: that row and the one above.
    CopyPlane8(dst.data() + 6, 1, -3, src.data(), 1, 3, 3, 2);
    EXPECT_EQ(dst, (std::array<unsigned char, 9>{0, 0, 0, 4, 5, 6, 1, 2, 3}));
}

TEST(CopyPlane8, ThreeStridedPassesSwapRedAndBlue)
{
    std::array<unsigned char, 6> src{1, 2, 3, 4, 5, 6}, dst{};
    for (int k = 0; k < 3; ++k)
        CopyPlane8(dst.data() + k, 3, 6, src.data() + 2 - k, 3, 6, 2, 1);
    EXPECT_EQ(dst, (std::array<unsigned char, 6>{3, 2, 1, 6, 5, 4}));
}

TEST(CopyPlane8, SourceStepFourTakesLowBytes)
{
    std::array<std::uint32_t, 3> src{0x11223344, 0xAABBCCDD, 0x01020304};
    std::array<unsigned char, 3> dst{};
    CopyPlane8(dst.data(), 1, 3, reinterpret_cast<unsigned char*>(src.data()), 4, 12, 3, 1);
    EXPECT_EQ(dst, (std::array<unsigned char, 3>{0x44, 0xDD, 0x04}));
}

TEST(CopyPlane16, ContiguousMovesExactlyTheSamples)
{
    std::array<unsigned char, 8> src{1, 2, 3, 4, 5, 6, 7, 8};
    std::array<unsigned char, 8> dst{};
    dst.fill(0xEE);
    CopyPlane16(dst.data(), 1, 8, src.data(), 1, 8, 3, 1);
    EXPECT_EQ(dst, (std::array<unsigned char, 8>{1, 2, 3, 4, 5, 6, 0xEE, 0xEE}));
}

TEST(CopyPlane16, SourceStepTwoTakesEveryOtherSample)
{
    std::array<std::uint16_t, 6> src{10, 11, 12, 13, 14, 15};
    std::array<std::uint16_t, 3> dst{};
    CopyPlane16(reinterpret_cast<unsigned char*>(dst.data()), 1, 6, reinterpret_cast<unsigned char*>(src.data()), 2,
                12, 3, 1);
    EXPECT_EQ(dst, (std::array<std::uint16_t, 3>{10, 12, 14}));
}

TEST(HighBytePlane16, TakesTheSecondByteAndIgnoresNonPositiveCounts)
{
    std::array<std::uint16_t, 2> src{0x1234, 0xABCD};
    std::array<unsigned char, 4> dst{};
    HighBytePlane16(dst.data(), 2, 4, reinterpret_cast<unsigned char*>(src.data()), 1, 4, 2, 1);
    EXPECT_EQ(dst, (std::array<unsigned char, 4>{0x12, 0, 0xAB, 0}));
    std::array<unsigned char, 4> untouched{};
    HighBytePlane16(untouched.data(), 1, 4, reinterpret_cast<unsigned char*>(src.data()), 1, 4, -1, 1);
    HighBytePlane16(untouched.data(), 1, 4, reinterpret_cast<unsigned char*>(src.data()), 1, 4, 2, 0);
    EXPECT_EQ(untouched, (std::array<unsigned char, 4>{}));
}

TEST(FillBytes, UsesTheLowByteAndStopsAtLength)
{
    std::array<unsigned char, 9> dst{};
    FillBytes(dst.data(), 0x1AB, 7);
    EXPECT_EQ(dst, (std::array<unsigned char, 9>{0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0, 0}));
}

TEST(FillPlane8, StepTwoTouchesAlternateBytesOnly)
{
    std::array<unsigned char, 11> dst{};
    FillPlane8(dst.data(), 2, 11, 7, 5, 1);
    EXPECT_EQ(dst, (std::array<unsigned char, 11>{7, 0, 7, 0, 7, 0, 7, 0, 7, 0, 0}));
}

TEST(CopyBytes, CopiesFrontToBack)
{
    std::array<unsigned char, 7> src{1, 2, 3, 4, 5, 6, 7}, dst{};
    CopyBytes(dst.data(), src.data(), 6);
    EXPECT_EQ(dst, (std::array<unsigned char, 7>{1, 2, 3, 4, 5, 6, 0}));
}
