// CPixMap: a working tile of up to four sample planes, usually at most 256 x 256.
//
// A plane descriptor addresses samples as data + row * rowStride (bytes, either sign)
// + x * step (samples of the map's width). Interleaved maps keep every channel in one
// buffer through descriptor 0: channel k of pixel x is sample x * step + k of a row
// (channel 0 is alpha when the mode has IM_ALPHA), and descriptors 1 to 3 stay null.
// Planar maps have one buffer and descriptor per plane, step 1.
//
// Header-only, so that libraries which need only the layout link nothing for it.
#pragma once

#include "image/Mode.h"

#include <new>

struct PlaneDesc {
    unsigned char* data; // sample of column 0, row 0
    int step;            // samples between horizontal neighbours
    int rowStride;       // bytes between vertical neighbours; may be negative
};

// An owning pointer: the block is released only when owned is set.
struct PixBuffer {
    bool owned;
    unsigned char* ptr;
};

class CPixMap {
public:
    // planes is used only for the channels modes; a map holds at most four planes,
    // so a channels mode asking for more (or a negative count) gets no planes at all.
    // Buffers come from operator new[] and are zeroed; std::bad_alloc leaves the
    // constructor with the buffers already made released.
    CPixMap(IMAGE_MODE mode, int width, int height, bool interleaved, int planes = 0)
        : width(width), height(height), mode(mode), planes(0), bits(ModeBitsPerSample(mode)),
          interleaved(interleaved)
    {
        for (int i = 0; i < 4; ++i) {
            plane[i] = PlaneDesc{nullptr, 0, 0};
            buffer[i] = PixBuffer{false, nullptr};
            size[i] = 0;
        }
        int count = IsChannelsMode(mode) ? planes : ModePlaneCount(mode);
        this->planes = count >= 0 && count <= 4 ? count : 0;
        int rows = height > 0 ? height : 0;
        if (interleaved) {
            plane[0].step = this->planes;
            plane[0].rowStride = RowStride(this->planes * bits, width);
            size[0] = rows * plane[0].rowStride;
        } else {
            for (int i = 0; i < 4; ++i) {
                if (i < this->planes) {
                    plane[i].rowStride = RowStride(bits, width);
                    plane[i].step = 1;
                }
                size[i] = rows * plane[i].rowStride;
            }
        }
        try {
            int blocks = interleaved ? (this->planes > 0 ? 1 : 0) : this->planes;
            for (int i = 0; i < blocks; ++i) {
                buffer[i].ptr = new unsigned char[size[i] > 0 ? size[i] : 0]();
                buffer[i].owned = true;
            }
        } catch (...) {
            Release();
            throw;
        }
        for (int i = 0; i < this->planes; ++i)
            plane[i].data = buffer[i].ptr;
    }

    ~CPixMap() { Release(); }
    CPixMap(CPixMap const&) = delete;
    CPixMap& operator=(CPixMap const&) = delete;

    // ((bits * width) / 8 + 3) rounded down to a multiple of 4, in bytes.
    static int RowStride(int bitsPerPixel, int width)
    {
        int w = width > 0 ? width : 0;
        return ((bitsPerPixel * w) / 8 + 3) & ~3;
    }

    int width;
    int height;
    IMAGE_MODE mode;
    int planes;
    int bits;
    bool interleaved;
    PlaneDesc plane[4];
    PixBuffer buffer[4];
    int size[4];

private:
    void Release()
    {
        for (int i = 0; i < 4; ++i) {
            if (buffer[i].owned)
                delete[] buffer[i].ptr;
            buffer[i] = PixBuffer{false, nullptr};
        }
    }
};
