// The fast LZW decoder against the plain one, on encoder output, on random bytes, and
// on valid streams that turn into garbage part way (where the fast decoder hands over
// to the plain one).
#include "GifTestUtil.h"
#include "gif/lzw.h"

#include <gtest/gtest.h>

#include <random>

using namespace giftest;

namespace {

struct Decoded {
    Bytes pixels;
    int status = 0; // 0 when the pixel limit was reached first
    size_t position = 0;
};

Decoded RunReference(Bytes const& blocks, int minCodeSize, size_t limit)
{
    gif::MemorySource source(blocks.data(), blocks.size());
    gif::GifInput input(source, 1024);
    gif::CodeReader reader(input);
    std::unique_ptr<gif::LzwReference> lzw(new gif::LzwReference(reader));
    lzw->Start(minCodeSize);
    Decoded d;
    while (d.pixels.size() < limit) {
        int v = lzw->NextPixel();
        if (v < 0) {
            d.status = v;
            break;
        }
        d.pixels.push_back(static_cast<uint8_t>(v));
    }
    d.position = blocks.size() - input.Available();
    return d;
}

Decoded RunFast(Bytes const& blocks, int minCodeSize, size_t limit, std::mt19937& rng)
{
    gif::MemorySource source(blocks.data(), blocks.size());
    gif::GifInput input(source, 1024 + rng() % 4096);
    gif::CodeReader reader(input);
    std::unique_ptr<gif::LzwDecoder> lzw(new gif::LzwDecoder(reader));
    lzw->Start(minCodeSize);
    Decoded d;
    Bytes buffer;
    while (d.pixels.size() < limit && lzw->Status() == 0) {
        size_t want = 1 + rng() % (rng() % 2 ? 16 : 5000);
        buffer.assign(want + gif::kDecodeSlack, 0xEE);
        size_t got = lzw->Decode(buffer.data(), want);
        if (lzw->Status() == 0) {
            EXPECT_GE(got, want);
        }
        d.pixels.insert(d.pixels.end(), buffer.begin(), buffer.begin() + static_cast<long>(got));
    }
    d.status = lzw->Status();
    if (d.pixels.size() >= limit) {
        d.pixels.resize(limit);
        d.status = 0;
    }
    d.position = blocks.size() - input.Available();
    return d;
}

void ExpectSame(Bytes const& blocks, int minCodeSize, size_t limit, std::mt19937& rng, std::string const& what)
{
    Decoded plain = RunReference(blocks, minCodeSize, limit);
    Decoded fast = RunFast(blocks, minCodeSize, limit, rng);
    ASSERT_EQ(fast.pixels.size(), plain.pixels.size()) << what;
    ASSERT_TRUE(fast.pixels == plain.pixels) << what;
    ASSERT_EQ(fast.status, plain.status) << what;
    if (plain.status == gif::kLzwEndCode) {
        ASSERT_EQ(fast.position, plain.position) << what;
    }
}

LzwOptions RandomOptions(std::mt19937& rng, int minCodeSize)
{
    LzwOptions o;
    o.minCodeSize = minCodeSize;
    o.leadingClear = rng() % 4 != 0;
    o.deferredClear = rng() % 3 == 0;
    o.clearEvery = rng() % 4 == 0 ? static_cast<int>(1 + rng() % 3000) : 0;
    o.literalOnly = minCodeSize < 2 || rng() % 10 == 0;
    return o;
}

} // namespace

TEST(Lzw, FastDecoderMatchesThePlainOneOnEncoderOutput)
{
    std::mt19937 rng(2024);
    for (int round = 0; round < 150; ++round) {
        const int m = static_cast<int>(rng() % 12);
        const int colors = m >= 8 ? 256 : 1 << m;
        const size_t count = 1 + rng() % 40000;
        Bytes pixels = RandomPixels(count, std::max(1, static_cast<int>(1 + rng() % colors)), rng(),
                                    static_cast<int>(rng() % 40));
        LzwOptions o = RandomOptions(rng, m);
        Bytes blocks = SubBlocks(LzwEncode(pixels.data(), count, o), static_cast<int>(1 + rng() % 255));
        std::string what = "round " + std::to_string(round) + " m " + std::to_string(m);
        ExpectSame(blocks, m, count + 10, rng, what);
        // And the encoder round trip itself.
        Decoded fast = RunFast(blocks, m, count + 10, rng);
        ASSERT_TRUE(fast.pixels == pixels) << what;
        ASSERT_EQ(fast.status, o.endCode ? gif::kLzwEndCode : gif::kLzwRanOut) << what;
    }
}

TEST(Lzw, FastDecoderMatchesThePlainOneOnGarbage)
{
    std::mt19937 rng(77);
    for (int round = 0; round < 400; ++round) {
        const int m = static_cast<int>(rng() % 12);
        Bytes data;
        std::string what = "round " + std::to_string(round) + " m " + std::to_string(m);
        switch (round % 3) {
        case 0: { // random bytes
            data.resize(1 + rng() % 3000);
            for (auto& b : data)
                b = static_cast<uint8_t>(rng());
            break;
        }
        case 1: { // a valid stream, then random bytes
            const int colors = m >= 8 ? 256 : 1 << m;
            Bytes pixels = RandomPixels(1 + rng() % 20000, colors, rng(), static_cast<int>(rng() % 20));
            LzwOptions o = RandomOptions(rng, m);
            o.endCode = false;
            data = LzwEncode(pixels.data(), pixels.size(), o);
            data.resize(data.size() * (1 + rng() % 9) / 10);
            for (size_t i = 0, n = 1 + rng() % 2000; i < n; ++i)
                data.push_back(static_cast<uint8_t>(rng()));
            break;
        }
        default: { // a valid stream with flipped bits
            const int colors = m >= 8 ? 256 : 1 << m;
            Bytes pixels = RandomPixels(1 + rng() % 20000, colors, rng(), static_cast<int>(rng() % 20));
            data = LzwEncode(pixels.data(), pixels.size(), RandomOptions(rng, m));
            for (int i = 0, n = 1 + static_cast<int>(rng() % 4); i < n; ++i)
                data[rng() % data.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
            break;
        }
        }
        Bytes blocks = SubBlocks(data, static_cast<int>(1 + rng() % 255), rng() % 4 != 0);
        ExpectSame(blocks, m, 1 + rng() % 200000, rng, what);
    }
}

TEST(Lzw, CodesCrossAnyNumberOfOneByteSubBlocks)
{
    std::mt19937 rng(5);
    Bytes pixels = RandomPixels(5000, 256, 17, 0);
    LzwOptions o;
    Bytes blocks = SubBlocks(LzwEncode(pixels.data(), pixels.size(), o), 1);
    Decoded d = RunFast(blocks, 8, 100000, rng);
    EXPECT_TRUE(d.pixels == pixels);
    EXPECT_EQ(d.status, gif::kLzwEndCode);
    EXPECT_EQ(d.position, blocks.size());
}

TEST(Lzw, EndCodePassesOverTheRestOfTheSubBlocks)
{
    // Code data after the end code, in the same and in further sub-blocks, is skipped up
    // to the terminator; the byte after it is the next one read.
    std::mt19937 rng(6);
    Bytes pixels = RandomPixels(300, 16, 3);
    LzwOptions o;
    o.minCodeSize = 4;
    Bytes data = LzwEncode(pixels.data(), pixels.size(), o);
    data.insert(data.end(), 600, 0xAB);
    Bytes blocks = SubBlocks(data, 100);
    blocks.push_back(0x3B);
    for (Decoded d : {RunFast(blocks, 4, 100000, rng), RunReference(blocks, 4, 100000)}) {
        EXPECT_TRUE(d.pixels == pixels);
        EXPECT_EQ(d.status, gif::kLzwEndCode);
        EXPECT_EQ(d.position, blocks.size() - 1);
    }
}

TEST(Lzw, ASubBlockCutByTheEndOfTheFileIsNotUsed)
{
    // Literal 9-bit codes: "1" x 8 fills 9 bytes; the second sub-block is cut.
    std::vector<Code> codes{{256, 9}};
    for (int i = 0; i < 16; ++i)
        codes.push_back({1, 9});
    Bytes data = PackCodes(codes); // 17 x 9 bits = 20 bytes
    Bytes blocks{10};
    blocks.insert(blocks.end(), data.begin(), data.begin() + 10);
    blocks.push_back(10);
    blocks.insert(blocks.end(), data.begin() + 10, data.begin() + 19); // one byte short
    std::mt19937 rng(1);
    for (Decoded d : {RunFast(blocks, 8, 100, rng), RunReference(blocks, 8, 100)}) {
        // 80 bits: the clear code and 7 whole codes; the 8th code is cut.
        EXPECT_EQ(d.pixels, Bytes(7, 1));
        EXPECT_EQ(d.status, gif::kLzwRanOut);
    }
}
