#!/usr/bin/env python3
"""Checks desktop/icons against scripts/make-icon.py: the script must make exactly the files
kept there, byte for byte, and they must be icons the desktop's icon theme can use.

    python3 tests/scripts/check_icon.py SCRIPT ICON_FOLDER
"""
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zlib
from pathlib import Path

from generated_files import compare_with_kept, decode_png, fail, failures

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)  # the fixed sizes the icon theme looks for
# Sizes drawn from the scalable shapes as they are; smaller ones move lines onto whole pixels.
# Shrunk to one of these, the largest picture must give nearly the same pixels: the mean and
# the largest difference of a channel, premultiplied, 0..255.
FAITHFUL = {32: (1.0, 40), 48: (1.0, 90), 64: (1.0, 40), 128: (1.0, 40)}
SVG = "{http://www.w3.org/2000/svg}"

def premultiplied(rows):
    return [[[row[4 * x + k] * row[4 * x + 3] / 255.0 for k in range(3)] + [float(row[4 * x + 3])]
             for x in range(len(row) // 4)] for row in rows]


def shrink(pixels, n):
    """pixels averaged down to n x n, each new pixel weighing the old ones it overlaps."""
    size = len(pixels)
    scale = size / n
    spans = []  # per new pixel: (old index, share of it)
    for i in range(n):
        lo, hi = i * scale, (i + 1) * scale
        spans.append([(j, min(hi, j + 1) - max(lo, j)) for j in range(int(lo), min(size, int(hi) + 1))
                      if min(hi, j + 1) > max(lo, j)])
    out = []
    for ys in spans:
        out.append([[sum(wy * wx * pixels[y][x][k] for y, wy in ys for x, wx in xs) / (scale * scale)
                     for k in range(4)] for xs in spans])
    return out


def check_png(size, name, data):
    try:
        width, height, depth, color, rows = decode_png(data)
    except (ValueError, KeyError, struct.error, zlib.error) as e:
        return fail(f"{name}: {e}")
    if (width, height, depth, color) != (size, size, 8, 6) or rows is None:
        return fail(f"{name}: {width} x {height}, depth {depth}, color type {color}; not {size} x {size} 8-bit RGBA")
    corners = [rows[y][4 * x + 3] for y in (0, size - 1) for x in (0, size - 1)]
    centre = rows[size // 2][4 * (size // 2) + 3]
    if any(corners) or centre != 255:
        fail(f"{name}: corner alphas {corners} and centre {centre}, not all 0 and 255")
    return rows


def check_sizes_agree(pictures):
    # The fixed sizes come from the same shapes: shrinking the largest must give each of them.
    largest = premultiplied(pictures[max(SIZES)])
    for size, (mean_most, step_most) in FAITHFUL.items():
        if size not in pictures:
            continue
        ours = premultiplied(pictures[size])
        shrunk = shrink(largest, size)
        diffs = [abs(a - b) for r0, r1 in zip(ours, shrunk) for p0, p1 in zip(r0, r1) for a, b in zip(p0, p1)]
        mean, most = sum(diffs) / len(diffs), max(diffs)
        if mean > mean_most or most > step_most:
            fail(f"{size}x{size}: differs from the {max(SIZES)} px picture shrunk, mean {mean:.2f}, most {most:.0f}")


def check_svg(name, data):
    try:
        root = ET.fromstring(data)
    except ET.ParseError as e:
        return fail(f"{name}: not XML: {e}")
    if root.tag != SVG + "svg" or root.get("viewBox") != "0 0 256 256":
        fail(f"{name}: root {root.tag} with view box {root.get('viewBox')!r}, not an svg of 0 0 256 256")
    for element in root.iter():
        if element.tag == SVG + "text":
            fail(f"{name}: has text, which depends on the fonts installed")
        for key, value in element.attrib.items():
            # Only references inside the file: the icon theme installs the picture alone.
            if (key.endswith("href") and not value.startswith("#")) or ("url(" in value and "url(#" not in value):
                fail(f"{name}: {key}={value!r} refers outside the file")


def files_under(folder):
    return {p.relative_to(folder).as_posix(): p.read_bytes() for p in folder.rglob("*") if p.is_file()}


def main():
    script, kept = Path(sys.argv[1]), Path(sys.argv[2])
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([sys.executable, str(script), folder], check=True, stdout=subprocess.DEVNULL)
        made = files_under(Path(folder) / "desktop" / "icons")
    compare_with_kept(made, files_under(kept), kept)
    expected = {f"{n}x{n}/lumatrim.png" for n in SIZES} | {"lumatrim.svg"}
    for name in sorted(expected - made.keys()):
        fail(f"{name}: not made, the icon theme needs it")
    pictures = {}
    for size in SIZES:
        name = f"{size}x{size}/lumatrim.png"
        if name in made:
            rows = check_png(size, name, made[name])
            if rows:
                pictures[size] = rows
    if max(SIZES) in pictures:
        check_sizes_agree(pictures)
    if "lumatrim.svg" in made:
        check_svg("lumatrim.svg", made["lumatrim.svg"])
    print(f"{len(made)} icon files checked, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
