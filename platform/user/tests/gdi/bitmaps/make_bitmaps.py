#!/usr/bin/env python3
"""Writes the GDI tests' resource bitmaps (run once; the files are committed):

palette8.bmp  8 x 4, 8 bits, a 256-entry table whose entry 5 is (R 10, G 20, B 30) and entry 1
              (R 200, G 0, B 0); pixels hold 5 where x + y is even, 1 elsewhere. Bottom-up.
strip24.bmp   74 x 18, 24 bits: four 18 x 18 images on magenta (two spare columns at the right),
              image i holding a 6 x 6 square at (6, 6) of colour (R 40 i, G 100, B 255 - 40 i).
"""
import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent


def bmp(width, height, bits, rows, palette=b""):
    row_bytes = (width * bits + 31) // 32 * 4
    data = b"".join(r.ljust(row_bytes, b"\0") for r in reversed(rows))  # bottom-up
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835,
                       len(palette) // 4 if bits <= 8 else 0, 0)
    offset = 14 + len(info) + len(palette)
    head = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    return head + info + palette + data


def palette8():
    table = bytearray(256 * 4)
    table[5 * 4:5 * 4 + 4] = bytes([30, 20, 10, 0])
    table[1 * 4:1 * 4 + 4] = bytes([0, 0, 200, 0])
    rows = [bytes(5 if (x + y) % 2 == 0 else 1 for x in range(8)) for y in range(4)]
    return bmp(8, 4, 8, rows, bytes(table))


def strip24():
    rows = []
    for y in range(18):
        row = bytearray()
        for x in range(74):
            image, ix = divmod(x, 18)
            if image < 4 and 6 <= ix < 12 and 6 <= y < 12:
                r, g, b = 40 * image, 100, 255 - 40 * image
            else:
                r, g, b = 255, 0, 255
            row += bytes([b, g, r])
        rows.append(bytes(row))
    return bmp(74, 18, 24, rows)


if __name__ == "__main__":
    (HERE / "palette8.bmp").write_bytes(palette8())
    (HERE / "strip24.bmp").write_bytes(strip24())
