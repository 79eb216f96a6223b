#!/usr/bin/env python3
"""Draws the application icon (a parcel with a zip strap) as 16-colour PNGs.

Run from the repository root without arguments, it writes resources/icons/zelpack-16.png and
zelpack-32.png. The build draws the larger sizes of the Linux icon theme with
`make_icon.py --deflate ZELPACK_DEFLATE --output-dir DIR SIZE...`: their image data is compressed
by zelpack's own compressor (the zelpack-deflate tool).
"""
import argparse
import struct
import subprocess
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


def zlib_stream(data, deflate_tool):
    if deflate_tool is None:
        return zlib.compress(data, 9)
    raw = subprocess.run([deflate_tool], input=data, stdout=subprocess.PIPE, check=True).stdout
    # Deflate with a 32 KiB window at the top level; 0x78DA is a multiple of 31, as it must be.
    return b"\x78\xda" + raw + struct.pack(">I", zlib.adler32(data))


def png(pixels, deflate_tool=None):
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
            chunk(b"tRNS", transparency) + chunk(b"IDAT", zlib_stream(rows, deflate_tool)) +
            chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--deflate", metavar="ZELPACK_DEFLATE",
                        help="compress with this zelpack-deflate instead of Python's zlib")
    parser.add_argument("--output-dir", default="resources/icons")
    parser.add_argument("sizes", metavar="SIZE", type=int, nargs="*", default=[16, 32],
                        help="pixels per side, even (two pixels share a byte)")
    args = parser.parse_args()
    for size in args.sizes:
        if size < 2 or size % 2:
            parser.error(f"size {size}: not an even number of pixels")
        with open(f"{args.output_dir}/zelpack-{size}.png", "wb") as f:
            f.write(png(draw(size), args.deflate))


main()
