// Buffered byte input for the GIF reader: a window over a byte source (a file or a
// block of memory) that the block walker and the LZW code reader consume in place.
//
// A read error of the source counts as the end of the data: every later read comes
// up short, as for a file that ends there. Nothing here throws.
#pragma once

#include "platform/File.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace gif {

// Where the bytes come from. Read returns fewer than count bytes only at the end of
// the data (or after a read error, which ends the data for good).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual size_t Read(uint8_t* dst, size_t count) = 0;
};

// An open CFile; a CFileException during a read ends the data.
class FileSource : public ByteSource {
public:
    explicit FileSource(CFile& file) : file_(file) {}
    size_t Read(uint8_t* dst, size_t count) override
    {
        if (failed_)
            return 0;
        try {
            return file_.Read(dst, static_cast<UINT>(count));
        } catch (CFileException const&) {
            failed_ = true;
            return 0;
        }
    }

private:
    CFile& file_;
    bool failed_ = false;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), left_(data ? size : 0) {}
    size_t Read(uint8_t* dst, size_t count) override
    {
        size_t n = count < left_ ? count : left_;
        if (n)
            std::memcpy(dst, data_, n);
        data_ += n;
        left_ -= n;
        return n;
    }

private:
    const uint8_t* data_;
    size_t left_;
};

// The window [cur, end) of a buffer of `capacity` bytes. Callers that consume bytes
// in place advance `cur` themselves after Ensure() has made them available.
class GifInput {
public:
    // The largest block any caller asks Ensure() for: a sub-block (1 + 255 bytes)
    // or a colour table (3 x 256 bytes).
    static constexpr size_t kMinCapacity = 1024;
    static constexpr size_t kDefaultCapacity = 64 * 1024;

    // Throws std::bad_alloc.
    explicit GifInput(ByteSource& source, size_t capacity = kDefaultCapacity)
        : source_(source), capacity_(capacity < kMinCapacity ? kMinCapacity : capacity),
          buffer_(new uint8_t[capacity_]), cur(buffer_.get()), end(buffer_.get())
    {
    }

    size_t Available() const { return static_cast<size_t>(end - cur); }

    // True when at least n (<= capacity) bytes are in the window.
    bool Ensure(size_t n)
    {
        if (Available() >= n)
            return true;
        return Fill(n);
    }

    // -1 at the end of the data.
    int ReadByte()
    {
        if (cur == end && !Fill(1))
            return -1;
        return *cur++;
    }

    // All n bytes or false (the bytes that were there are consumed).
    bool ReadExactly(uint8_t* dst, size_t n)
    {
        while (n) {
            if (cur == end && !Fill(1))
                return false;
            size_t k = Available() < n ? Available() : n;
            std::memcpy(dst, cur, k);
            cur += k;
            dst += k;
            n -= k;
        }
        return true;
    }

    // Passes over n bytes; false when the data ends first.
    bool Skip(size_t n)
    {
        while (n) {
            if (cur == end && !Fill(1))
                return false;
            size_t k = Available() < n ? Available() : n;
            cur += k;
            n -= k;
        }
        return true;
    }

    // Reads one data sub-block's size byte and passes over its data. Returns the size
    // (0 for the terminating sub-block) or -1 when the data ends first.
    int SkipSubBlock()
    {
        int size = ReadByte();
        if (size <= 0)
            return size;
        return Skip(static_cast<size_t>(size)) ? size : -1;
    }

    // Passes over sub-blocks up to and including the first one of size 0; false when
    // the data ended first.
    bool SkipSubBlocks()
    {
        for (;;) {
            int size = SkipSubBlock();
            if (size <= 0)
                return size == 0;
        }
    }

private:
    // Moves the unread bytes to the front and reads until n bytes are there or the
    // source is exhausted.
    bool Fill(size_t n)
    {
        size_t have = Available();
        if (n > capacity_)
            return false;
        if (cur != buffer_.get() && have)
            std::memmove(buffer_.get(), cur, have);
        cur = buffer_.get();
        end = cur + have;
        while (!exhausted_ && have < n) {
            size_t got = source_.Read(buffer_.get() + have, capacity_ - have);
            if (got == 0)
                exhausted_ = true;
            have += got;
            end = cur + have;
        }
        return have >= n;
    }

    ByteSource& source_;
    size_t capacity_;
    std::unique_ptr<uint8_t[]> buffer_;
    bool exhausted_ = false;

public:
    const uint8_t* cur;
    const uint8_t* end;
};

} // namespace gif
