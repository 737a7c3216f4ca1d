#!/usr/bin/env python3
"""Draws the application icon of desktop/icons.

The icon is a photo tile with rounded corners: a sky, a sun and two hills, and in front of
them two crop corners, white with a dark rim so they stand out on the light sky as well as
on the hills. The script writes the scalable picture and the fixed sizes the desktop's icon
theme asks for, all from the one set of shapes below:
    desktop/icons/lumatrim.svg
    desktop/icons/<N>x<N>/lumatrim.png    for N in SIZES

Run it with the folder that holds desktop/, by default the repository this script is in:
    python3 scripts/make-icon.py [ROOT]
The output is the same, byte for byte, on every run.
"""
import math
import struct
import sys
import zlib
from pathlib import Path

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)

# The shapes, in the units of the scalable picture: its view box is 0..256 both ways.
VIEW = 256
MARGIN, CORNER = 8, 30  # the tile leaves a margin like other icons; its corners round by 1/8
SKY_TOP, SKY_BOTTOM = (0x2F, 0x76, 0xD2), (0xB8, 0xE2, 0xFA)  # from the top down to the horizon
SKY_FROM, SKY_TO = 8, 176  # where the sky's gradient starts and ends, top to bottom
SUN = (172, 84, 28, (0xFF, 0xC2, 0x3A))  # centre x, centre y, radius, color
# Each hill is the part of a large circle that lies inside the tile. The circles are chosen so
# they cross the tile's straight edges at whole units, which keeps the picture's paths plain:
# (centre x, centre y, radius, color, where it leaves the tile on the left or bottom edge, and
# where on the bottom or right edge).
BACK_HILL = (206, 290, 150, (0x1E, 0x9A, 0x8C), (62, 248), (248, 146))
FRONT_HILL = (58, 298, 130, (0x5C, 0xBE, 0x5A), (8, 178), (178, 248))
# Each crop corner is a line bent at a right angle, drawn with square ends and a square bend.
CROP_CORNERS = (((48, 112), (48, 48), (112, 48)), ((208, 144), (208, 208), (144, 208)))
CROP_WIDTH, CROP_COLOR = 16, (0xFF, 0xFF, 0xFF)
RIM_WIDTH, RIM_COLOR, RIM_OPACITY = 3, (0x0B, 0x1F, 0x3A), 0.35  # rim: beyond each side of a mark

# The smallest sizes differ from the scalable picture: scaled down, its crop lines would be
# thinner than a pixel and blur into the sky. There the white lines are at least this many
# pixels wide, they and the tile's edges sit on whole pixels so they stay crisp, and the rim is
# left out: a pixel of it would fill the gap between the marks and the tile's edge.
SMALL_BELOW = 32
SMALL_CROP_PIXELS = 2.0


def hex_color(rgb):
    return "#%02x%02x%02x" % rgb


def svg_text():
    left, right = MARGIN, VIEW - MARGIN
    side = right - left

    def hill(h):
        # From where the circle leaves the tile on one edge, over its top to the other edge,
        # then back along the tile's outline, round its bottom corner.
        _, _, r, color, (x0, y0), (x1, y1) = h
        if x0 == left:  # left edge to bottom edge, round the bottom left corner
            back = f"H{left + CORNER}a{CORNER} {CORNER} 0 0 1-{CORNER}-{CORNER}z"
        else:  # bottom edge to right edge, round the bottom right corner
            back = f"V{right - CORNER}a{CORNER} {CORNER} 0 0 1-{CORNER} {CORNER}z"
        return f'  <path d="M{x0} {y0}A{r} {r} 0 0 1 {x1} {y1}{back}" fill="{hex_color(color)}"/>\n'

    marks = "".join(f"M{a[0]} {a[1]}V{b[1]}H{c[0]}" if a[0] == b[0] else f"M{a[0]} {a[1]}H{b[0]}V{c[1]}"
                    for a, b, c in CROP_CORNERS)
    sx, sy, sr, sun_color = SUN
    return (
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{VIEW}" height="{VIEW}" viewBox="0 0 {VIEW} {VIEW}">\n'
        f'  <defs>\n'
        f'    <linearGradient id="sky" x1="0" y1="{SKY_FROM}" x2="0" y2="{SKY_TO}" gradientUnits="userSpaceOnUse">\n'
        f'      <stop offset="0" stop-color="{hex_color(SKY_TOP)}"/>\n'
        f'      <stop offset="1" stop-color="{hex_color(SKY_BOTTOM)}"/>\n'
        f'    </linearGradient>\n'
        f'  </defs>\n'
        f'  <rect x="{left}" y="{left}" width="{side}" height="{side}" rx="{CORNER}" fill="url(#sky)"/>\n'
        f'  <circle cx="{sx}" cy="{sy}" r="{sr}" fill="{hex_color(sun_color)}"/>\n'
        + hill(BACK_HILL) + hill(FRONT_HILL) +
        f'  <g fill="none" stroke-linecap="square" stroke-linejoin="miter">\n'
        f'    <path d="{marks}" stroke="{hex_color(RIM_COLOR)}" stroke-opacity="{RIM_OPACITY:g}"'
        f' stroke-width="{CROP_WIDTH + 2 * RIM_WIDTH}"/>\n'
        f'    <path d="{marks}" stroke="{hex_color(CROP_COLOR)}" stroke-width="{CROP_WIDTH}"/>\n'
        f'  </g>\n'
        f'</svg>\n')


# Signed distances, negative inside the shape, in view box units.

def box_distance(px, py, x0, y0, x1, y1, radius=0.0):
    """The rectangle x0..x1 by y0..y1; a radius rounds its corners."""
    qx = abs(px - 0.5 * (x0 + x1)) - 0.5 * (x1 - x0) + radius
    qy = abs(py - 0.5 * (y0 + y1)) - 0.5 * (y1 - y0) + radius
    if qx > 0.0 and qy > 0.0:
        return math.hypot(qx, qy) - radius
    return max(qx, qy) - radius


def circle_distance(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


def crop_corner_distance(px, py, corner, half):
    """A crop corner stroked half wide to each side of its line. Square ends and the square
    bend both reach half beyond the line's points, so each straight piece is a rectangle."""
    (ax, ay), (bx, by), (cx, cy) = corner
    return min(box_distance(px, py, min(bx, ex) - half, min(by, ey) - half, max(bx, ex) + half, max(by, ey) + half)
               for ex, ey in ((ax, ay), (cx, cy)))


# Drawing one size.

def layout(n):
    """The tile's margin, the crop corners, their half width and their rim's (None for no
    rim), in view box units, for n pixels."""
    unit = VIEW / n  # view box units per pixel
    if n >= SMALL_BELOW:
        return MARGIN, CROP_CORNERS, 0.5 * CROP_WIDTH, 0.5 * CROP_WIDTH + RIM_WIDTH
    margin = max(1, math.floor(MARGIN / unit + 0.5)) * unit
    width = float(math.ceil(max(CROP_WIDTH / unit, SMALL_CROP_PIXELS)))  # in pixels

    def snap(v):
        # The line's middle, moved so its edges fall on pixel edges.
        return (math.floor(v / unit - 0.5 * width + 0.5) + 0.5 * width) * unit

    corners = tuple(tuple((snap(x), snap(y)) for x, y in corner) for corner in CROP_CORNERS)
    half = 0.5 * width * unit
    return margin, corners, half, None


def mix(a, b, t):
    return tuple(p + (q - p) * t for p, q in zip(a, b))


def render(n):
    """n x n RGBA pixels, 4 bytes each, not premultiplied."""
    unit = VIEW / n
    margin, corners, half, rim = layout(n)
    left, right = margin, VIEW - margin
    sx, sy, sr, sun_color = SUN

    def cover(d):
        # The share of a pixel inside an edge at distance d (units) from its centre.
        v = 0.5 - d / unit
        return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v

    out = bytearray()
    for y in range(n):
        py = (y + 0.5) * unit
        sky = mix(SKY_TOP, SKY_BOTTOM, min(max((py - SKY_FROM) / (SKY_TO - SKY_FROM), 0.0), 1.0))
        for x in range(n):
            px = (x + 0.5) * unit
            # The tile's content, opaque; the tile's outline cuts it out at the end, so where a
            # hill meets the tile's edge no sky shows through the soft edge.
            rgb = sky
            rgb = mix(rgb, sun_color, cover(circle_distance(px, py, sx, sy, sr)))
            for hx, hy, hr, color, _, _ in (BACK_HILL, FRONT_HILL):
                rgb = mix(rgb, color, cover(circle_distance(px, py, hx, hy, hr)))
            alpha = cover(box_distance(px, py, left, left, right, right, CORNER))
            premultiplied = [c * alpha for c in rgb]
            # The crop corners lie over the tile: their rim, then the white line.
            for width, color, opacity in ((rim, RIM_COLOR, RIM_OPACITY), (half, CROP_COLOR, 1.0)):
                if width is None:
                    continue
                a = opacity * cover(min(crop_corner_distance(px, py, c, width) for c in corners))
                premultiplied = [c * a + p * (1.0 - a) for c, p in zip(color, premultiplied)]
                alpha = a + alpha * (1.0 - a)
            if alpha <= 0.0:
                out += b"\0\0\0\0"
            else:
                out += bytes(min(255, int(c / alpha + 0.5)) for c in premultiplied)
                out.append(int(255.0 * alpha + 0.5))
    return out


# PNG: 8-bit RGBA, each row with the filter that leaves the smallest values.

def png_bytes(pixels, n):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    stride = 4 * n
    raw, prev = bytearray(), bytes(stride)
    for y in range(n):
        row = bytes(pixels[y * stride:(y + 1) * stride])
        left = bytes(4) + row[:-4]
        upper_left = bytes(4) + prev[:-4]

        def paeth(a, b, c):
            pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
            return a if pa <= pb and pa <= pc else b if pb <= pc else c

        candidates = [
            (0, row),
            (1, bytes((r - a) & 255 for r, a in zip(row, left))),
            (2, bytes((r - b) & 255 for r, b in zip(row, prev))),
            (3, bytes((r - (a + b) // 2) & 255 for r, a, b in zip(row, left, prev))),
            (4, bytes((r - paeth(a, b, c)) & 255 for r, a, b, c in zip(row, left, prev, upper_left))),
        ]
        kind, data = min(candidates, key=lambda k: sum(min(v, 256 - v) for v in k[1]))
        raw.append(kind)
        raw += data
        prev = row
    header = struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
    icons = root / "desktop" / "icons"
    icons.mkdir(parents=True, exist_ok=True)
    (icons / "lumatrim.svg").write_bytes(svg_text().encode("ascii"))
    print(icons / "lumatrim.svg")
    for n in SIZES:
        folder = icons / f"{n}x{n}"
        folder.mkdir(exist_ok=True)
        (folder / "lumatrim.png").write_bytes(png_bytes(render(n), n))
        print(folder / "lumatrim.png")


if __name__ == "__main__":
    main()
