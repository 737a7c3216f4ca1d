#!/usr/bin/env python3
"""Draws the mask pictures of data/Masks: 8-bit gray BMP files where black keeps the photo,
white shows the background color and the grays between blend the two.

Run once from the repository root; the pictures are kept in the repository:
    python3 scripts/make-masks.py data/Masks
"""
import math
import random
import struct
import sys
from pathlib import Path

WIDTH, HEIGHT = 480, 360


def smoothstep(edge0, edge1, x):
    t = min(max((x - edge0) / (edge1 - edge0), 0.0), 1.0)
    return t * t * (3 - 2 * t)


def oval_vignette(x, y):
    # Black inside an ellipse touching the edges at 86 %, fading to white outside it.
    dx = (x + 0.5 - WIDTH / 2) / (WIDTH / 2)
    dy = (y + 0.5 - HEIGHT / 2) / (HEIGHT / 2)
    return smoothstep(0.78, 1.0, math.hypot(dx, dy))


def soft_edge(x, y):
    # A rectangle whose border fades out over 9 % of the shorter side.
    fade = 0.09 * min(WIDTH, HEIGHT)
    d = min(x + 0.5, WIDTH - x - 0.5, y + 0.5, HEIGHT - y - 0.5)
    return 1.0 - smoothstep(0.0, fade, d)


def rounded_corners(x, y):
    # Sharp edges with corners of a 36-pixel radius, anti-aliased over one pixel.
    r = 36.0
    cx = min(max(x + 0.5, r), WIDTH - r)
    cy = min(max(y + 0.5, r), HEIGHT - r)
    d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
    return min(max(d - r + 0.5, 0.0), 1.0)


def spotlight(x, y):
    # A soft round light in the middle; the rest goes to the background.
    dx = x + 0.5 - WIDTH / 2
    dy = y + 0.5 - HEIGHT / 2
    r = 0.46 * HEIGHT
    return smoothstep(0.55 * r, r, math.hypot(dx, dy))


def make_torn_edge():
    # A paper edge torn by hand: the border depth wanders along each side.
    rng = random.Random(20261208)

    def profile(length):
        depth, values = 14.0, []
        for _ in range(length):
            depth += rng.uniform(-1.6, 1.6)
            depth = min(max(depth, 6.0), 24.0)
            values.append(depth)
        return values

    top, bottom = profile(WIDTH), profile(WIDTH)
    left, right = profile(HEIGHT), profile(HEIGHT)

    def torn(x, y):
        inside = min(y + 0.5 - top[x], HEIGHT - y - 0.5 - bottom[x], x + 0.5 - left[y], WIDTH - x - 0.5 - right[y])
        return 1.0 - min(max(inside + 0.5, 0.0), 1.0)

    return torn


def write_gray_bmp(path, shade):
    row_size = (WIDTH + 3) & ~3
    palette = b"".join(bytes((g, g, g, 0)) for g in range(256))
    offset = 14 + 40 + len(palette)
    size = offset + row_size * HEIGHT
    header = struct.pack("<2sIHHI", b"BM", size, 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, row_size * HEIGHT, 2835, 2835, 256, 0)
    rows = []
    for y in reversed(range(HEIGHT)):  # bottom-up rows
        row = bytes(int(round(255 * shade(x, y))) for x in range(WIDTH))
        rows.append(row + b"\0" * (row_size - WIDTH))
    path.write_bytes(header + info + palette + b"".join(rows))


def main():
    folder = Path(sys.argv[1] if len(sys.argv) > 1 else "data/Masks")
    folder.mkdir(parents=True, exist_ok=True)
    masks = {
        "Oval vignette.bmp": oval_vignette,
        "Soft edge.bmp": soft_edge,
        "Rounded corners.bmp": rounded_corners,
        "Spotlight.bmp": spotlight,
        "Torn edge.bmp": make_torn_edge(),
    }
    for name, shade in masks.items():
        write_gray_bmp(folder / name, shade)
        print(folder / name)


if __name__ == "__main__":
    main()
