#!/usr/bin/env python3
"""Draws Veltrane's three pictures and writes them to app/images/.

    veltrane.png  main window icon, 32 x 32, 16 colours (4-bit indexed PNG)
    veltrane.ico  the same icon as a Windows icon file (BMP entry)
    about.png     About window icon, 32 x 32, 16 colours (4-bit indexed PNG)
    die.png       die photograph, 160 x 92, 256 colours (8-bit indexed PNG)
    *@2x.png      the three pictures at twice the pixel density (64 x 64, 320 x 184)
    about.ico     the About window icon as a Windows icon file
    die.bmp, die@2x.bmp  the photograph as 8-bit Windows bitmaps, for the Win32 window

Standard library only. The output is deterministic: every run writes the
same bytes. With --preview DIR, enlarged copies (nearest neighbour) are also
written to DIR for inspection.
"""

import argparse
import math
import os
import struct
import zlib

# ---------------------------------------------------------------------------
# Colours

# The classic 16-colour Windows palette.
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, CYAN, WHITE = range(8, 16)

WIN16 = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

# Neither icon uses purple; it marks the transparent pixels around the tile.
CLEAR = PURPLE


# ---------------------------------------------------------------------------
# Indexed canvas with small drawing helpers (integer pixel coordinates,
# ranges inclusive)


class Canvas:
    def __init__(self, width, height, fill=0):
        self.width = width
        self.height = height
        self.px = bytearray([fill]) * (width * height)

    def get(self, x, y):
        return self.px[y * self.width + x]

    def set(self, x, y, c):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.px[y * self.width + x] = c

    def fill_rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def outline_rect(self, x0, y0, x1, y1, c):
        self.hline(x0, x1, y0, c)
        self.hline(x0, x1, y1, c)
        self.vline(x0, y0, y1, c)
        self.vline(x1, y0, y1, c)

    def hline(self, x0, x1, y, c):
        self.fill_rect(x0, y, x1, y, c)

    def vline(self, x, y0, y1, c):
        self.fill_rect(x, y0, x, y1, c)

    def disc(self, cx, cy, r, c):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r + r:
                    self.set(x, y, c)

    def glyph(self, x, y, rows, c):
        """Draws a bitmap given as strings; '#' marks a set pixel."""
        for dy, row in enumerate(rows):
            for dx, ch in enumerate(row):
                if ch == "#":
                    self.set(x + dx, y + dy, c)

    def scaled(self, k):
        out = Canvas(self.width * k, self.height * k)
        for y in range(out.height):
            src = (y // k) * self.width
            row = y * out.width
            for x in range(out.width):
                out.px[row + x] = self.px[src + x // k]
        return out

    def rows(self):
        w = self.width
        return [self.px[y * w:(y + 1) * w] for y in range(self.height)]


GLYPH_Z = [
    "#####",
    "....#",
    "...#.",
    "..#..",
    ".#...",
    "#....",
    "#####",
]

GLYPH_B = [
    "####.",
    "#...#",
    "#...#",
    "####.",
    "#...#",
    "#...#",
    "####.",
]


# ---------------------------------------------------------------------------
# File formats


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_bytes(canvas, palette, depth, transparent=None):
    """Indexed-colour PNG with bit depth 4 or 8."""
    raw = bytearray()
    for row in canvas.rows():
        raw.append(0)  # filter type None
        if depth == 8:
            raw += row
        else:
            for i in range(0, len(row), 2):
                hi = row[i]
                lo = row[i + 1] if i + 1 < len(row) else 0
                raw.append((hi << 4) | lo)
    ihdr = struct.pack(">IIBBBBB", canvas.width, canvas.height, depth, 3, 0, 0, 0)
    plte = b"".join(bytes(c) for c in palette)
    out = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"PLTE", plte)
    if transparent is not None:
        alpha = bytes([255] * transparent + [0])
        out += png_chunk(b"tRNS", alpha)
    out += png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b"")
    return out


def ico_bytes(canvas, palette, transparent):
    """Windows icon with one 4-bit BMP entry; `transparent` pixels are masked."""
    w, h = canvas.width, canvas.height
    xor_stride = ((w * 4 + 31) // 32) * 4
    and_stride = ((w + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(h)):  # bottom-up rows
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x in range(w):
            c = canvas.get(x, y)
            if c == transparent:
                c = BLACK
                bits[x // 8] |= 0x80 >> (x % 8)
            line[x // 2] |= c << (4 if x % 2 == 0 else 0)
        xor += line
        mask += bits
    colours = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = header + colours + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w, h, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def bmp_bytes(canvas, palette):
    """Windows bitmap file, 8 bits per pixel, bottom-up rows."""
    w, h = canvas.width, canvas.height
    stride = (w + 3) // 4 * 4
    pixels = bytearray()
    for y in reversed(range(h)):
        row = bytes(canvas.get(x, y) for x in range(w))
        pixels += row + bytes(stride - w)
    colours = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    colours += bytes(4 * (256 - len(palette)))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + colours + bytes(pixels)


# ---------------------------------------------------------------------------
# Main window icon: an L-section (series Z, shunt B) on a cyan tile


def tile(c, face):
    """A square tile with a black border and a grey drop shadow."""
    c.fill_rect(2, 2, 31, 31, GREY)  # shadow, showing to the right and below
    c.fill_rect(0, 0, 29, 29, face)
    c.outline_rect(0, 0, 29, 29, BLACK)


def draw_main_icon():
    c = Canvas(32, 32, CLEAR)
    tile(c, CYAN)
    line_y = 12
    # terminals and the through line
    c.fill_rect(2, line_y - 2, 3, line_y + 2, BLUE)
    c.fill_rect(26, line_y - 2, 27, line_y + 2, BLUE)
    c.hline(4, 25, line_y, RED)
    # series element with its letter above
    c.fill_rect(6, line_y - 2, 14, line_y + 2, WHITE)
    c.outline_rect(6, line_y - 2, 14, line_y + 2, RED)
    c.glyph(8, 2, GLYPH_Z, BLUE)
    # shunt element hanging from the line down to ground, letter to its left
    stub_x = 20
    c.vline(stub_x, line_y, 15, RED)
    c.fill_rect(stub_x - 2, 15, stub_x + 2, 22, WHITE)
    c.outline_rect(stub_x - 2, 15, stub_x + 2, 22, RED)
    c.vline(stub_x, 23, 24, RED)
    c.hline(stub_x - 4, stub_x + 4, 24, RED)
    c.hline(stub_x - 2, stub_x + 2, 26, RED)
    c.hline(stub_x - 1, stub_x + 1, 28, RED)
    c.glyph(11, 15, GLYPH_B, BLUE)
    return c


# ---------------------------------------------------------------------------
# About window icon: a page pinned to a framed board


def draw_about_icon():
    c = Canvas(32, 32, CLEAR)
    # olive frame dotted with yellow
    c.fill_rect(0, 0, 31, 31, OLIVE)
    c.outline_rect(0, 0, 31, 31, BLACK)
    for i in range(3, 29, 4):
        for (x, y) in ((i, 1), (i, 30), (1, i), (30, i)):
            c.set(x, y, YELLOW)
    # dotted white board
    c.fill_rect(3, 3, 28, 28, WHITE)
    c.outline_rect(3, 3, 28, 28, BLACK)
    for y in range(5, 28, 3):
        for x in range(5 + (y // 3) % 2, 28, 3):
            c.set(x, y, SILVER)
    # the page, with its shadow and text lines
    x0, y0, x1, y1 = 8, 7, 22, 26
    c.fill_rect(x0 + 1, y0 + 1, x1 + 1, y1 + 1, GREY)
    c.fill_rect(x0, y0, x1, y1, WHITE)
    c.outline_rect(x0, y0, x1, y1, BLACK)
    lengths = [9, 11, 7, 11, 10, 6, 11, 8]
    for i, n in enumerate(lengths):
        c.hline(x0 + 2, x0 + 1 + n, y0 + 4 + 2 * i, GREY)
    # dark red pin at the top right corner
    c.disc(x1 - 1, y0 + 1, 2, MAROON)
    c.set(x1 - 2, y0, RED)
    c.set(x1 - 1, y0 + 4, BLACK)
    return c


# ---------------------------------------------------------------------------
# Die photograph


DIE_W, DIE_H = 160, 92
SS = 3  # samples per pixel along each axis for the shape masks


def hash01(x, y, seed):
    """Deterministic pseudo-random value in [0, 1) for integer x, y."""
    h = (x * 374761393 + y * 668265263 + seed * 2147483647) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
    h ^= h >> 16
    return h / 4294967296.0


def value_noise(x, y, scale, seed):
    """Smooth noise in [0, 1): bilinear blend of lattice values."""
    fx, fy = x / scale, y / scale
    ix, iy = math.floor(fx), math.floor(fy)
    tx, ty = fx - ix, fy - iy
    tx = tx * tx * (3 - 2 * tx)
    ty = ty * ty * (3 - 2 * ty)
    a = hash01(ix, iy, seed)
    b = hash01(ix + 1, iy, seed)
    c = hash01(ix, iy + 1, seed)
    d = hash01(ix + 1, iy + 1, seed)
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty


class Mask:
    """A supersampled layer; shapes are given in picture pixel units (of the 1x picture), and
    `scale` output pixels make one picture pixel."""

    def __init__(self, scale=1):
        self.scale = scale
        self.n = SS * scale  # samples per picture pixel along each axis
        self.w = DIE_W * self.n
        self.h = DIE_H * self.n
        self.v = bytearray(self.w * self.h)

    def _paint(self, x0, y0, x1, y1, inside, value):
        n = self.n
        sx0 = max(0, int(math.floor(x0 * n)))
        sy0 = max(0, int(math.floor(y0 * n)))
        sx1 = min(self.w - 1, int(math.ceil(x1 * n)))
        sy1 = min(self.h - 1, int(math.ceil(y1 * n)))
        for sy in range(sy0, sy1 + 1):
            py = (sy + 0.5) / n
            row = sy * self.w
            for sx in range(sx0, sx1 + 1):
                if inside((sx + 0.5) / n, py):
                    self.v[row + sx] = value

    def rect(self, x0, y0, x1, y1, value=1):
        self._paint(x0, y0, x1, y1, lambda x, y: x0 <= x < x1 and y0 <= y < y1, value)

    def disc(self, cx, cy, r, value=1):
        self._paint(cx - r, cy - r, cx + r, cy + r,
                    lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, value)

    def ring(self, cx, cy, r, width, value=1):
        lo, hi = (r - width / 2) ** 2, (r + width / 2) ** 2
        self._paint(cx - r - width, cy - r - width, cx + r + width, cy + r + width,
                    lambda x, y: lo <= (x - cx) ** 2 + (y - cy) ** 2 <= hi, value)

    def segment(self, ax, ay, bx, by, width, value=1):
        dx, dy = bx - ax, by - ay
        length2 = dx * dx + dy * dy or 1e-9
        half2 = (width / 2) ** 2

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
            ex, ey = ax + t * dx - x, ay + t * dy - y
            return ex * ex + ey * ey <= half2

        m = width / 2 + 1
        self._paint(min(ax, bx) - m, min(ay, by) - m, max(ax, bx) + m, max(ay, by) + m,
                    inside, value)

    def curve(self, p0, p1, p2, p3, width, value=1, steps=24):
        """A cubic Bezier curve drawn as a chain of round-capped segments."""
        prev = p0
        for i in range(1, steps + 1):
            t = i / steps
            u = 1 - t
            pt = tuple(u * u * u * a + 3 * u * u * t * b + 3 * u * t * t * c + t * t * t * d
                       for a, b, c, d in zip(p0, p1, p2, p3))
            self.segment(prev[0], prev[1], pt[0], pt[1], width, value)
            prev = pt

    def coverage(self, level=None):
        """Per output pixel mean: of the stored value, or of (value == level)."""
        w, h = DIE_W * self.scale, DIE_H * self.scale
        out = [0.0] * (w * h)
        n = SS * SS
        for y in range(h):
            for x in range(w):
                s = 0
                for sy in range(y * SS, y * SS + SS):
                    row = sy * self.w + x * SS
                    for v in self.v[row:row + SS]:
                        s += v if level is None else (v == level)
                out[y * w + x] = s / n
        return out


def blur(values, radius, w=DIE_W, h=DIE_H):
    """Separable Gaussian blur of a w x h float field (edges clamp)."""
    r = max(1, int(math.ceil(radius * 2.5)))
    kernel = [math.exp(-0.5 * (i / radius) ** 2) for i in range(-r, r + 1)]
    total = sum(kernel)
    kernel = [k / total for k in kernel]
    tmp = [0.0] * (w * h)
    for y in range(h):
        row = y * w
        for x in range(w):
            tmp[row + x] = sum(k * values[row + min(w - 1, max(0, x + i))]
                               for i, k in zip(range(-r, r + 1), kernel))
    out = [0.0] * (w * h)
    for y in range(h):
        for x in range(w):
            out[y * w + x] = sum(k * tmp[min(h - 1, max(0, y + i)) * w + x]
                                 for i, k in zip(range(-r, r + 1), kernel))
    return out


# Metal levels: thin interconnect and thick plated metal.
THIN, THICK = 1, 2


def die_layout(scale):
    """Returns the metal, gap (dark finger strips) and via masks."""
    metal, gaps, vias = Mask(scale), Mask(scale), Mask(scale)

    # seal ring around the die edge
    for (x0, y0, x1, y1) in ((1, 1, 159, 2), (1, 90, 159, 91), (1, 1, 2, 91), (158, 1, 159, 91)):
        metal.rect(x0, y0, x1, y1, THIN)

    # bond pads along the upper and lower edges
    pad_x = [5 + 19 * i for i in range(8)]
    top_vias, bottom_vias = {0, 3, 5, 7}, {0, 2, 5, 7}
    for i, x in enumerate(pad_x):
        for y, with_via in ((4, i in top_vias), (76, i in bottom_vias)):
            metal.rect(x, y, x + 12, y + 12, THICK)
            if with_via:
                vias.disc(x + 6, y + 6, 3.2)

    # transistor rows: gold bands with dark finger strips between round pads
    rows = [(8, 58, 36), (8, 58, 56), (64, 112, 36), (64, 112, 56)]
    for (x0, x1, yc) in rows:
        metal.rect(x0, yc - 4, x1, yc + 4, THIN)
        pads = list(range(x0 + 4, x1 - 1, 14))
        for a, b in zip(pads, pads[1:]):
            for k in range(4):
                fx = a + 4.6 + k * (b - a - 9.2) / 3.5
                gaps.rect(fx, yc - 3, fx + 1.0, yc + 3)
        for px in pads:
            gaps.ring(px, yc, 4.4, 1.0)
            metal.disc(px, yc, 3.9, THICK)

    # gate feeds from the upper pads, drain feeds to the lower pads
    for i, x in enumerate(pad_x[:6]):
        cx = x + 6
        metal.segment(cx, 16, cx, 32, 3.0 if i in top_vias else 2.0, THIN)
        metal.segment(cx, 60, cx, 76, 3.0 if i in bottom_vias else 2.0, THIN)
    # bus between the rows of each half
    metal.rect(6, 44.5, 114, 47.5, THIN)
    for x in (7.5, 56.5, 65.5, 110.5):
        metal.segment(x, 40, x, 52, 2.0, THIN)

    # curved lines from the centre rows merging into a loop at the right
    cx, cy, r = 140, 46, 11
    metal.curve((112, 36), (124, 35), (cx - r, cy - 9), (cx - r, cy), 2.2, THIN)
    metal.curve((112, 56), (124, 57), (cx - r, cy + 9), (cx - r, cy), 2.2, THIN)
    metal.ring(cx, cy, r, 2.6, THIN)
    metal.ring(cx, cy, r - 5, 2.0, THIN)
    metal.segment(cx + r, cy, 157, cy, 2.2, THIN)
    return metal, gaps, vias


def mix(a, b, t):
    return tuple(p + (q - p) * t for p, q in zip(a, b))


def render_die(scale=1):
    """Returns the picture, `scale` times the size of the 1x one, as a list of (r, g, b) floats,
    row-major. Textures and lighting follow picture coordinates; only the film grain and the
    glints are per output pixel."""
    metal, gaps, vias = die_layout(scale)
    thin = metal.coverage(THIN)
    thick = metal.coverage(THICK)
    gap = gaps.coverage()
    via = vias.coverage()

    # soft edges, as from a slightly out-of-focus lens
    cover = [min(1.0, a + b) * (1 - g) for a, b, g in zip(thin, thick, gap)]
    w, h = DIE_W * scale, DIE_H * scale
    cover = blur(cover, 0.55 * scale, w, h)
    height = blur([a * 0.6 + b * 1.0 - g * 0.5 for a, b, g in zip(thin, thick, gap)], 1.0 * scale,
                  w, h)
    via_soft = blur(via, 0.6 * scale, w, h)

    substrate = (74, 34, 26)
    substrate_dark = (40, 18, 14)
    gold = (206, 160, 66)
    gold_dark = (120, 82, 30)
    shine = (255, 244, 196)
    hole = (36, 20, 12)

    pixels = []
    for y in range(h):
        py = (y + 0.5) / scale - 0.5  # the output pixel's centre in picture pixels
        for x in range(w):
            px = (x + 0.5) / scale - 0.5
            i = y * w + x
            # substrate with a mottled texture
            mottle = value_noise(px, py, 9, 11) * 0.6 + value_noise(px, py, 3, 12) * 0.4
            base = mix(substrate_dark, substrate, 0.55 + 0.6 * mottle)

            # metal: bevel lighting from the upper left, a broad sheen, texture
            gx = height[y * w + min(w - 1, x + 1)] - height[y * w + max(0, x - 1)]
            gy = height[min(h - 1, y + 1) * w + x] - height[max(0, y - 1) * w + x]
            gx, gy = gx * scale, gy * scale  # per picture pixel
            bevel = (gx + gy) * 1.6
            sheen = math.exp(-(((px * 0.55 + py) - 62) / 26) ** 2)
            grain = value_noise(px, py, 2, 21) - 0.5
            patch = value_noise(px, py, 14, 22) - 0.5
            tone = 0.55 + 0.25 * height[i] + bevel + 0.12 * grain + 0.25 * patch
            metal_col = mix(gold_dark, gold, max(0.0, min(1.0, tone)))
            glow = max(0.0, bevel) * 0.9 + 0.6 * sheen * height[i]
            if thick[i] > 0.5 and hash01(x, y, 31) > 0.985:
                glow += 0.5  # glints on the plated pads
            metal_col = mix(metal_col, shine, max(0.0, min(0.85, glow)))
            col = mix(base, metal_col, cover[i])

            # vias: dark holes, lit on their lower right inner wall
            v = via_soft[i]
            if v > 0.0:
                inner = mix(hole, gold_dark, max(0.0, min(1.0, 0.5 - (gx + gy) * 2.5)))
                col = mix(col, inner, v)

            # lens fall-off and film grain
            dx, dy = (px - DIE_W / 2) / (DIE_W / 2), (py - DIE_H / 2) / (DIE_H / 2)
            light = (1.0 - 0.22 * (dx * dx + dy * dy) / 2) * (1.0 - 0.06 * (dx + dy))
            n = (hash01(x, y, 41) - 0.5) * 10
            pixels.append(tuple(max(0.0, min(255.0, c * light + n)) for c in col))
    return pixels


def median_cut(colours, count):
    """Palette of `count` colours for a list of integer (r, g, b) tuples."""
    boxes = [sorted(colours)]
    while len(boxes) < count:
        best, best_score, best_axis = None, -1, 0
        for bi, box in enumerate(boxes):
            if len(box) < 2:
                continue
            ranges = [max(c[k] for c in box) - min(c[k] for c in box) for k in range(3)]
            axis = max(range(3), key=lambda k: ranges[k])
            score = ranges[axis] * math.sqrt(len(box))
            if score > best_score:
                best, best_score, best_axis = bi, score, axis
        if best is None or best_score == 0:
            break
        box = sorted(boxes[best], key=lambda c: (c[best_axis], c))
        half = len(box) // 2
        boxes[best:best + 1] = [box[:half], box[half:]]
    palette = []
    for box in boxes:
        n = len(box)
        palette.append(tuple(int(round(sum(c[k] for c in box) / n)) for k in range(3)))
    palette.sort(key=lambda c: (sum(c), c))
    while len(palette) < count:
        palette.append((0, 0, 0))
    return palette


def quantize(pixels, w, h):
    colours = [tuple(int(round(c)) for c in p) for p in pixels]
    palette = median_cut(colours, 256)
    lookup = {}
    canvas = Canvas(w, h)
    for i, c in enumerate(colours):
        if c not in lookup:
            lookup[c] = min(range(len(palette)),
                            key=lambda k: (palette[k][0] - c[0]) ** 2
                            + (palette[k][1] - c[1]) ** 2 + (palette[k][2] - c[2]) ** 2)
        canvas.px[i] = lookup[c]
    return canvas, palette


def draw_die(scale=1):
    return quantize(render_die(scale), DIE_W * scale, DIE_H * scale)


# ---------------------------------------------------------------------------


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(here, "..", "app", "images"),
                        help="output folder (default: app/images)")
    parser.add_argument("--preview", metavar="DIR",
                        help="also write 8x enlarged copies to DIR")
    args = parser.parse_args()

    os.makedirs(args.out, exist_ok=True)
    main_icon = draw_main_icon()
    about_icon = draw_about_icon()
    die, die_palette = draw_die()

    write(os.path.join(args.out, "veltrane.png"), png_bytes(main_icon, WIN16, 4, CLEAR))
    write(os.path.join(args.out, "veltrane.ico"), ico_bytes(main_icon, WIN16, CLEAR))
    write(os.path.join(args.out, "about.png"), png_bytes(about_icon, WIN16, 4, CLEAR))
    write(os.path.join(args.out, "die.png"), png_bytes(die, die_palette, 8))
    # The Win32 window loads its pictures from the program's resources, in Windows' formats.
    write(os.path.join(args.out, "about.ico"), ico_bytes(about_icon, WIN16, CLEAR))
    write(os.path.join(args.out, "die.bmp"), bmp_bytes(die, die_palette))

    # Twice the pixel density, for high-DPI screens (Qt picks "name@2x.png" by itself). The
    # icons are pixel art: the same pixels doubled stay crisp where a scaler would smooth them.
    # The photograph is rendered again at twice the resolution.
    write(os.path.join(args.out, "veltrane@2x.png"),
          png_bytes(main_icon.scaled(2), WIN16, 4, CLEAR))
    write(os.path.join(args.out, "about@2x.png"),
          png_bytes(about_icon.scaled(2), WIN16, 4, CLEAR))
    die2, die2_palette = draw_die(2)
    write(os.path.join(args.out, "die@2x.png"), png_bytes(die2, die2_palette, 8))
    write(os.path.join(args.out, "die@2x.bmp"), bmp_bytes(die2, die2_palette))

    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        write(os.path.join(args.preview, "veltrane_8x.png"),
              png_bytes(main_icon.scaled(8), WIN16, 4, CLEAR))
        write(os.path.join(args.preview, "about_8x.png"),
              png_bytes(about_icon.scaled(8), WIN16, 4, CLEAR))
        write(os.path.join(args.preview, "die_8x.png"), png_bytes(die.scaled(8), die_palette, 8))
        write(os.path.join(args.preview, "die_3x.png"), png_bytes(die.scaled(3), die_palette, 8))


if __name__ == "__main__":
    main()
