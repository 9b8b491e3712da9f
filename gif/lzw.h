// GIF LZW decoding: the code reader over an image's data sub-blocks, a plain decoder
// that follows the rules literally one pixel at a time (LzwReference), and the fast
// decoder used for loading (LzwDecoder), which writes whole strings at a time and
// produces exactly the same pixels.
//
// Code stream rules, with minimum code size m (0 to 11):
//   clear code K = 2^m, end code E = K + 1, first free code N = K + 2;
//   codes start m + 1 bits wide, LSB first, across sub-block boundaries;
//   each code after the first of a table adds entry N = previous string + first
//   character of the current one; when N reaches 2^width (and width < 12) the width
//   grows by one bit; at N = 4096 the table is full and stays so until a clear code.
//   A code equal to N is the previous string plus its own first character. A code
//   above N -- never written by an encoder -- is decoded the same way (its string is
//   taken from the previous code), and so is a first code at or above K + 2.
// Pixels are the low 8 bits of the decoded characters.
//
// Codes past N and such first codes can make table entries refer forward, to entries
// assigned only later, and even make the references circular. The fast decoder
// handles every stream in which all references point backward; at the first code that
// breaks this it hands its state over to the plain decoder for the rest of the image.
// A circular string (longer than any string a table of 4096 entries can hold) ends
// the code data as corrupt.
#pragma once

#include "gif/GifInput.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace gif {

constexpr int kMaxMinCodeSize = 11; // K = 2048; with 12 the clear code is no table entry
constexpr int kTableSize = 4096;    // codes are at most 12 bits
// No string of a table of 4096 entries is longer: the chain of entries at or above
// K + 2 visits each at most once, plus the root character and the character added
// for a code past N.
constexpr int kMaxStringLength = kTableSize;
// Room a caller leaves after the pixels it asks LzwDecoder::Decode for: the last
// string may run past them, and string writes store 8 bytes at a time.
constexpr size_t kDecodeSlack = kMaxStringLength + 16;

// Results of the decoders below 0.
enum : int {
    kLzwRanOut = -1,  // the code data ended (terminating sub-block, end of file)
    kLzwEndCode = -2, // an end code; the image's remaining sub-blocks were passed over
    kLzwCorrupt = -3, // a circular string; decoding stops here
};

// Reads codes from the data sub-blocks of one image, starting after the minimum code
// size byte. The bits of the sub-blocks form one stream; a sub-block whose data is
// cut off by the end of the file is not used, and neither is a code whose bits run
// past the last data byte.
class CodeReader {
public:
    explicit CodeReader(GifInput& input) : input_(input) {}

    // The next code of `width` (1 to 12) bits, or -1 when fewer bits are left.
    int Read(int width)
    {
        if (nbits < width && (Refill(), nbits < width))
            return -1;
        int code = static_cast<int>(bits & ((1u << width) - 1));
        bits >>= width;
        nbits -= width;
        return code;
    }

    // Tops the bit buffer up to at least 57 bits, or as far as the data goes.
    void Refill()
    {
        if (blockLeft_ >= 8) {
            // Eight bytes at once, keeping whole bytes only: k bytes fill bits up to
            // 56 + (nbits mod 8); the part of byte k that lands above them is the next
            // byte of this sub-block, which the next refill ORs in again unchanged.
            uint64_t v;
            std::memcpy(&v, input_.cur, 8);
            bits |= v << nbits;
            const size_t k = static_cast<size_t>(63 - nbits) >> 3;
            input_.cur += k;
            blockLeft_ -= k;
            nbits |= 56;
            return;
        }
        RefillSlowly();
    }

    // After an end code: passes over the rest of the sub-blocks up to and including
    // the terminating one (nothing when it was read already).
    void DrainToTerminator();

    // The bit buffer, LSB first; bits at and above nbits are either 0 or the next bits
    // of the current sub-block.
    uint64_t bits = 0;
    int nbits = 0;

private:
    bool NextSubBlock();
    void RefillSlowly();

    GifInput& input_;
    size_t blockLeft_ = 0; // data bytes of the current sub-block not yet in `bits`
    bool ended_ = false;   // the terminating sub-block was read, or the data ended
};

// The decoder written as the rules read: a table of prefix codes and suffix
// characters, and a stack that a string is pushed on back to front and popped from
// one pixel at a time.
class LzwReference {
public:
    explicit LzwReference(CodeReader& reader) : reader_(reader) {}

    // minCodeSize 0 to 11.
    void Start(int minCodeSize);
    // The next pixel (0 to 255), or kLzwRanOut, kLzwEndCode, kLzwCorrupt; once
    // negative, every later call returns the same value.
    int NextPixel();

private:
    friend class LzwDecoder;

    void ResetTable();
    // Reads codes until one is not the clear code and starts a table with it.
    int FirstCode();
    // Decodes one code read after the first (steps for clear, end, strings).
    int DecodeCode(int code);
    int Stop(int status)
    {
        status_ = status;
        return status;
    }

    CodeReader& reader_;
    int minCodeSize_ = 0;
    int clear_ = 0;    // K
    int next_ = 0;     // N, the next free code
    int limit_ = 0;    // 2^width
    int width_ = 0;    // bits per code
    int previous_ = 0; // the code before the current one
    uint8_t firstChar_ = 0; // first character of the previous string
    bool fresh_ = true;     // the next code is the first of a table
    int status_ = 0;        // 0 while decoding, else the final result
    int stackSize_ = 0;
    uint16_t prefix_[kTableSize];
    // Characters are kept as their low 8 bits: nothing but the pixels ever sees them.
    uint8_t suffix_[kTableSize];
    uint8_t stack_[kMaxStringLength];
};

// The fast decoder. Each table entry keeps the last 1 to 8 characters of its string
// (positions 8k to length - 1) and the entry whose string is the first 8k characters,
// so that a string is written back to front 8 bytes per step.
class LzwDecoder {
public:
    explicit LzwDecoder(CodeReader& reader) : reader_(reader), reference_(reader) {}

    // minCodeSize 0 to 11.
    void Start(int minCodeSize);

    // Decodes whole strings into out until at least `want` pixels are written or the
    // code data ends; returns the number written, which may exceed want by up to
    // kMaxStringLength - 1. out must have room for want + kDecodeSlack bytes; bytes
    // past the returned count may be overwritten.
    size_t Decode(uint8_t* out, size_t want);

    // 0 while more pixels may follow, else kLzwRanOut, kLzwEndCode or kLzwCorrupt.
    int Status() const { return status_; }

private:
    struct Entry {
        uint64_t tail;       // the string's last (length - 1) % 8 + 1 characters, then zeros
        uint16_t lengthM1;   // string length - 1
        uint16_t head;       // entry holding the first (lengthM1 & ~7) characters
        uint8_t first;       // first character
        uint8_t pad[3];
    };

    size_t DecodeFallback(uint8_t* out, size_t want);
    void HandOver(unsigned next, unsigned previous);

    CodeReader& reader_;
    LzwReference reference_;
    bool fallback_ = false;
    int status_ = 0;
    int minCodeSize_ = 0;
    unsigned clear_ = 0;
    unsigned next_ = 0;
    unsigned width_ = 0;
    unsigned previous_ = 0;
    bool fresh_ = true;
    Entry table_[kTableSize];
};

} // namespace gif
