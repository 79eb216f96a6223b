#!/usr/bin/env python3
"""Draws the application icon (a parcel with a zip strap) as 16-colour PNGs of 16 and 32 pixels.

Run from the repository root; writes resources/icons/zelpack-16.png and zelpack-32.png.
"""
import struct
import zlib

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
CLEAR, DARK, BOX, EDGE, STRAP, TEETH = 15, 0, 11, 3, 12, 7


def draw(size):
    s = size / 16
    pixels = [[CLEAR] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            u, v = x / s, y / s
            if 1 <= u < 15 and 3 <= v < 15:
                edge = u < 2 or u >= 14 or v < 4 or v >= 14
                pixels[y][x] = EDGE if edge else BOX
                if 7 <= u < 9:
                    pixels[y][x] = STRAP
                    if int(v * 2) % 2 == 0 and 4 <= v < 14:
                        pixels[y][x] = TEETH
            elif 3 <= u < 13 and 1 <= v < 3:
                pixels[y][x] = EDGE if (u < 4 or u >= 12 or v < 2) else BOX
    return pixels


def png(pixels):
    size = len(pixels)
    rows = b""
    for row in pixels:
        packed = bytes((row[i] << 4) | row[i + 1] for i in range(0, size, 2))
        rows += b"\0" + packed

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0)
    palette = b"".join(bytes(c) for c in PALETTE)
    transparency = bytes([255] * CLEAR + [0])
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"PLTE", palette) +
            chunk(b"tRNS", transparency) + chunk(b"IDAT", zlib.compress(rows, 9)) +
            chunk(b"IEND", b""))


for size in (16, 32):
    with open(f"resources/icons/zelpack-{size}.png", "wb") as f:
        f.write(png(draw(size)))
