#!/usr/bin/env python3
"""Draws the mask pictures of data/Masks.

A mask is a gray picture stretched over the finished photo: black keeps the photo, white
shows the background color and the grays between blend the two. The program samples the
mask at the nearest pixel, so every hard edge here gets a soft transition a few pixels wide
and stays smooth at any photo size.

Run from the repository root; the pictures are kept in the repository and a test checks
that this script still makes exactly them:
    python3 scripts/make-masks.py data/Masks
The output is the same, byte for byte, on every run.
"""
import math
import random
import struct
import sys
import zlib
from pathlib import Path

WIDTH, HEIGHT = 1200, 800  # 3:2 like most photos
EDGE = 3.0  # width of the transition of a hard edge, in mask pixels
BLOCK = 16  # side of the squares that are checked for being all photo or all background


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def smoothstep(edge0, edge1, x):
    t = clamp01((x - edge0) / (edge1 - edge0))
    return t * t * (3.0 - 2.0 * t)


def edge(d, width=EDGE):
    """Coverage at signed distance d from a hard edge, positive on the background side."""
    return smoothstep(-0.5 * width, 0.5 * width, d)


# Signed distances, negative inside the shape, in mask pixels.

def box_distance(px, py, cx, cy, half_w, half_h, radius=0.0):
    """A rectangle centred on cx, cy; a radius rounds its corners."""
    qx = abs(px - cx) - half_w + radius
    qy = abs(py - cy) - half_h + radius
    if qx > 0.0 and qy > 0.0:
        return math.hypot(qx, qy) - radius
    return max(qx, qy) - radius


def circle_distance(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


def ellipse_distance(px, py, cx, cy, a, b):
    """Close to the true distance near the ellipse, smooth but rougher further away."""
    dx, dy = (px - cx) / a, (py - cy) / b
    r = math.hypot(dx, dy)
    if r == 0.0:
        return -min(a, b)
    gradient = math.hypot(dx / a, dy / b) / r
    return (r - 1.0) / gradient


# Smooth random curves for the rough edges; rng is a seeded random.Random.

def noise_curve(length, period, rng):
    """Random values every period samples, joined by Catmull-Rom pieces: smooth, -1..1."""
    knots = [rng.uniform(-1.0, 1.0) for _ in range(int(length / period) + 4)]
    out = []
    for i in range(length):
        t = i / period
        k = int(t)
        f = t - k
        p0, p1, p2, p3 = knots[k], knots[k + 1], knots[k + 2], knots[k + 3]
        out.append(0.5 * (2 * p1 + (p2 - p0) * f + (2 * p0 - 5 * p1 + 4 * p2 - p3) * f * f
                          + (3 * p1 - p0 - 3 * p2 + p3) * f * f * f))
    return out


def fractal_curve(length, rng, octaves):
    """A sum of noise curves, octaves being (period, amplitude) pairs."""
    total = [0.0] * length
    for period, amplitude in octaves:
        for i, v in enumerate(noise_curve(length, period, rng)):
            total[i] += amplitude * v
    return total


def slope_factors(curve):
    """1 / sqrt(1 + slope^2) along a curve: turns an offset across it into a distance."""
    n = len(curve)
    return [1.0 / math.sqrt(1.0 + (0.5 * (curve[min(i + 1, n - 1)] - curve[max(i - 1, 0)])) ** 2)
            for i in range(n)]


# Painting.

def paint(distance, shade=None, inside=-0.5 * EDGE, outside=0.5 * EDGE, slack=1.0):
    """Draws a mask of WIDTH x HEIGHT gray bytes.

    distance(x, y) is a signed distance from the shape at a pixel centre, shade(x, y) the
    coverage 0..1 there (by default the soft edge of distance). The mask is all photo where
    distance <= inside and all background where distance >= outside, so squares whose centre
    lies far enough from that band are filled without looking at their pixels; slack allows
    for distances that change faster than one per pixel.
    """
    if shade is None:
        def shade(x, y):
            return edge(distance(x, y))
    pixels = bytearray(WIDTH * HEIGHT)
    for y0 in range(0, HEIGHT, BLOCK):
        y1 = min(y0 + BLOCK, HEIGHT)
        for x0 in range(0, WIDTH, BLOCK):
            x1 = min(x0 + BLOCK, WIDTH)
            reach = slack * 0.5 * math.hypot(x1 - x0, y1 - y0)
            d = distance(0.5 * (x0 + x1), 0.5 * (y0 + y1))
            if d + reach <= inside:
                continue  # already black
            if d - reach >= outside:
                for y in range(y0, y1):
                    pixels[y * WIDTH + x0:y * WIDTH + x1] = b"\xff" * (x1 - x0)
                continue
            for y in range(y0, y1):
                cy = y + 0.5
                pixels[y * WIDTH + x0:y * WIDTH + x1] = bytes(
                    int(255.0 * shade(x + 0.5, cy) + 0.5) for x in range(x0, x1))
    return pixels


# The masks. Coordinates are mask pixels, the frame is 0..WIDTH x 0..HEIGHT.
CX, CY = WIDTH / 2, HEIGHT / 2


def oval_vignette():
    # An oval the photo fills, its rim fading out over about 70 pixels.
    fade = 70.0

    def distance(x, y):
        return ellipse_distance(x, y, CX, CY, 0.47 * WIDTH, 0.455 * HEIGHT)

    return paint(distance, lambda x, y: smoothstep(-fade, 0.0, distance(x, y)), inside=-fade, outside=0.0)


def soft_oval():
    # The photo melts into the background from well inside: only the middle stays clear.
    fade = 210.0

    def distance(x, y):
        return ellipse_distance(x, y, CX, CY, 0.5 * WIDTH, 0.5 * HEIGHT)

    def shade(x, y):
        t = smoothstep(-fade, 0.0, distance(x, y))
        return t * t * (2.0 - t)  # eases in slowly, reaches the background quickly

    return paint(distance, shade, inside=-fade, outside=0.0)


def soft_spotlight():
    # A round pool of light; everything beyond it sinks into the background.
    inner, outer = 180.0, 660.0

    def distance(x, y):
        return math.hypot(x - CX, y - CY)

    def shade(x, y):
        t = clamp01((distance(x, y) - inner) / (outer - inner))
        return t * t * (3.0 - 2.0 * t)

    return paint(distance, shade, inside=inner, outside=outer)


def circle():
    return paint(lambda x, y: circle_distance(x, y, CX, CY, 0.46 * HEIGHT))


def rounded_rectangle():
    return paint(lambda x, y: box_distance(x, y, CX, CY, CX - 40.0, CY - 40.0, 64.0))


def inset_line():
    # The whole photo, with a thin line of the background color drawn a little inside its edge.
    half_line = 2.5

    def distance(x, y):
        return half_line - abs(box_distance(x, y, CX, CY, CX - 36.0, CY - 36.0, 4.0))

    return paint(distance)


def arch_window():
    # A window whose top is a wide round arch, springing from the sides a third of the way down.
    left, right, bottom, apex, spring = 64.0, WIDTH - 64.0, HEIGHT - 56.0, 48.0, 300.0
    half_chord, rise = 0.5 * (right - left), spring - apex
    radius = (half_chord * half_chord + rise * rise) / (2.0 * rise)
    centre_y = apex + radius

    def distance(x, y):
        sides = max(left - x, x - right, y - bottom)
        top = min(circle_distance(x, y, CX, centre_y, radius), spring - y)
        return max(sides, top)

    return paint(distance)


def heart():
    # Two round lobes, and sides that bulge a little on their way down to the point: arcs of a
    # large circle that touch the lobes. The left half mirrors the right one.
    lobe, spread, lobe_y, point_y, side_radius = 212.0, 172.0, 290.0, 764.0, 1150.0
    lobe_x = CX + spread
    # The side circle passes through the point and holds the lobe touching it from inside.
    dx, dy = lobe_x - CX, lobe_y - point_y
    d = math.hypot(dx, dy)
    along = (side_radius ** 2 - (side_radius - lobe) ** 2 + d * d) / (2.0 * d)
    across = math.sqrt(side_radius ** 2 - along * along)
    side_x = CX + (along * dx + across * dy) / d
    side_y = point_y + (along * dy - across * dx) / d
    # Beyond the line from the side circle's centre through the lobe's the side arc ends.
    nx, ny = lobe_y - side_y, side_x - lobe_x
    n = math.hypot(nx, ny)
    if nx * (CX - side_x) + ny * (point_y - side_y) < 0:
        n = -n
    nx, ny = nx / n, ny / n

    def distance(x, y):
        x = CX + abs(x - CX)
        side = max(circle_distance(x, y, side_x, side_y, side_radius), -(nx * (x - side_x) + ny * (y - side_y)))
        return min(circle_distance(x, y, lobe_x, lobe_y, lobe), side)

    return paint(distance)


def film_frame():
    # A frame on a strip of film. The film takes the background color and its sprocket holes
    # let the photo through, which reads as film on a dark background and on a light one.
    band, side, pitch = 104.0, 26.0, 80.0
    hole_w, hole_h, hole_r = 17.0, 25.0, 6.0
    hole_y = 0.5 * band

    def distance(x, y):
        window = box_distance(x, y, CX, CY, CX - side, CY - band, 10.0)
        if band < y < HEIGHT - band:
            return window
        hx = (math.floor(x / pitch) + 0.5) * pitch
        hy = hole_y if y < CY else HEIGHT - hole_y
        return min(window, box_distance(x, y, hx, hy, hole_w, hole_h, hole_r))

    return paint(distance)


def postage_stamp():
    # The photo as a stamp: round bites along its edge with a hole on every corner, and a fine
    # line of the background color inside the teeth.
    left, top = 44.0, 44.0
    right, bottom = WIDTH - left, HEIGHT - top
    hole = 11.0
    across = round((right - left) / 34.0)
    down = round((bottom - top) / 34.0)
    step_x, step_y = (right - left) / across, (bottom - top) / down
    frame_inset, half_line = 30.0, 2.0

    def distance(x, y):
        stamp = box_distance(x, y, CX, CY, CX - left, CY - top)
        # The nearest hole on each edge.
        hx = left + step_x * min(max(round((x - left) / step_x), 0), across)
        hy = top + step_y * min(max(round((y - top) / step_y), 0), down)
        holes = min(math.hypot(x - hx, y - top), math.hypot(x - hx, y - bottom),
                    math.hypot(x - left, y - hy), math.hypot(x - right, y - hy)) - hole
        line = half_line - abs(box_distance(x, y, CX, CY, CX - left - frame_inset, CY - top - frame_inset))
        return max(stamp, -holes, line)

    return paint(distance)


def torn_paper():
    # A photo torn out by hand: each edge wanders at several scales, and along the tear a narrow
    # fringe of bare paper shows here and there, more background than photo.
    rng = random.Random(7340)
    octaves = [(260.0, 12.0), (90.0, 7.0), (34.0, 3.5), (13.0, 1.8), (6.0, 0.8)]
    sides = []
    for length in (WIDTH, WIDTH, HEIGHT, HEIGHT):
        depth = [30.0 + v for v in fractal_curve(length, rng, octaves)]
        fringe = [max(0.0, 1.0 + v) for v in fractal_curve(length, rng, [(130.0, 5.0), (28.0, 2.0), (7.0, 0.8)])]
        sides.append((depth, slope_factors(depth), fringe))
    (top, k_top, f_top), (bottom, k_bottom, f_bottom), (left, k_left, f_left), (right, k_right, f_right) = sides
    deepest_fringe = max(max(f) for _, _, f in sides)

    def offsets(x, y):
        i, j = min(int(x), WIDTH - 1), min(int(y), HEIGHT - 1)
        return ((top[i] - y) * k_top[i], f_top[i]), ((y - HEIGHT + bottom[i]) * k_bottom[i], f_bottom[i]), \
               ((left[j] - x) * k_left[j], f_left[j]), ((x - WIDTH + right[j]) * k_right[j], f_right[j])

    def distance(x, y):
        return max(d for d, _ in offsets(x, y))

    def shade(x, y):
        sides_here = offsets(x, y)
        outer = max(d for d, _ in sides_here)
        inner = max(d + f for d, f in sides_here)
        return max(edge(outer), 0.6 * edge(inner))

    return paint(distance, shade, inside=-deepest_fringe - EDGE, slack=2.0)


def limit_slope(curve, most):
    """The curve lowered where it would change by more than most per sample."""
    out = list(curve)
    for i in range(1, len(out)):
        out[i] = min(out[i], out[i - 1] + most)
    for i in range(len(out) - 2, -1, -1):
        out[i] = min(out[i], out[i + 1] + most)
    return out


def brush_edge():
    # The photo laid on with a broad brush in horizontal strokes. The strokes end at different
    # lengths in rounded, ragged tips where dry bristles leave streaks; the long sides are only
    # a little uneven, with a few bristle marks along them.
    rng = random.Random(5120)
    strokes = []  # top, bottom and how much longer than the mean the stroke is on each side
    y = -30.0
    while y < HEIGHT:
        height = rng.uniform(95.0, 140.0)
        strokes.append((y, y + height, rng.uniform(-35.0, 25.0), rng.uniform(-35.0, 25.0)))
        y += height - rng.uniform(18.0, 30.0)
    # The tips are measured along the rows, as the bristles run; where the tip line turns
    # steep its soft edge would stretch out, so it never turns faster than this per row.
    steepest = 3.0

    def stroke_ends(side):
        # How far in from the side the paint ends, on every row.
        bristles = fractal_curve(HEIGHT, rng, [(60.0, 7.0), (14.0, 6.0), (6.0, 3.0)])
        ends = []
        for row in range(HEIGHT):
            longest = -math.inf
            for top, bottom, *longer in strokes:
                if top <= row <= bottom:
                    u = (2.0 * row - top - bottom) / (bottom - top)
                    longest = max(longest, longer[side] - 50.0 * u * u)
            ends.append(75.0 - longest - bristles[row])
        return limit_slope(ends, steepest)

    def dryness():
        # How thin the paint runs toward the tip, row by row: 0 full, 1 dry. The rows differ
        # sharply, but streaks along the rows stay smooth however the mask is stretched.
        return [clamp01(0.5 + v) for v in fractal_curve(HEIGHT, rng, [(4.0, 1.3), (19.0, 0.6)])]

    def tip_lengths():
        # How far each bristle's paint thins out before it ends.
        return [8.0 + 22.0 * clamp01(0.5 + v) for v in fractal_curve(HEIGHT, rng, [(4.0, 1.2), (15.0, 0.5)])]

    left_ends, right_ends = stroke_ends(0), stroke_ends(1)
    dry_left, dry_right = dryness(), dryness()
    soft_left, soft_right = tip_lengths(), tip_lengths()
    top_side = [38.0 + v for v in fractal_curve(WIDTH, rng, [(300.0, 9.0), (70.0, 3.0), (15.0, 0.8)])]
    bottom_side = [38.0 + v for v in fractal_curve(WIDTH, rng, [(300.0, 9.0), (70.0, 3.0), (15.0, 0.8)])]
    k_top, k_bottom = slope_factors(top_side), slope_factors(bottom_side)
    # Bristle marks along the long sides: lines parallel to the side that come and go along it.
    marks = [clamp01(0.2 + v) for v in fractal_curve(40, rng, [(2.5, 1.0)])]
    marks_here = [clamp01(v) for v in fractal_curve(WIDTH, rng, [(110.0, 1.4), (35.0, 0.5)])]
    tip, mark_depth = 60.0, 14.0

    def sides(x, y):
        i, j = min(int(x), WIDTH - 1), min(int(y), HEIGHT - 1)
        return (i, j, left_ends[j] - x, x - WIDTH + right_ends[j],
                (top_side[i] - y) * k_top[i], (y - HEIGHT + bottom_side[i]) * k_bottom[i])

    def distance(x, y):
        return max(sides(x, y)[2:])

    def shade(x, y):
        i, j, d_left, d_right, d_top, d_bottom = sides(x, y)
        d_end, d_side = max(d_left, d_right), max(d_top, d_bottom)
        # The tips thin out along the row instead of ending sharply.
        dry, soft = (dry_left[j], soft_left[j]) if d_left > d_right else (dry_right[j], soft_right[j])
        cover = max(smoothstep(-soft, 1.5, d_end), edge(d_side, 4.0))
        t = smoothstep(-tip, 0.0, d_end)
        cover = max(cover, dry * t)
        if -mark_depth < d_side < 0.0:
            s = -d_side / mark_depth * (len(marks) - 2)
            k = int(s)
            mark = marks[k] + (marks[k + 1] - marks[k]) * (s - k)
            cover = max(cover, 0.85 * mark * marks_here[i] * smoothstep(-mark_depth, 0.0, d_side))
        return cover

    return paint(distance, shade, inside=-tip, outside=2.0, slack=steepest)


MASKS = {
    "Oval vignette.png": oval_vignette,
    "Soft oval.png": soft_oval,
    "Soft spotlight.png": soft_spotlight,
    "Circle.png": circle,
    "Rounded rectangle.png": rounded_rectangle,
    "Inset line.png": inset_line,
    "Arch window.png": arch_window,
    "Heart.png": heart,
    "Film frame.png": film_frame,
    "Postage stamp.png": postage_stamp,
    "Torn paper.png": torn_paper,
    "Brush edge.png": brush_edge,
}


# PNG: 8-bit gray, each row with the filter that leaves the smallest values.

SIGNED_SIZE = bytes(min(v, 256 - v) for v in range(256))


def common_prefix(a, b):
    """Length of the common start of two equally long byte strings, by halving."""
    lo, hi = 0, len(a)
    while lo < hi:
        mid = (lo + hi + 1) // 2
        if a[:mid] == b[:mid]:
            lo = mid
        else:
            hi = mid - 1
    return lo


def paeth_row(row, prev):
    """The Paeth filter; where row and the row above agree it leaves zeros, so only the
    stretch between their first and last difference is worked out."""
    n = len(row)
    out = bytearray(n)
    start = common_prefix(row, prev)
    end = n - common_prefix(row[::-1], prev[::-1])
    for i in range(start, min(end + 1, n)):
        a = row[i - 1] if i else 0
        b = prev[i]
        c = prev[i - 1] if i else 0
        pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - c - c)
        predicted = a if pa <= pb and pa <= pc else b if pb <= pc else c
        out[i] = (row[i] - predicted) & 255
    return bytes(out)


def filtered_rows(pixels, width, height):
    prev = bytes(width)
    out = bytearray()
    for y in range(height):
        row = bytes(pixels[y * width:(y + 1) * width])
        if row == prev:
            out += b"\x02" + bytes(width)
        else:
            candidates = [
                (0, row),
                (1, bytes([row[0]]) + bytes([(a - b) & 255 for a, b in zip(row[1:], row)])),
                (2, bytes([(a - b) & 255 for a, b in zip(row, prev)])),
                (4, paeth_row(row, prev)),
            ]
            kind, data = min(candidates, key=lambda c: sum(c[1].translate(SIGNED_SIZE)))
            out.append(kind)
            out += data
        prev = row
    return bytes(out)


def png_bytes(pixels, width, height):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = filtered_rows(pixels, width, height)
    packed = []
    for strategy in (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FILTERED):
        compressor = zlib.compressobj(9, zlib.DEFLATED, 15, 9, strategy)
        packed.append(compressor.compress(raw) + compressor.flush())
    header = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", min(packed, key=len))
            + chunk(b"IEND", b""))


# A Windows metafile: the window as shapes, drawn at whatever size the photo has.

class Metafile:
    """Records for an Aldus placeable Windows metafile, with GDI's object table."""

    WHITE, BLACK = 0xFFFFFF, 0x000000

    def __init__(self):
        self.records = []
        self.slots = []  # True where the object table holds an object
        self.most_objects = 0

    def record(self, function, *words):
        self.records.append(struct.pack("<IH", 3 + len(words), function)
                            + b"".join(struct.pack("<H", w & 0xFFFF) for w in words))

    def create(self, function, *words):
        # A new object takes the first free slot, as GDI does.
        slot = self.slots.index(False) if False in self.slots else len(self.slots)
        if slot == len(self.slots):
            self.slots.append(True)
        self.slots[slot] = True
        self.most_objects = max(self.most_objects, len(self.slots))
        self.record(function, *words)
        return slot

    def brush(self, color):
        return self.create(0x02FC, 0, color & 0xFFFF, color >> 16, 0)  # solid

    def pen(self, color, width):
        # A null pen draws nothing; a solid one the same color as the fill gives the shapes
        # smooth edges, as the outlines are drawn anti-aliased where the fills are not.
        return self.create(0x02FA, 0 if width else 5, width, 0, color & 0xFFFF, color >> 16)

    def select(self, slot):
        self.record(0x012D, slot)

    def delete(self, slot):
        self.slots[slot] = False
        self.record(0x01F0, slot)

    def window(self, left, top, width, height):
        self.record(0x020B, top, left)
        self.record(0x020C, height, width)

    def rectangle(self, left, top, right, bottom):
        self.record(0x041B, bottom, right, top, left)

    def ellipse(self, left, top, right, bottom):
        self.record(0x0418, bottom, right, top, left)

    def fill_mode(self, winding):
        self.record(0x0106, 2 if winding else 1)

    def poly_polygon(self, polygons):
        words = [len(polygons)] + [len(p) for p in polygons]
        for points in polygons:
            for x, y in points:
                words += [x, y]
        self.record(0x0538, *words)

    def file_bytes(self, width, height, units_per_inch):
        body = b"".join(self.records) + struct.pack("<IH", 3, 0)
        words = (18 + len(body)) // 2
        largest = max(len(r) for r in self.records) // 2
        header = struct.pack("<HHHIHIH", 1, 9, 0x0300, words, self.most_objects, largest, 0)
        placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, width, height, units_per_inch, 0)
        checksum = 0
        for (w,) in struct.iter_unpack("<H", placeable):
            checksum ^= w
        return placeable + struct.pack("<H", checksum) + header + body


def ornate_window():
    # A window with hollowed corners and a fine line of the background color inside its edge.
    # Logical units are half mask pixels, so the same frame reads as 1200 x 800 pixels.
    width, height = 2 * WIDTH, 2 * HEIGHT
    left, top, right, bottom = 120, 110, width - 120, height - 110
    bite = 150
    corners = [(left, top, 1, 1), (right, top, -1, 1), (right, bottom, -1, -1), (left, bottom, 1, -1)]

    def outline(inset):
        # The window's edge moved inset units inward: straight sides joined by the corner arcs.
        r = bite + inset
        start = math.asin(inset / r)
        points = []
        for cx, cy, sx, sy in corners:
            arc = [start + (0.5 * math.pi - 2 * start) * i / 24 for i in range(25)]
            if sx * sy > 0:
                arc.reverse()
            points += [(round(cx + sx * r * math.cos(a)), round(cy + sy * r * math.sin(a))) for a in arc]
        return points

    m = Metafile()
    m.window(0, 0, width, height)
    white, black = m.brush(Metafile.WHITE), m.brush(Metafile.BLACK)
    white_pen, black_pen = m.pen(Metafile.WHITE, 3), m.pen(Metafile.BLACK, 3)
    m.select(m.pen(Metafile.WHITE, 0))
    m.select(white)
    m.rectangle(-40, -40, width + 40, height + 40)
    m.select(black)
    m.select(black_pen)
    m.rectangle(left, top, right, bottom)
    m.select(white)
    m.select(white_pen)
    for cx, cy, _, _ in corners:
        m.ellipse(cx - bite, cy - bite, cx + bite, cy + bite)
    m.fill_mode(winding=False)
    m.poly_polygon([outline(40), outline(52)])
    for slot in (white, black, white_pen, black_pen):
        m.delete(slot)
    return m.file_bytes(width, height, 192)


def main():
    folder = Path(sys.argv[1] if len(sys.argv) > 1 else "data/Masks")
    folder.mkdir(parents=True, exist_ok=True)
    for name, draw in MASKS.items():
        (folder / name).write_bytes(png_bytes(draw(), WIDTH, HEIGHT))
        print(folder / name)
    (folder / "Ornate window.wmf").write_bytes(ornate_window())
    print(folder / "Ornate window.wmf")


if __name__ == "__main__":
    main()
