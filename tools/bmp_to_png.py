#!/usr/bin/env python3
"""Converts an uncompressed 24-bit Windows bitmap to a PNG: bmp_to_png.py IN.bmp OUT.png

Standard library only; used for the screenshot of the Windows window (docs/).
"""

import struct
import sys
import zlib


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.splitlines()[1].strip())
    data = open(sys.argv[1], "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    _, width, height, _, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    if bits != 24 or compression != 0:
        sys.exit("bmp_to_png.py: only uncompressed 24-bit bitmaps")
    stride = (width * 3 + 3) // 4 * 4
    rows = range(abs(height)) if height < 0 else reversed(range(height))
    raw = bytearray()
    for y in rows:
        line = data[offset + y * stride: offset + y * stride + width * 3]
        raw.append(0)
        for x in range(width):
            b, g, r = line[3 * x: 3 * x + 3]
            raw += bytes((r, g, b))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
    open(sys.argv[2], "wb").write(png)


if __name__ == "__main__":
    main()
