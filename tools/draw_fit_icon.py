#!/usr/bin/env python3
"""Draws the icon of veltrane-fit, the measured-data window, to fit/images/veltrane-fit.png.

A Smith chart (the rim, the r = 1 circle and the real axis) with a measured curve and the two
picked points F1 and F2, 48 x 48 RGBA, anti-aliased by 4 x 4 supersampling. Standard library
only; every run writes the same bytes.
"""

import math
import os
import struct
import zlib

SIZE = 48
SUB = 4

NAVY = (20, 45, 120)
WHITE = (255, 255, 255)
GRID = (150, 170, 215)
RED = (200, 20, 20)
ORANGE = (230, 110, 0)
PURPLE = (140, 20, 190)


def covered(x, y):
    """The colour of the point (x, y) in icon pixels, or None when it is transparent."""
    c = SIZE / 2
    r = SIZE / 2 - 1.5
    gx, gy = (x - c) / r, (c - y) / r  # reflection coordinates, y up
    d = math.hypot(gx, gy)
    if d > 1.0:
        return None
    # The picked points on the curve.
    for (px, py), colour in (((-0.10, 0.55), ORANGE), ((0.38, -0.42), PURPLE)):
        if math.hypot(gx - px, gy - py) < 0.16:
            return colour
    # The measured curve: an arc that swings round the centre of the chart.
    if abs(math.hypot(gx - 0.12, gy - 0.02) - 0.56) < 0.065 and gx > -0.5:
        return RED
    if d > 0.9:
        return NAVY
    if abs(math.hypot(gx - 0.5, gy) - 0.5) < 0.035 or abs(gy) < 0.03:
        return GRID
    return WHITE


def render():
    rows = []
    for py in range(SIZE):
        row = bytearray([0])  # filter type None
        for px in range(SIZE):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(SUB):
                for sx in range(SUB):
                    colour = covered(px + (sx + 0.5) / SUB, py + (sy + 0.5) / SUB)
                    if colour is not None:
                        hits += 1
                        for k in range(3):
                            acc[k] += colour[k]
            if hits:
                row += bytes(round(a / hits) for a in acc)
                row.append(round(255 * hits / (SUB * SUB)))
            else:
                row += b"\0\0\0\0"
        rows.append(bytes(row))
    return b"".join(rows)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(pixels):
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = os.path.join(here, "..", "fit", "images", "veltrane-fit.png")
    with open(out, "wb") as f:
        f.write(png(render()))


if __name__ == "__main__":
    main()
