#!/usr/bin/env python3
"""Writes the PNG fuzz target's seed pictures: every colour type the reader
takes, every row filter, a palette with and without alphas, and forms it
leaves to the system (16-bit depth, interlacing). Usage: make_png_seeds.py DIR
"""
import os
import struct
import sys
import zlib


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(width, height, colour, samples, extra=b"", depth=8, interlace=0):
    rows = b"".join(bytes([y % 5]) + bytes((x * 37 + y * 11) % 256 for x in range(width * samples))
                    for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, interlace)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + extra +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    palette = chunk(b"PLTE", bytes(i % 256 for i in range(768)))
    seeds = {
        "grey.png": png(5, 4, 0, 1), "rgb.png": png(4, 5, 2, 3), "grey-alpha.png": png(3, 3, 4, 2),
        "rgba.png": png(6, 5, 6, 4), "palette.png": png(4, 3, 3, 1, palette),
        "palette-alpha.png": png(4, 3, 3, 1, palette + chunk(b"tRNS", bytes([0, 128, 255]))),
        "depth16.png": png(2, 2, 6, 8, depth=16), "interlaced.png": png(3, 3, 2, 3, interlace=1),
    }
    for name, data in seeds.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
