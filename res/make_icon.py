#!/usr/bin/env python3
"""Draws the application icon res/app.ico: a blue map tile with a white route and orange points.

Three images: 64x64 in 32-bit colour with alpha, 32x32 and 16x16 in 256 colours with a
transparency mask. Pure Python, no external libraries; the output is the same on every run.
Usage: python3 res/make_icon.py [output.ico]
"""
import math
import os
import struct
import sys

SUPERSAMPLE = 4
BACKGROUND_TOP = (0x2A, 0x7F, 0xD0)
BACKGROUND_BOTTOM = (0x10, 0x4A, 0x8C)
GRID = (0x5C, 0x9E, 0xDE)
BACKGROUND_FLAT = (0x33, 0x66, 0xCC)
ROUTE = (0xFF, 0xFF, 0xFF)
POINT = (0xFF, 0x8C, 0x1A)
POINT_RIM = (0x8A, 0x3A, 0x00)
ROUTE_POINTS = [(0.20, 0.76), (0.40, 0.44), (0.58, 0.62), (0.81, 0.24)]


def rounded_square_contains(x, y, radius=0.17, margin=0.03):
    lo, hi = margin, 1.0 - margin
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = min(max(t, 0.0), 1.0)
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def sample(x, y, size):
    """Colour (r, g, b) and coverage (0 or 1) of the picture at (x, y) in the unit square."""
    if not rounded_square_contains(x, y):
        return (0, 0, 0), 0.0
    # Fine details are widened on small images so that they stay visible.
    scale = max(1.0, 24.0 / size)
    if size >= 64:
        t = (y - 0.03) / 0.94
        colour = tuple(round(a + (b - a) * t) for a, b in zip(BACKGROUND_TOP, BACKGROUND_BOTTOM))
    else:
        colour = BACKGROUND_FLAT  # a colour of the 256-colour palette: no banding
    if size >= 32:
        for g in (1.0 / 3.0, 2.0 / 3.0):
            if abs(x - g) < 0.012 * scale or abs(y - g) < 0.012 * scale:
                colour = GRID
    route_width = 0.045 * scale
    for (ax, ay), (bx, by) in zip(ROUTE_POINTS, ROUTE_POINTS[1:]):
        if distance_to_segment(x, y, ax, ay, bx, by) < route_width:
            colour = ROUTE
    for px, py in ROUTE_POINTS:
        d = math.hypot(x - px, y - py)
        if d < 0.085 * min(scale, 1.4):
            colour = POINT if d < 0.06 * min(scale, 1.4) else POINT_RIM
    return colour, 1.0


def render(size):
    """Rows top to bottom of (r, g, b, alpha) pixels, averaged over SUPERSAMPLE^2 samples."""
    rows = []
    n = SUPERSAMPLE
    for j in range(size):
        row = []
        for i in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sj in range(n):
                for si in range(n):
                    x = (i + (si + 0.5) / n) / size
                    y = (j + (sj + 0.5) / n) / size
                    (r, g, b), a = sample(x, y, size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            if acc[3] > 0:
                rgb = tuple(round(c / acc[3]) for c in acc[:3])
            else:
                rgb = (0, 0, 0)
            row.append((*rgb, round(alpha * 255)))
        rows.append(row)
    return rows


def palette_256():
    """A 6x6x6 colour cube (216 entries) followed by 40 greys."""
    levels = [0, 51, 102, 153, 204, 255]
    colours = [(r, g, b) for r in levels for g in levels for b in levels]
    colours += [(round(k * 255 / 41),) * 3 for k in range(1, 41)]
    return colours


def nearest(palette, rgb):
    return min(range(len(palette)),
               key=lambda k: sum((palette[k][c] - rgb[c]) ** 2 for c in range(3)))


def mask_rows(rows, size):
    """The 1-bit AND mask, bottom-up, rows padded to 4 bytes: 1 = transparent."""
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for i, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[i // 8] |= 0x80 >> (i % 8)
        out += bits
    return bytes(out)


def bitmap_header(size, bit_count, image_bytes):
    return struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bit_count, 0, image_bytes,
                       0, 0, 256 if bit_count == 8 else 0, 0)


def image_32(size):
    rows = render(size)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask = mask_rows(rows, size)
    return bitmap_header(size, 32, len(pixels) + len(mask)) + bytes(pixels) + mask


def image_8(size):
    rows = render(size)
    palette = palette_256()
    cache = {}
    stride = (size + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for i, (r, g, b, a) in enumerate(row):
            if a >= 128:
                key = (r, g, b)
                if key not in cache:
                    cache[key] = nearest(palette, key)
                line[i] = cache[key]
        pixels += line
    mask = mask_rows(rows, size)
    table = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    return bitmap_header(size, 8, len(pixels) + len(mask)) + table + bytes(pixels) + mask


def build_icon():
    images = [(64, 32, image_32(64)), (32, 8, image_8(32)), (16, 8, image_8(16))]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__),
                                                                 'app.ico')
    with open(target, 'wb') as f:
        f.write(build_icon())


if __name__ == '__main__':
    main()
