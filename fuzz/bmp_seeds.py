#!/usr/bin/env python3
"""Writes the seed corpus of the bmp_load fuzz target: one small file per kind of
BMP the reader handles (every bit count, RLE8, RLE4, bit fields, longer headers).
Run from the repository root: python3 fuzz/bmp_seeds.py"""
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "bmp_load")


def bmp(width, height, bits, compression, pixels, table=(), masks=(), header_size=40, colors_used=None):
    info = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, compression, len(pixels), 2835, 2835,
                       len(table) if colors_used is None else colors_used, 0)
    extra = b""
    if header_size > 40:
        tail = b"".join(struct.pack("<I", m) for m in masks)
        info += (tail + bytes(header_size - 40))[: header_size - 40]
    else:
        extra = b"".join(struct.pack("<I", m) for m in masks)
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in table)
    offset = 14 + len(info) + len(extra) + len(pal)
    head = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    return head + info + extra + pal + pixels


def rows(data_rows, row_bytes):
    out = b""
    for r in reversed(data_rows):
        out += bytes(r) + bytes(row_bytes - len(r))
    return out


def main():
    os.makedirs(OUT, exist_ok=True)
    ramp16 = [(i * 16, 255 - i * 16, i) for i in range(16)]
    ramp256 = [(i, 255 - i, 7) for i in range(256)]
    grey256 = [(i, i, i) for i in range(256)]
    seeds = {
        "1bit_bw": bmp(10, 3, 1, 0, rows([[0xA5, 0x40], [0xFF, 0xC0], [0x00, 0x80]], 4), [(0, 0, 0), (255, 255, 255)]),
        "4bit": bmp(5, 2, 4, 0, rows([[0x01, 0x23, 0x40], [0xFE, 0xDC, 0xB0]], 4), ramp16),
        "8bit_grey": bmp(3, 2, 8, 0, rows([[0, 128, 255], [1, 2, 3]], 4), grey256),
        "8bit_short_table": bmp(3, 2, 8, 0, rows([[0, 1, 2], [2, 1, 0]], 4), ramp256[:3]),
        "24bit": bmp(3, 2, 24, 0, rows([[1, 2, 3, 4, 5, 6, 7, 8, 9], [9, 8, 7, 6, 5, 4, 3, 2, 1]], 12)),
        "16bit_555": bmp(3, 1, 16, 0, rows([[0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00]], 8)),
        "16bit_565": bmp(2, 1, 16, 3, rows([[0x00, 0xF8, 0xE0, 0x07]], 4), masks=(0xF800, 0x07E0, 0x001F)),
        "32bit": bmp(2, 2, 32, 0, bytes(range(16))),
        "32bit_v5_alpha": bmp(2, 1, 32, 3, bytes([1, 2, 3, 128, 4, 5, 6, 255]), header_size=124,
                              masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
        "8bit_v4": bmp(2, 1, 8, 0, rows([[1, 2]], 4), ramp256[:4], header_size=108),
        "rle8": bmp(6, 3, 8, 1, bytes([3, 1, 0, 3, 4, 5, 6, 0, 0, 0, 0, 2, 2, 1, 2, 9, 0, 0, 6, 7, 0, 0, 0, 1]),
                    ramp256),
        "rle8_grey": bmp(4, 2, 8, 1, bytes([4, 200, 0, 0, 0, 4, 1, 2, 3, 4, 0, 1]), grey256),
        "rle4": bmp(7, 2, 4, 2, bytes([7, 0x12, 0, 0, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 0, 1]), ramp16),
        "rle8_tall": bmp(2, 300, 8, 1, bytes([2, 5, 0, 0] * 299 + [0, 1]), ramp256[:8]),
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name + ".bmp"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
