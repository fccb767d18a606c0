#!/usr/bin/env python3
"""Draws the program's icon and writes it as sumvane.ico beside this script.

The picture: a page with a folded corner and a few lines of content, and a
green round badge with a white check mark, for "this file's checksum is in
order". One 32x32 image with a 256-colour palette (8 bits per pixel) and an
AND mask, the form every Windows version shows.

Only the standard library is used. Shapes are sampled 8x8 times per pixel,
so the edges are smoothed; a pixel less than half covered is transparent.
The output is the same byte for byte on every run.

Usage: make_icon.py [OUTPUT.ico]
"""

import math
import os
import struct
import sys

SIZE = 32
SAMPLES = 8  # per axis and pixel

# Colours (r, g, b).
OUTLINE = (64, 64, 72)
PAGE = (255, 255, 255)
FOLD = (214, 218, 226)
TEXT_LINE = (140, 160, 190)
BADGE = (46, 160, 67)
BADGE_RIM = (24, 104, 42)
CHECK = (255, 255, 255)

PAGE_OUTLINE = [(4.5, 1.5), (19.5, 1.5), (27.5, 9.5), (27.5, 30.5), (4.5, 30.5)]
FOLD_TRIANGLE = [(19.5, 1.5), (19.5, 9.5), (27.5, 9.5)]
# (x from, x to, y) of the content lines, kept clear of the badge.
TEXT_LINES = [(8, 17, 6), (8, 22, 10), (8, 20, 14), (8, 13, 18), (8, 12, 22)]
BADGE_CENTRE = (21.5, 23.0)
BADGE_RADIUS = 8.2
CHECK_STROKE = [(17.4, 23.2), (20.4, 26.3), (25.8, 19.8)]
CHECK_WIDTH = 2.3


def inside_polygon(x, y, points):
    """Even-odd rule."""
    inside = False
    n = len(points)
    for i in range(n):
        x1, y1 = points[i]
        x2, y2 = points[(i + 1) % n]
        if (y1 > y) != (y2 > y):
            if x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                inside = not inside
    return inside


def segment_distance(x, y, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


def edge_distance(x, y, points):
    n = len(points)
    return min(segment_distance(x, y, points[i], points[(i + 1) % n]) for i in range(n))


def sample(x, y):
    """The colour at a point of the picture, or None where it is empty.
    Later shapes paint over earlier ones."""
    colour = None
    if inside_polygon(x, y, PAGE_OUTLINE):
        colour = PAGE
        for x0, x1, ly in TEXT_LINES:
            if x0 <= x < x1 and ly <= y < ly + 1.6:
                colour = TEXT_LINE
        if inside_polygon(x, y, FOLD_TRIANGLE):
            colour = FOLD
        if edge_distance(x, y, PAGE_OUTLINE) < 1.0 or edge_distance(x, y, FOLD_TRIANGLE) < 0.8:
            colour = OUTLINE
    d = math.hypot(x - BADGE_CENTRE[0], y - BADGE_CENTRE[1])
    if d <= BADGE_RADIUS:
        colour = BADGE if d <= BADGE_RADIUS - 1.1 else BADGE_RIM
        for i in range(len(CHECK_STROKE) - 1):
            if segment_distance(x, y, CHECK_STROKE[i], CHECK_STROKE[i + 1]) <= CHECK_WIDTH / 2:
                colour = CHECK
    return colour


def render():
    """A SIZE x SIZE grid of (r, g, b) or None (transparent), top row first."""
    rows = []
    step = 1.0 / SAMPLES
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            hits = []
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = sample(px + (sx + 0.5) * step, py + (sy + 0.5) * step)
                    if c is not None:
                        hits.append(c)
            if len(hits) * 2 < SAMPLES * SAMPLES:
                row.append(None)
            else:
                row.append(tuple(round(sum(c[i] for c in hits) / len(hits)) for i in range(3)))
        rows.append(row)
    return rows


def palettize(pixels):
    """Index 0 is the transparent colour (black under the mask); the picture's
    colours follow in sorted order. Colours are rounded more coarsely until
    they fit into the 255 free entries."""
    for shift in range(0, 8):

        def coarse(c, shift=shift):
            return tuple(min(255, (v >> shift << shift) + ((1 << shift) >> 1)) for v in c)

        colours = sorted({coarse(c) for row in pixels for c in row if c is not None})
        if len(colours) <= 255:
            break
    palette = [(0, 0, 0)] + colours
    index = {c: i for i, c in enumerate(palette)}
    indexed = [[0 if c is None else index[coarse(c)] for c in row] for row in pixels]
    palette += [(0, 0, 0)] * (256 - len(palette))
    return palette, indexed


def ico_bytes(pixels):
    palette, indexed = palettize(pixels)
    xor_rows = []
    and_rows = []
    # Bitmaps are stored bottom row first.
    for y in range(SIZE - 1, -1, -1):
        xor_rows.append(bytes(indexed[y]))
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if pixels[y][x] is None else 0)
        and_rows.append(struct.pack(">I", bits))  # 32 pixels: one aligned row
    xor = b"".join(xor_rows)
    mask = b"".join(and_rows)
    colours = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    # The height counts the colour bitmap and the mask together.
    header = struct.pack(
        "<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, len(xor) + len(mask), 0, 0, 0, 0
    )
    image = header + colours + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


def main(argv):
    out = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "sumvane.ico")
    data = ico_bytes(render())
    with open(out, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (out, len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
