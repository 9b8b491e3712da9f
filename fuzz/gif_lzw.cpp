// Fuzz target: the fast LZW decoder against the plain one. Input: the image data of a
// GIF image (minimum code size byte, then data sub-blocks); the two must give the
// same pixels and the same ending, whatever the codes are.
#include "gif/lzw.h"

#include <cstdlib>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int minCodeSize = data[0] % (gif::kMaxMinCodeSize + 1);
    const size_t limit = 1u << 20;

    gif::MemorySource plainSource(data + 1, size - 1);
    gif::GifInput plainInput(plainSource, 1024);
    gif::CodeReader plainReader(plainInput);
    std::unique_ptr<gif::LzwReference> plain(new gif::LzwReference(plainReader));
    plain->Start(minCodeSize);
    std::vector<uint8_t> expected;
    int plainStatus = 0;
    while (expected.size() < limit) {
        int v = plain->NextPixel();
        if (v < 0) {
            plainStatus = v;
            break;
        }
        expected.push_back(static_cast<uint8_t>(v));
    }

    gif::MemorySource fastSource(data + 1, size - 1);
    gif::GifInput fastInput(fastSource, 1024);
    gif::CodeReader fastReader(fastInput);
    std::unique_ptr<gif::LzwDecoder> fast(new gif::LzwDecoder(fastReader));
    fast->Start(minCodeSize);
    std::vector<uint8_t> got;
    std::vector<uint8_t> buffer;
    // Chunk sizes from the first byte's upper bits: band ends fall everywhere.
    const size_t chunk = 1 + (data[0] >> 4) * 97;
    while (got.size() < limit && fast->Status() == 0) {
        buffer.resize(chunk + gif::kDecodeSlack);
        size_t n = fast->Decode(buffer.data(), chunk);
        if (fast->Status() == 0 && n < chunk)
            std::abort();
        got.insert(got.end(), buffer.begin(), buffer.begin() + static_cast<long>(n));
    }
    if (got.size() > limit)
        got.resize(limit);
    const int fastStatus = got.size() >= limit ? 0 : fast->Status();
    if (got != expected || fastStatus != plainStatus)
        std::abort();
    return 0;
}
