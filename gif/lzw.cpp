// GIF LZW decoding: see lzw.h for the code stream rules.
#include "gif/lzw.h"

#include <cstring>

namespace gif {

// ---- CodeReader ----

bool CodeReader::NextSubBlock()
{
    if (ended_)
        return false;
    int size = input_.ReadByte();
    // A sub-block cut off by the end of the file is dropped whole
    // (Lzw.ASubBlockCutByTheEndOfTheFileIsNotUsed).
    if (size <= 0 || !input_.Ensure(static_cast<size_t>(size))) {
        ended_ = true;
        return false;
    }
    blockLeft_ = static_cast<size_t>(size);
    return true;
}

void CodeReader::RefillSlowly()
{
    // Byte by byte near the end of a sub-block, moving on to the next one.
    while (nbits <= 56) {
        if (blockLeft_ == 0 && !NextSubBlock())
            return;
        if (blockLeft_ >= 8) {
            Refill();
            return;
        }
        bits |= static_cast<uint64_t>(*input_.cur++) << nbits;
        nbits += 8;
        --blockLeft_;
    }
}

void CodeReader::DrainToTerminator()
{
    if (ended_)
        return;
    input_.cur += blockLeft_; // the whole sub-block is in the window
    blockLeft_ = 0;
    input_.SkipSubBlocks();
    ended_ = true;
}

// ---- LzwReference ----

void LzwReference::Start(int minCodeSize)
{
    minCodeSize_ = minCodeSize;
    clear_ = 1 << minCodeSize;
    ResetTable();
    fresh_ = true;
    status_ = 0;
}

void LzwReference::ResetTable()
{
    for (int i = 0; i < kTableSize; ++i) {
        prefix_[i] = 0;
        suffix_[i] = i < clear_ ? static_cast<uint8_t>(i) : 0;
    }
    next_ = clear_ + 2;
    limit_ = 2 * clear_;
    width_ = minCodeSize_ + 1;
    stackSize_ = 0;
}

int LzwReference::NextPixel()
{
    if (status_)
        return status_;
    if (fresh_)
        return FirstCode();
    if (stackSize_)
        return stack_[--stackSize_];
    int code = reader_.Read(width_);
    if (code < 0)
        return Stop(kLzwRanOut);
    return DecodeCode(code);
}

int LzwReference::FirstCode()
{
    fresh_ = false;
    int code;
    do
        code = reader_.Read(width_);
    while (code == clear_);
    if (code < 0)
        return Stop(kLzwRanOut);
    if (code == clear_ + 1) {
        reader_.DrainToTerminator();
        return Stop(kLzwEndCode);
    }
    previous_ = code;
    firstChar_ = static_cast<uint8_t>(code);
    return firstChar_;
}

int LzwReference::DecodeCode(int code)
{
    if (code == clear_) {
        ResetTable();
        return FirstCode();
    }
    if (code == clear_ + 1) {
        reader_.DrainToTerminator();
        return Stop(kLzwEndCode);
    }
    const int incoming = code;
    if (code >= next_) {
        stack_[stackSize_++] = firstChar_;
        code = previous_;
    }
    while (code >= clear_) {
        // Only a circular chain gets this long: codes past N can make an entry its
        // own prefix (GifLoad.CircularTableReferencesStopDecodingCleanly).
        if (stackSize_ == kMaxStringLength - 1)
            return Stop(kLzwCorrupt);
        stack_[stackSize_++] = suffix_[code];
        code = prefix_[code];
    }
    firstChar_ = static_cast<uint8_t>(code);
    stack_[stackSize_++] = firstChar_;
    if (next_ < kTableSize) {
        prefix_[next_] = static_cast<uint16_t>(previous_);
        suffix_[next_] = firstChar_;
        ++next_;
        if (next_ >= limit_ && limit_ < kTableSize) {
            limit_ *= 2;
            ++width_;
        }
    }
    previous_ = incoming;
    return stack_[--stackSize_];
}

// ---- LzwDecoder ----

namespace {

inline void Store64(uint8_t* dst, uint64_t v)
{
    std::memcpy(dst, &v, 8);
}

} // namespace

void LzwDecoder::Start(int minCodeSize)
{
    minCodeSize_ = minCodeSize;
    clear_ = 1u << minCodeSize;
    next_ = clear_ + 2;
    width_ = static_cast<unsigned>(minCodeSize) + 1;
    previous_ = 0;
    fresh_ = true;
    fallback_ = false;
    status_ = 0;
    for (unsigned c = 0; c < clear_; ++c) {
        const uint8_t ch = static_cast<uint8_t>(c);
        table_[c] = Entry{ch, 0, 0, ch, {0, 0, 0}};
        reference_.prefix_[c] = 0;
        reference_.suffix_[c] = ch;
    }
}

void LzwDecoder::HandOver(unsigned next, unsigned previous)
{
    LzwReference& r = reference_;
    r.minCodeSize_ = minCodeSize_;
    r.clear_ = static_cast<int>(clear_);
    r.next_ = static_cast<int>(next);
    r.width_ = static_cast<int>(width_);
    r.limit_ = 1 << width_;
    r.previous_ = static_cast<int>(previous);
    r.fresh_ = false;
    r.status_ = 0;
    r.stackSize_ = 0;
    // Entries K + 2 to N - 1 were kept up to date; the rest are unassigned.
    for (unsigned c = clear_; c < clear_ + 2; ++c)
        r.prefix_[c] = r.suffix_[c] = 0;
    for (unsigned c = next; c < static_cast<unsigned>(kTableSize); ++c)
        r.prefix_[c] = r.suffix_[c] = 0;
    fallback_ = true;
}

size_t LzwDecoder::DecodeFallback(uint8_t* out, size_t want)
{
    size_t n = 0;
    while (n < want) {
        int v = reference_.NextPixel();
        if (v < 0) {
            status_ = v;
            break;
        }
        out[n++] = static_cast<uint8_t>(v);
    }
    return n;
}

size_t LzwDecoder::Decode(uint8_t* out, size_t want)
{
    if (status_ || want == 0)
        return 0;
    if (fallback_)
        return DecodeFallback(out, want);

    Entry* const t = table_;
    uint16_t* const prefix = reference_.prefix_;
    uint8_t* const suffix = reference_.suffix_;
    const unsigned K = clear_;
    unsigned N = next_;
    unsigned width = width_;
    unsigned mask = (1u << width) - 1;
    unsigned prev = previous_;
    uint64_t bits = reader_.bits;
    int nbits = reader_.nbits;
    uint8_t* o = out;
    uint8_t* const stop = out + want;

    // Returns the next code or -1.
    auto readCode = [&]() -> int {
        if (nbits < static_cast<int>(width)) {
            reader_.bits = bits;
            reader_.nbits = nbits;
            reader_.Refill();
            bits = reader_.bits;
            nbits = reader_.nbits;
            if (nbits < static_cast<int>(width))
                return -1;
        }
        int code = static_cast<int>(bits & mask);
        bits >>= width;
        nbits -= static_cast<int>(width);
        return code;
    };
    // Writes the string of a code whose references all point backward.
    auto emit = [&](unsigned code) {
        Entry const& e = t[code];
        const unsigned lengthM1 = e.lengthM1;
        uint8_t* q = o + (lengthM1 & ~7u);
        Store64(q, e.tail);
        unsigned h = e.head;
        while (q > o) {
            q -= 8;
            Store64(q, t[h].tail);
            h = t[h].head;
        }
        o += lengthM1 + 1;
    };
    // Adds entry N: the previous string plus character ch.
    auto add = [&](unsigned ch) {
        Entry const& p = t[prev];
        Entry& n = t[N];
        const unsigned pos = (p.lengthM1 & 7u) + 1; // where ch goes in p's tail
        n.lengthM1 = static_cast<uint16_t>(p.lengthM1 + 1);
        n.first = p.first;
        if (pos < 8) {
            n.tail = p.tail | static_cast<uint64_t>(ch) << (8 * pos);
            n.head = p.head;
        } else {
            n.tail = ch;
            n.head = static_cast<uint16_t>(prev);
        }
        prefix[N] = static_cast<uint16_t>(prev);
        suffix[N] = static_cast<uint8_t>(ch);
        ++N;
        if (N >= (1u << width) && width < 12) {
            ++width;
            mask = (1u << width) - 1;
        }
    };
    // The first code of a table: 0 to go on, a status to stop, or 1 when it was a
    // code at or above K + 2 (already written) and the plain decoder takes over.
    auto firstCode = [&]() -> int {
        int code;
        do
            code = readCode();
        while (code == static_cast<int>(K));
        if (code < 0)
            return kLzwRanOut;
        if (code == static_cast<int>(K) + 1) {
            reader_.bits = bits;
            reader_.nbits = nbits;
            reader_.DrainToTerminator();
            return kLzwEndCode;
        }
        prev = static_cast<unsigned>(code);
        if (prev < K) {
            emit(prev);
            return 0;
        }
        *o++ = static_cast<uint8_t>(code);
        return 1;
    };

    int result = 0;
    bool handOver = false;
    unsigned pendingCode = 0; // a code past N, for the plain decoder
    if (fresh_) {
        fresh_ = false;
        result = firstCode();
    }
    while (result == 0 && o < stop) {
        const int read = readCode();
        if (read < 0) {
            result = kLzwRanOut;
            break;
        }
        const unsigned code = static_cast<unsigned>(read);
        if (code < N) {
            if (code - K < 2u) {
                if (code == K) {
                    N = K + 2;
                    width = static_cast<unsigned>(minCodeSize_) + 1;
                    mask = (1u << width) - 1;
                    result = firstCode();
                    continue;
                }
                reader_.bits = bits;
                reader_.nbits = nbits;
                reader_.DrainToTerminator();
                result = kLzwEndCode;
                break;
            }
            emit(code);
            if (N < static_cast<unsigned>(kTableSize))
                add(t[code].first);
        } else if (code == N) {
            add(t[prev].first);
            emit(code);
        } else {
            pendingCode = code;
            handOver = true;
            break;
        }
        prev = code;
    }

    reader_.bits = bits;
    reader_.nbits = nbits;
    next_ = N;
    width_ = width;
    previous_ = prev;
    size_t produced = static_cast<size_t>(o - out);

    if (result == 1 || handOver) {
        HandOver(N, prev);
        if (result == 1) {
            // The first code of the table was past the root codes: it is its own
            // first character.
            reference_.firstChar_ = static_cast<uint8_t>(prev);
        } else {
            reference_.firstChar_ = t[prev].first;
            int v = reference_.DecodeCode(static_cast<int>(pendingCode));
            if (v < 0) {
                status_ = v;
                return produced;
            }
            *o++ = static_cast<uint8_t>(v);
            ++produced;
        }
        return produced + DecodeFallback(o, produced < want ? want - produced : 0);
    }
    if (result < 0)
        status_ = result;
    return produced;
}

} // namespace gif
