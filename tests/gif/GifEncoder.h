// A small GIF writer for tests and benchmarks: an LZW encoder that keeps its code
// widths in step with a decoder, sub-block framing, and a file builder with colour
// tables, extensions, interlacing and stray bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace giftest {

using Bytes = std::vector<uint8_t>;

// Packs codes LSB first.
class BitWriter {
public:
    void Put(unsigned code, int width)
    {
        acc_ |= static_cast<uint64_t>(code) << n_;
        n_ += width;
        while (n_ >= 8) {
            bytes_.push_back(static_cast<uint8_t>(acc_));
            acc_ >>= 8;
            n_ -= 8;
        }
    }
    Bytes Finish()
    {
        if (n_ > 0)
            bytes_.push_back(static_cast<uint8_t>(acc_));
        acc_ = 0;
        n_ = 0;
        return bytes_;
    }

private:
    Bytes bytes_;
    uint64_t acc_ = 0;
    int n_ = 0;
};

// A code with its width, for hand-made streams.
struct Code {
    unsigned value;
    int width;
};

inline Bytes PackCodes(std::vector<Code> const& codes)
{
    BitWriter w;
    for (Code const& c : codes)
        w.Put(c.value, c.width);
    return w.Finish();
}

struct LzwOptions {
    int minCodeSize = 8;
    bool leadingClear = true;
    bool endCode = true;
    // When the table is full: false sends a clear code, true goes on with 12-bit codes
    // and a full table.
    bool deferredClear = false;
    // Also send a clear code after this many codes (0: never).
    int clearEvery = 0;
    // Every pixel as its own root code, no strings (the only valid way to code
    // minimum code sizes 0 and 1).
    bool literalOnly = false;
};

// The code data (unframed) for pixels in stream order; every pixel must be below
// 2^minCodeSize.
inline Bytes LzwEncode(const uint8_t* pixels, size_t count, LzwOptions const& o)
{
    const unsigned K = 1u << o.minCodeSize, E = K + 1;
    BitWriter w;
    // The decoder's table size and code width, which the encoder must follow.
    unsigned decN = K + 2;
    int decWidth = o.minCodeSize + 1;
    bool decFirst = true;
    unsigned encNext = K + 2;
    std::unordered_map<uint32_t, uint16_t> dict;
    int sinceClear = 0;

    auto emit = [&](unsigned code) {
        w.Put(code, decWidth);
        if (code == K) {
            decN = K + 2;
            decWidth = o.minCodeSize + 1;
            decFirst = true;
            return;
        }
        if (code == E)
            return;
        if (decFirst) {
            decFirst = false;
            return;
        }
        if (decN < 4096) {
            ++decN;
            if (decN >= (1u << decWidth) && decWidth < 12)
                ++decWidth;
        }
    };
    auto clear = [&]() {
        emit(K);
        dict.clear();
        encNext = K + 2;
        sinceClear = 0;
    };

    if (o.leadingClear)
        clear();
    if (count > 0) {
        unsigned cur = pixels[0];
        for (size_t i = 1; i < count; ++i) {
            const unsigned c = pixels[i];
            const uint32_t key = cur << 8 | c;
            if (!o.literalOnly) {
                auto it = dict.find(key);
                if (it != dict.end()) {
                    cur = it->second;
                    continue;
                }
            }
            emit(cur);
            ++sinceClear;
            if (encNext < 4096) {
                dict[key] = static_cast<uint16_t>(encNext++);
            } else if (!o.deferredClear) {
                clear();
            }
            if (o.clearEvery && sinceClear >= o.clearEvery)
                clear();
            cur = c;
        }
        emit(cur);
    }
    if (o.endCode)
        emit(E);
    return w.Finish();
}

// Cuts data into sub-blocks of at most blockSize (1 to 255) bytes, with a terminator.
inline Bytes SubBlocks(Bytes const& data, int blockSize = 255, bool terminator = true)
{
    Bytes out;
    for (size_t i = 0; i < data.size(); i += static_cast<size_t>(blockSize)) {
        size_t n = std::min(data.size() - i, static_cast<size_t>(blockSize));
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
    }
    if (terminator)
        out.push_back(0);
    return out;
}

// Image rows in stream order for an interlaced image.
inline std::vector<int> InterlacedRows(int height)
{
    std::vector<int> rows;
    const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int p = 0; p < 4; ++p)
        for (int y = start[p]; y < height; y += step[p])
            rows.push_back(y);
    return rows;
}

inline Bytes Extension(uint8_t label, Bytes const& payload)
{
    Bytes out{0x21, label};
    Bytes blocks = SubBlocks(payload);
    out.insert(out.end(), blocks.begin(), blocks.end());
    return out;
}

inline Bytes GraphicControl(int transparentIndex, int delay = 10, int disposal = 2)
{
    uint8_t packed = static_cast<uint8_t>((disposal & 7) << 2 | (transparentIndex >= 0 ? 1 : 0));
    return Bytes{0x21, 0xF9, 4, packed, static_cast<uint8_t>(delay), static_cast<uint8_t>(delay >> 8),
                 static_cast<uint8_t>(transparentIndex >= 0 ? transparentIndex : 0), 0};
}

inline Bytes LoopExtension(int loops = 0)
{
    Bytes out{0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1};
    out.push_back(static_cast<uint8_t>(loops));
    out.push_back(static_cast<uint8_t>(loops >> 8));
    out.push_back(0);
    return out;
}

// A colour table of `entries` (a power of two, 2 to 256) with distinct colours.
inline Bytes MakeTable(int entries, int seed = 0)
{
    Bytes t;
    for (int i = 0; i < entries; ++i) {
        t.push_back(static_cast<uint8_t>(i * 7 + seed));
        t.push_back(static_cast<uint8_t>(255 - i + seed * 3));
        t.push_back(static_cast<uint8_t>(i * 13 + 1 + seed * 5));
    }
    return t;
}

struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    Bytes localTable;   // 3 x 2^(s+1) bytes, or empty
    Bytes pixels;       // width x height, top-down
    LzwOptions lzw;
    int subBlockSize = 255;
    Bytes before;       // extensions or stray bytes before the image descriptor
    // When set, replaces everything after the local table (minimum code size byte
    // and sub-blocks) as it stands.
    bool rawData = false;
    Bytes data;
};

struct File {
    std::string signature = "GIF89a";
    int screenWidth = 0, screenHeight = 0; // 0: the first frame's size
    Bytes globalTable;
    std::vector<Frame> frames;
    Bytes beforeTrailer;
    bool trailer = true;
};

inline int SizeCode(size_t tableBytes)
{
    int s = 0;
    while ((2u << s) * 3 < tableBytes)
        ++s;
    return s;
}

inline void Put16(Bytes& out, int v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// The pixels of a frame in the order the code stream carries them.
inline Bytes StreamOrder(Frame const& f)
{
    if (!f.interlaced)
        return f.pixels;
    Bytes out;
    out.reserve(f.pixels.size());
    for (int y : InterlacedRows(f.height))
        out.insert(out.end(), f.pixels.begin() + static_cast<long>(y) * f.width,
                   f.pixels.begin() + static_cast<long>(y + 1) * f.width);
    return out;
}

inline Bytes ImageData(Frame const& f)
{
    Bytes out{static_cast<uint8_t>(f.lzw.minCodeSize)};
    Bytes order = StreamOrder(f);
    Bytes blocks = SubBlocks(LzwEncode(order.data(), order.size(), f.lzw), f.subBlockSize);
    out.insert(out.end(), blocks.begin(), blocks.end());
    return out;
}

inline Bytes Build(File const& file)
{
    Bytes out(file.signature.begin(), file.signature.end());
    int sw = file.screenWidth, sh = file.screenHeight;
    if (sw == 0 && !file.frames.empty()) {
        sw = file.frames[0].width;
        sh = file.frames[0].height;
    }
    Put16(out, sw);
    Put16(out, sh);
    out.push_back(file.globalTable.empty() ? 0 : static_cast<uint8_t>(0x80 | 0x70 | SizeCode(file.globalTable.size())));
    out.push_back(0);
    out.push_back(0);
    out.insert(out.end(), file.globalTable.begin(), file.globalTable.end());
    for (Frame const& f : file.frames) {
        out.insert(out.end(), f.before.begin(), f.before.end());
        out.push_back(0x2C);
        Put16(out, f.left);
        Put16(out, f.top);
        Put16(out, f.width);
        Put16(out, f.height);
        uint8_t packed = f.interlaced ? 0x40 : 0;
        if (!f.localTable.empty())
            packed |= static_cast<uint8_t>(0x80 | SizeCode(f.localTable.size()));
        out.push_back(packed);
        out.insert(out.end(), f.localTable.begin(), f.localTable.end());
        Bytes data = f.rawData ? f.data : ImageData(f);
        out.insert(out.end(), data.begin(), data.end());
    }
    out.insert(out.end(), file.beforeTrailer.begin(), file.beforeTrailer.end());
    if (file.trailer)
        out.push_back(0x3B);
    return out;
}

// A simple file: one frame of the given pixels and a global table of 256 entries.
inline File OneFrame(int width, int height, Bytes const& pixels, bool interlaced = false, int minCodeSize = 8)
{
    File f;
    f.globalTable = MakeTable(256);
    Frame fr;
    fr.width = width;
    fr.height = height;
    fr.pixels = pixels;
    fr.interlaced = interlaced;
    fr.lzw.minCodeSize = minCodeSize;
    f.frames.push_back(fr);
    return f;
}

} // namespace giftest
