#!/usr/bin/env python3
"""Paints the sample photo data/sample/lakeside.jpg.

This is the photo for Lumatrim to open at its very first start, so that a newcomer sees
the whole window at work at once. It is painted here from nothing but seeded noise: a mountain lake at
golden hour, with a low sun, soft clouds, ridges fading into the haze, a wooded shore, its
reflection in the water and a grassy bank in the foreground. Grain and a light vignette make
it read as a photograph.

The light is worked out in linear values, brighter than white where the sun is, and brought
into display range by a filmic curve at the end. The picture goes to a binary PPM in a
temporary folder and from there through cjpeg (Debian package libjpeg-turbo-progs):
    python3 scripts/make-sample-photo.py [output.jpg]
Without an argument it writes data/sample/lakeside.jpg of the repository that holds this
script. The same seed paints the same picture on every run.
"""
import math
import random
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

WIDTH, HEIGHT = 960, 640
SEED = 1_862_270
QUALITY = 85

HORIZON = 402  # the waterline of the far shore; the reflection mirrors about it
SUN_X, SUN_Y, SUN_RADIUS = 604.0, 268.0, 12.5


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def smoothstep(edge0, edge1, x):
    t = (x - edge0) / (edge1 - edge0)
    if t <= 0.0:
        return 0.0
    if t >= 1.0:
        return 1.0
    return t * t * (3.0 - 2.0 * t)


def mix(a, b, t):
    return (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t)


# Value noise. A lattice of random values is interpolated with a smooth step; a whole row of
# the picture is read at one lattice height, so the vertical blend is done once per row on
# the lattice and only the horizontal one per pixel.

class Lattice:
    SIZE = 256  # wraps around; coordinates stay far below one wrap per picture
    MASK = SIZE - 1

    def __init__(self, rng):
        self.rows = []
        for _ in range(self.SIZE):
            row = [rng.random() for _ in range(self.SIZE)]
            row.append(row[0])  # the right neighbour of the last cell
            self.rows.append(row)

    def row_at(self, v):
        j = int(v)
        t = v - j
        t = t * t * (3.0 - 2.0 * t)
        a = self.rows[j & self.MASK]
        b = self.rows[(j + 1) & self.MASK]
        return [p + (q - p) * t for p, q in zip(a, b)]

    def sample_row(self, v, u0, du, n):
        """Values at (u0 + du * i, v) for i in range(n); all coordinates non-negative."""
        r = self.row_at(v)
        mask = self.MASK
        out = []
        put = out.append
        u = u0
        for _ in range(n):
            i = int(u)
            f = u - i
            i &= mask
            a = r[i]
            put(a + (r[i + 1] - a) * f * f * (3.0 - 2.0 * f))
            u += du
        return out


class Fractal:
    """Octaves of value noise, each twice as fine and `gain` times as strong as the one
    before; the sum is scaled back to about 0..1."""
    OFFSET = 512.0  # keeps the lattice coordinates positive

    def __init__(self, rng, octaves, gain=0.5):
        self.octaves = []
        for k in range(octaves):
            self.octaves.append((Lattice(rng), 2.0 ** k, gain ** k,
                                 rng.uniform(0.0, 256.0), rng.uniform(0.0, 256.0)))

    def row(self, v, u0, du, n, dv=None):
        """The sum at (u0 + du * i, v) for i in range(n). Given dv, how far v moves from
        one picture row to the next, octaves finer than about two pixels in either
        direction fade out rather than turn into pixel noise."""
        total = [0.0] * n
        weight_sum = 0.0
        for lattice, freq, amp, ou, ov in self.octaves:
            w = amp
            if dv is not None:
                steps = max(abs(du), abs(dv)) * freq  # lattice cells per pixel
                w *= 1.0 - smoothstep(0.18, 0.45, steps)
                if w <= 0.0:
                    continue
            vals = lattice.sample_row((v + self.OFFSET) * freq + ov,
                                      (u0 + self.OFFSET) * freq + ou, du * freq, n)
            total = [t + w * s for t, s in zip(total, vals)]
            weight_sum += w
        if weight_sum == 0.0:
            return [0.5] * n
        k = 1.0 / weight_sum
        return [t * k for t in total]


def midpoint_profile(rng, count, roughness):
    """A ridge line by midpoint displacement: count + 1 heights scaled to 0..1."""
    pts = [0.0] * (count + 1)
    pts[0], pts[count] = rng.uniform(-1.0, 1.0), rng.uniform(-1.0, 1.0)
    step, scale = count, 1.0
    while step > 1:
        half = step // 2
        for i in range(half, count, step):
            pts[i] = 0.5 * (pts[i - half] + pts[i + half]) + rng.uniform(-1.0, 1.0) * scale
        scale *= roughness
        step = half
    lo, hi = min(pts), max(pts)
    return [(p - lo) / (hi - lo) for p in pts]


def profile_at(pts, x):
    """The profile over the picture's width, read at pixel column x."""
    s = x / (WIDTH - 1) * (len(pts) - 1)
    i = min(int(s), len(pts) - 2)
    return pts[i] + (pts[i + 1] - pts[i]) * (s - i)


# The light of the sky.

ZENITH = (0.028, 0.080, 0.25)
HIGH_SKY = (0.11, 0.22, 0.45)
HORIZON_WARM = (1.15, 0.60, 0.22)  # below the sun
HORIZON_COOL = (0.78, 0.52, 0.34)  # far from it, paler
GLOW = (1.0, 0.62, 0.28)
GLOW_WIDE = (1.0, 0.44, 0.13)  # the broad glow, redder than the halo round the disk
SUN = (28.0, 22.0, 14.0)
CLOUD_LIT = (1.0, 0.46, 0.30)  # sunset light on the underside of a cloud


def sky_color(x, y, with_core=True):
    """The clear sky at pixel (x, y): a gradient from the zenith to a horizon that is warm
    under the sun, plus the glow around the sun. Without the core, the tight bright halo is
    left out, for the haze in front of the hills, which is lit but not dazzling."""
    e = clamp01((HORIZON - y) / HORIZON)  # 0 at the horizon, 1 at the top edge
    side = min(1.0, abs(x - SUN_X) / 620.0)
    horizon = mix(HORIZON_WARM, HORIZON_COOL, side ** 0.8)
    # the warm band reaches higher above the sun
    low = mix(horizon, HIGH_SKY,
              smoothstep(0.0, 0.62 + 0.25 * math.exp(-abs(x - SUN_X) / 260.0), e ** 0.8))
    c = mix(low, ZENITH, smoothstep(0.35, 1.0, e))
    dx = x - SUN_X
    dy = (y - SUN_Y) * 1.7  # the glow spreads along the horizon
    d = math.sqrt(dx * dx + dy * dy)
    w = (0.75 * math.exp(-d / 140.0) + 0.30 * math.exp(-d / 330.0)) * (1.0 - 0.6 * e)
    g = 3.0 * math.exp(-d / 20.0) + 1.2 * math.exp(-d / 55.0) if with_core else 0.0
    return (c[0] + GLOW_WIDE[0] * w + GLOW[0] * g, c[1] + GLOW_WIDE[1] * w + GLOW[1] * g,
            c[2] + GLOW_WIDE[2] * w + GLOW[2] * g)


def haze_color(x, y):
    """The air between the viewer and the far shore: the sky's light without the sun's
    halo, a little bluer than the sky behind it except under the sun."""
    air = sky_color(x, y, with_core=False)
    sunward = math.exp(-abs(x - SUN_X) / 220.0)
    return (air[0] * (0.62 + 0.25 * sunward), air[1] * (0.70 + 0.10 * sunward),
            air[2] * (0.95 - 0.20 * sunward))


class Canvas:
    def __init__(self):
        self.r = [[0.0] * WIDTH for _ in range(HEIGHT)]
        self.g = [[0.0] * WIDTH for _ in range(HEIGHT)]
        self.b = [[0.0] * WIDTH for _ in range(HEIGHT)]

    def put(self, x, y, c):
        self.r[y][x], self.g[y][x], self.b[y][x] = c

    def blend(self, x, y, c, a):
        if a <= 0.0:
            return
        r, g, b = self.r[y], self.g[y], self.b[y]
        r[x] += (c[0] - r[x]) * a
        g[x] += (c[1] - g[x]) * a
        b[x] += (c[2] - b[x]) * a


def paint_sky(canvas, rng):
    """Sky, sun and clouds above the waterline. The clouds lie on a plane seen in
    perspective, so they flatten and crowd towards the horizon."""
    cloud_shape = Fractal(rng, 7, 0.62)
    cloud_cover = Fractal(rng, 3, 0.5)
    rows = HORIZON
    density = []
    for y in range(rows):
        e = (HORIZON - y) / HORIZON
        z = 1.0 / (e + 0.06)  # distance to the cloud plane along this row
        du = 2.4 * z / WIDTH
        n = cloud_shape.row(z * 1.9, -0.5 * WIDTH * du, du, WIDTH)
        m = cloud_cover.row(z * 0.55 + 40.0, -0.5 * WIDTH * du * 0.35, du * 0.35, WIDTH)
        # more cloud in a band across the middle of the sky, thinning near the zenith
        band = 0.10 * smoothstep(0.08, 0.45, e) - 0.16 * smoothstep(0.55, 1.0, e)
        lo = 0.55 - band
        density.append([smoothstep(lo, lo + 0.17, n[x] + 0.30 * (m[x] - 0.5))
                        for x in range(WIDTH)])

    # How much cloud lies between each point and the sun, from a few steps along the line
    # towards it: little means the sun's light reaches that part of the cloud.
    reach = [(4.0, 0.30), (9.0, 0.30), (16.0, 0.25), (27.0, 0.20), (42.0, 0.15)]
    for y in range(rows):
        e = (HORIZON - y) / HORIZON
        low = 1.0 - e
        dusk = 0.50 + 0.9 * low
        shadow = (0.080 * dusk, 0.088 * dusk, 0.150 * dusk)
        warm = 0.50 + 1.00 * low * low
        dens = density[y]
        for x in range(WIDTH):
            c = sky_color(x, y)
            dx = x - SUN_X
            dy = (y - SUN_Y) * 1.5
            d = math.sqrt(dx * dx + dy * dy)
            # the sun disk, with a soft rim and a little limb darkening
            if d < 2.0 * SUN_RADIUS:
                r = math.hypot(dx, y - SUN_Y)
                a = clamp01(SUN_RADIUS + 0.5 - r)
                limb = 1.0 - 0.25 * min(1.0, r / SUN_RADIUS) ** 2
                c = mix(c, (SUN[0] * limb, SUN[1] * limb, SUN[2] * limb), a)
            k = dens[x]
            if k > 0.0:
                near = math.exp(-d / 160.0)
                length = math.hypot(dx, y - SUN_Y) + 1e-6
                ux, uy = -dx / length, (SUN_Y - y) / length
                depth = 0.0
                for step, weight in reach:
                    sx = int(x + ux * step)
                    sy = int(y + uy * step)
                    if 0 <= sx < WIDTH and 0 <= sy < rows:
                        depth += density[sy][sx] * weight
                light = math.exp(-1.0 * depth) * (0.7 + 0.3 * (1.0 - k))
                lit = (CLOUD_LIT[0] * warm + GLOW[0] * near * 3.4,
                       CLOUD_LIT[1] * warm + GLOW[1] * near * 3.4,
                       CLOUD_LIT[2] * warm + GLOW[2] * near * 3.4)
                c = mix(c, mix(shadow, lit, light), k ** 0.8 * 0.92)
            canvas.put(x, y, c)


# The hills, from the farthest to the nearest: base line, height, roughness, haze, and the
# color of the slopes in shadow before the haze is laid over them.
RIDGES = [
    (318.0, 92.0, 0.56, 0.58, (0.16, 0.14, 0.26)),
    (348.0, 64.0, 0.58, 0.36, (0.075, 0.070, 0.13)),
    (372.0, 42.0, 0.60, 0.18, (0.030, 0.030, 0.055)),
    (392.0, 26.0, 0.62, 0.10, (0.010, 0.012, 0.016)),
]


def paint_ridges(canvas, rng):
    """Layered ridges, each paler and bluer with distance and each misty at its foot, so
    the next nearer ridge stands out against it."""
    texture = Fractal(rng, 5, 0.55)
    for index, (base, height, rough, haze, dark) in enumerate(RIDGES):
        pts = midpoint_profile(rng, 1024, rough)
        # a saddle where the sun goes down, and shoulders to either side of it
        tops = []
        for x in range(WIDTH):
            saddle = 1.0 - 0.65 * math.exp(-((x - SUN_X) / (150.0 + 40 * index)) ** 2)
            shape = profile_at(pts, x) ** 1.25 * saddle
            tops.append(base - height * (0.25 + 0.75 * shape))
        scale = 1.0 + index * 0.8
        for y in range(int(min(tops)), HORIZON):
            tex = texture.row(y * 0.035 * scale + 17.0 * index, 0.0, 0.02 * scale, WIDTH)
            for x in range(WIDTH):
                top = tops[x]
                if y + 1.0 < top:
                    continue
                left, right = tops[max(0, x - 1)], tops[min(WIDTH - 1, x + 1)]
                slope = 0.5 * (right - left)
                cover = clamp01((y - top) / math.sqrt(1.0 + slope * slope) + 0.5)
                below = y - top
                mist = haze + (1.0 - haze) * 0.42 * smoothstep(6.0, 70.0 + 10.0 * index, below)
                air = haze_color(x, y)
                t = 0.75 + 0.5 * tex[x]
                # the edge against the sky catches a little of the light behind it
                rim = 0.0
                if index < 3:
                    rim = 0.6 * math.exp(-below / 2.0) * math.exp(-abs(x - SUN_X) / 160.0)
                rock = (dark[0] * t + GLOW[0] * rim, dark[1] * t + GLOW[1] * rim,
                        dark[2] * t + GLOW[2] * rim)
                canvas.blend(x, y, mix(rock, air, mist), cover)


def paint_trees(canvas, rng):
    """Spruce along the far shore: a low, dense line right across and a wooded headland
    on the left, taller because it is nearer. Each tree is a narrow cone built from
    drooping tiers of branches."""
    top_row = HORIZON - 130
    rows = HORIZON - top_row
    cover = [[0.0] * WIDTH for _ in range(rows)]
    trees = []
    x = -4.0
    while x < WIDTH + 4:
        headland = math.exp(-((x + 30.0) / 270.0) ** 4)
        right_wood = math.exp(-((x - 930.0) / 150.0) ** 2)
        h = 5.0 + rng.uniform(0.0, 6.0) + 95.0 * headland * rng.uniform(0.55, 1.0) \
            + 40.0 * right_wood * rng.uniform(0.4, 1.0)
        trees.append((x, h))
        x += max(1.2, h * rng.uniform(0.05, 0.16))
    trees.sort(key=lambda t: t[1])
    for cx, h in trees:
        half = h * rng.uniform(0.17, 0.24) + 0.8
        tiers = max(3, int(h / rng.uniform(5.0, 7.0)))
        lean = rng.uniform(-0.04, 0.04)
        for yy in range(max(0, int(HORIZON - h - 2) - top_row), rows):
            y = yy + top_row
            t = (HORIZON - y) / h  # 0 at the foot, 1 at the tip
            if t > 1.05:
                continue
            phase = (t * tiers) % 1.0
            width = half * max(0.0, 1.0 - t) ** 0.95 * (0.62 + 0.38 * phase) + 0.45
            if t > 0.96:
                width = 0.45 * max(0.0, 1.05 - t) / 0.09
            center = cx + lean * (HORIZON - y)
            row = cover[yy]
            for px in range(max(0, int(center - width - 2)), min(WIDTH, int(center + width + 2))):
                a = clamp01(width - abs(px + 0.5 - center) + 0.5)
                if a > row[px]:
                    row[px] = a
    for yy in range(rows):
        y = yy + top_row
        row = cover[yy]
        for x in range(WIDTH):
            a = row[x]
            if a > 0.0:
                air = haze_color(x, y)
                # the woods at either side are nearer than the line across the middle
                nearer = max(math.exp(-((x + 30.0) / 270.0) ** 4),
                             math.exp(-((x - 930.0) / 150.0) ** 2))
                haze = 0.03 * (1.0 - nearer) + 0.03
                canvas.blend(x, y, mix((0.012, 0.018, 0.014), air, haze), a)


def paint_lake(canvas, rng):
    """The lake mirrors everything above the waterline. Ripples, flat in the distance and
    larger near by, shift the mirrored rows; calm patches stay almost sharp. The water
    reflects more of the sky the flatter it is seen, and the low sun lays a path of
    glints towards the shore."""
    ripple = Fractal(rng, 5, 0.55)
    glint = Fractal(rng, 3, 0.6)
    calm = Fractal(rng, 3, 0.5)
    src_r = [row[:] for row in canvas.r[:HORIZON]]
    src_g = [row[:] for row in canvas.g[:HORIZON]]
    src_b = [row[:] for row in canvas.b[:HORIZON]]
    deep = (0.012, 0.028, 0.040)
    for y in range(HORIZON, HEIGHT):
        d = y - HORIZON + 0.5
        z = 60.0 / (d + 14.0)  # distance across the water along this row
        dz = 60.0 / (d + 14.0) ** 2  # how much of it one row covers
        du = 0.030 * z
        wave = ripple.row(z * 9.0, -0.5 * WIDTH * du, du, WIDTH, dv=dz * 9.0)
        du2 = 0.11 * z
        spark = glint.row(z * 31.0 + 7.0, -0.5 * WIDTH * du2, du2, WIDTH, dv=dz * 31.0)
        du3 = 0.006 * z
        still = calm.row(z * 1.3, -0.5 * WIDTH * du3, du3, WIDTH)
        fresnel = 0.20 + 0.74 * math.exp(-d / 85.0)
        amp = 0.8 + 0.085 * d
        path = 5.0 + 0.30 * d  # the half-width of the path of glints
        mirror = 2 * HORIZON - 1 - y
        for x in range(WIDTH):
            calmness = smoothstep(0.42, 0.62, still[x])
            shift = (wave[x] - 0.5) * amp * (1.0 - 0.8 * calmness) * 2.2
            ry = mirror + shift
            ry = 0.0 if ry < 0.0 else ry
            iy = int(ry)
            if iy >= HORIZON - 1:
                iy, f = HORIZON - 2, 1.0
            else:
                f = ry - iy
            ix = x + int(shift * 0.25)
            ix = 0 if ix < 0 else WIDTH - 1 if ix >= WIDTH else ix
            r = src_r[iy][ix] + (src_r[iy + 1][ix] - src_r[iy][ix]) * f
            g = src_g[iy][ix] + (src_g[iy + 1][ix] - src_g[iy][ix]) * f
            b = src_b[iy][ix] + (src_b[iy + 1][ix] - src_b[iy][ix]) * f
            # rough water mixes in the sky above the mirrored point, a little lighter
            rough = (1.0 - calmness) * 0.05
            sky = sky_color(x, max(0, mirror - 40), with_core=False)
            r += (sky[0] - r) * rough
            g += (sky[1] - g) * rough
            b += (sky[2] - b) * rough
            k = fresnel * 0.92
            r, g, b = r * k + deep[0] * (1 - k), g * k + deep[1] * (1 - k), b * k + deep[2] * (1 - k)
            off = (x - SUN_X) / path
            if off * off < 9.0:
                s = spark[x] - 0.60
                if s > 0.0:
                    bright = 42.0 * math.exp(-off * off) * (s / 0.4) ** 2.2 * (1.0 - 0.6 * calmness)
                    bright *= math.exp(-d / 170.0)
                    r += GLOW[0] * bright
                    g += GLOW[1] * bright * 0.95
                    b += GLOW[2] * bright * 0.85
            canvas.put(x, y, (r, g, b))
        # short bright dashes scattered about the sun's column, packed close near the
        # horizon and thinning out towards the shore
        row_r, row_g, row_b = canvas.r[y], canvas.g[y], canvas.b[y]
        for _ in range(int(path * 0.4 * math.exp(-d / 140.0) + rng.random())):
            gx = rng.gauss(SUN_X, path * 0.5)
            length = 1.0 + rng.random() * (1.5 + 0.05 * d)
            bright = 9.0 * rng.random() ** 3 * math.exp(-d / 120.0)
            for px in range(int(gx - length), int(gx + length) + 1):
                if 0 <= px < WIDTH:
                    a = clamp01(length - abs(px + 0.5 - gx)) * bright
                    row_r[px] += GLOW[0] * a
                    row_g[px] += GLOW[1] * a
                    row_b[px] += GLOW[2] * a * 0.8


def bank_edge(x, pts):
    """The top of the grassy bank in the foreground: high on the left, running down and
    out of the picture on the right."""
    rise = math.exp(-((x + 80.0) / 520.0) ** 2)
    return HEIGHT - 18.0 - 118.0 * rise - 14.0 * (profile_at(pts, x) - 0.5)


def paint_bank(canvas, rng):
    """Earth in shadow with a mottled texture, then thousands of blades of grass drawn
    back to front, their tips lit by the low sun behind them."""
    pts = midpoint_profile(rng, 256, 0.55)
    edge = [bank_edge(x, pts) for x in range(WIDTH)]
    soil = Fractal(rng, 5, 0.6)
    top = int(min(edge)) - 1
    for y in range(top, HEIGHT):
        tex = soil.row(y * 0.08, 0.0, 0.06, WIDTH)
        for x in range(WIDTH):
            a = clamp01(y - edge[x] + 0.5)
            if a > 0.0:
                t = tex[x]
                depth = clamp01((y - edge[x]) / 80.0)
                c = (0.020 + 0.030 * t, 0.022 + 0.028 * t, 0.010 + 0.010 * t)
                c = mix(c, (0.010, 0.012, 0.006), depth * 0.6)
                canvas.blend(x, y, c, a)

    # Grass grows in tufts: most blades start near a tuft's centre and share its height.
    blades = []
    for _ in range(700):
        cx = rng.uniform(-20.0, WIDTH + 20.0)
        e = bank_edge(min(WIDTH - 1, max(0, cx)), pts)
        if e > HEIGHT - 2:
            continue
        cy = e + (HEIGHT + 10 - e) * rng.random() ** 1.5
        near = clamp01((cy - 460.0) / 180.0)  # lower in the picture means nearer
        tall = rng.uniform(0.6, 1.3)
        for _ in range(rng.randint(6, 16)):
            blades.append((cy + rng.uniform(-2.0, 2.0), cx + rng.gauss(0.0, 3.0 + 9.0 * near),
                           tall * rng.uniform(0.6, 1.15), False))
    for _ in range(2200):
        x = rng.uniform(-10.0, WIDTH + 10.0)
        e = bank_edge(min(WIDTH - 1, max(0, x)), pts)
        if e > HEIGHT - 2:
            continue
        blades.append((e + (HEIGHT + 10 - e) * rng.random() ** 1.6, x, rng.uniform(0.5, 1.2), False))
    # a few taller stalks with seed heads, standing out against the water
    for _ in range(5):
        cx = rng.uniform(20.0, WIDTH * 0.75)
        for _ in range(rng.randint(2, 6)):
            x = min(WIDTH - 1.0, max(0.0, cx + rng.gauss(0.0, 14.0)))
            e = bank_edge(x, pts)
            blades.append((e + rng.uniform(4.0, 40.0), x, rng.uniform(1.3, 2.4), True))
    blades.sort()
    for y0, x0, tall, seeded in blades:
        near = clamp01((y0 - 460.0) / 180.0)
        length = (14.0 + 62.0 * near) * tall
        width = (0.7 + 1.8 * near * rng.uniform(0.6, 1.0)) * (0.6 if seeded else 1.0)
        angle = rng.gauss(0.10, 0.22)  # radians from upright, leaning with the breeze
        bend = rng.gauss(0.25, 0.25) * (1 if angle >= 0 else -1)
        if seeded:
            angle, bend = rng.gauss(0.08, 0.08), rng.gauss(0.15, 0.08)
        green = rng.uniform(0.0, 1.0)
        base_col = mix((0.008, 0.010, 0.004), (0.014, 0.016, 0.005), green)
        tip_col = mix((0.055, 0.045, 0.014), (0.032, 0.042, 0.012), green)
        lit = rng.random() ** 3 * (0.4 + 0.6 * math.exp(-abs(x0 - SUN_X) / 300.0))
        steps = int(length * 1.5) + 2
        x, y = x0, y0
        for i in range(steps):
            t = i / (steps - 1)
            a = angle + bend * t * t
            x += math.sin(a) * length / steps
            y -= math.cos(a) * length / steps
            iy = int(y)
            if iy < 0 or iy >= HEIGHT:
                continue
            if seeded:
                # a thin stalk, then a spike of seeds that glows with the light behind it
                head = smoothstep(0.78, 0.84, t) * (1.0 - smoothstep(0.96, 1.0, t))
                half = 0.35 + 1.3 * head * (0.5 + 0.5 * near)
                c = mix(base_col, tip_col, t)
                glow = 0.02 + head * (0.04 + 0.14 * lit)
            else:
                half = 0.5 * width * (1.0 - 0.85 * t)
                c = mix(base_col, tip_col, t ** 0.7)
                glow = lit * smoothstep(0.55, 1.0, t) * 0.16
            c = (c[0] + GLOW[0] * glow, c[1] + GLOW[1] * glow, c[2] + GLOW[2] * glow)
            for px in range(int(x - half - 1), int(x + half + 2)):
                if 0 <= px < WIDTH:
                    cov = clamp01(half + 0.5 - abs(px + 0.5 - x))
                    canvas.blend(px, iy, c, cov * 0.9)


# From linear light to an 8-bit picture.

def encode(canvas, rng):
    """A light vignette, a filmic curve that keeps the sun's glow from clipping hard, the
    display curve, film grain, and the PPM bytes."""
    out = bytearray()
    cx, cy = WIDTH / 2.0, HEIGHT / 2.0
    norm = 1.0 / (cx * cx + cy * cy)
    exposure = 0.95
    gamma = 1.0 / 2.2
    table_size = 8192
    top = 16.0
    # a filmic curve (a dark toe, a long soft shoulder) and the display curve, looked up
    # rather than worked out per pixel
    curve = []
    for i in range(table_size + 1):
        v = i / table_size * top
        film = v * (2.51 * v + 0.03) / (v * (2.43 * v + 0.59) + 0.14)
        curve.append(min(1.0, film) ** gamma)
    scale = table_size / top
    rand = rng.random
    for y in range(HEIGHT):
        rr, gg, bb = canvas.r[y], canvas.g[y], canvas.b[y]
        dy2 = (y - cy) ** 2
        for x in range(WIDTH):
            r2 = ((x - cx) ** 2 + dy2) * norm
            v = exposure * (1.0 - 0.38 * r2 * r2 ** 0.5)
            grain = (rand() + rand() - 1.0) * 0.022
            px = []
            for c in (rr[x], gg[x], bb[x]):
                s = c * v * scale
                if s >= table_size:
                    s = table_size
                elif s < 0.0:
                    s = 0.0
                i = int(s)
                if i < table_size:
                    val = curve[i] + (curve[i + 1] - curve[i]) * (s - i)
                else:
                    val = curve[table_size]
                # grain shows most in the middle tones, as on film
                val += grain * (0.35 + 2.6 * val * (1.0 - val))
                n = int(val * 255.0 + 0.5)
                px.append(0 if n < 0 else 255 if n > 255 else n)
            out += bytes(px)
    return b"P6\n%d %d\n255\n" % (WIDTH, HEIGHT) + bytes(out)


def main(argv):
    cjpeg = shutil.which("cjpeg")
    if cjpeg is None:
        print("make-sample-photo: cjpeg is missing; install it with\n"
              "    apt-get install -y libjpeg-turbo-progs", file=sys.stderr)
        return 1
    if len(argv) > 2:
        print("usage: make-sample-photo.py [output.jpg]", file=sys.stderr)
        return 2
    root = Path(__file__).resolve().parent.parent
    target = Path(argv[1]) if len(argv) == 2 else root / "data" / "sample" / "lakeside.jpg"

    start = time.monotonic()
    rng = random.Random(SEED)
    canvas = Canvas()
    paint_sky(canvas, rng)
    paint_ridges(canvas, rng)
    paint_trees(canvas, rng)
    paint_lake(canvas, rng)
    paint_bank(canvas, rng)
    ppm = encode(canvas, rng)

    target.parent.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as folder:
        raw = Path(folder) / "photo.ppm"
        raw.write_bytes(ppm)
        done = subprocess.run([cjpeg, "-quality", str(QUALITY), "-optimize",
                               "-outfile", str(target), str(raw)])
        if done.returncode != 0:
            print("make-sample-photo: cjpeg failed", file=sys.stderr)
            return 1
    print("%s: %dx%d, %d bytes, %.1f s" % (target, WIDTH, HEIGHT, target.stat().st_size,
                                           time.monotonic() - start))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
