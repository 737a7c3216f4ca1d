#!/usr/bin/env python3
"""Checks data/Masks against scripts/make-masks.py: the script must make exactly the files
kept there, byte for byte, and the files must be sound pictures a photo can be masked with.

    python3 tests/scripts/check_masks.py SCRIPT MASK_FOLDER
"""
import struct
import subprocess
import sys
import tempfile
import types
import zlib
from pathlib import Path

from generated_files import compare_with_kept, decode_png, fail, failures

# Per picture: the value in the middle and in the top left corner (0 photo, 255 background),
# and the largest step between neighbouring pixels along a row and across rows. Hard edges
# have a soft transition, so no step comes near 255; soft fades show no bands. The brush
# strokes' streaks run along the rows and may change sharply from one row to the next.
EXPECTED = {
    "Oval vignette.png": (0, 255, 8, 8),
    "Soft oval.png": (0, 255, 8, 8),
    "Soft spotlight.png": (0, 255, 8, 8),
    "Circle.png": (0, 255, 128, 128),
    "Rounded rectangle.png": (0, 255, 128, 128),
    "Inset line.png": (0, 0, 128, 128),
    "Arch window.png": (0, 255, 128, 128),
    "Heart.png": (0, 255, 128, 128),
    "Film frame.png": (0, 255, 128, 128),
    "Postage stamp.png": (0, 255, 128, 128),
    "Torn paper.png": (0, 255, 128, 128),
    "Brush edge.png": (0, 255, 128, 255),
}
# Masks whose distances are not exact, so skipping the flat squares could go wrong.
ROUGH_MASKS = ("torn_paper", "brush_edge")
# Records our metafile player draws or needs for the object table; anything else is ignored.
PLAYED_RECORDS = {0x020B, 0x020C, 0x02FC, 0x02FA, 0x012D, 0x01F0, 0x041B, 0x0418, 0x061C, 0x0324, 0x0538, 0x0106}

def check_png(name, data):
    try:
        width, height, depth, color, rows = decode_png(data)
    except (ValueError, KeyError, struct.error, zlib.error) as e:
        return fail(f"{name}: {e}")
    if (depth, color) != (8, 0):
        return fail(f"{name}: depth {depth}, color type {color}; not a plain 8-bit gray PNG")
    if (width, height) != (1200, 800):
        return fail(f"{name}: {width} x {height}, not 1200 x 800")
    centre, corner, along, across = EXPECTED[name]
    if rows[height // 2][width // 2] != centre or rows[0][0] != corner:
        fail(f"{name}: middle {rows[height // 2][width // 2]} and corner {rows[0][0]}, not {centre} and {corner}")
    step_along = max(max(abs(a - b) for a, b in zip(row, row[1:])) for row in rows)
    step_across = max(max(abs(a - b) for a, b in zip(r0, r1)) for r0, r1 in zip(rows, rows[1:]))
    if step_along > along or step_across > across:
        fail(f"{name}: steps of {step_along} along and {step_across} across rows, more than {along} and {across}")


def check_wmf(name, data):
    words = struct.unpack(f"<{len(data) // 2}H", data[:len(data) // 2 * 2])
    checksum = 0
    for w in words[:10]:
        checksum ^= w
    if struct.unpack("<I", data[:4])[0] != 0x9AC6CDD7 or words[10] != checksum:
        return fail(f"{name}: placeable header key or checksum wrong")
    kind, header_words, version, size, objects, largest, _ = struct.unpack("<HHHIHIH", data[22:40])
    if (kind, header_words, version) != (1, 9, 0x0300) or size * 2 != len(data) - 22:
        return fail(f"{name}: header {kind}, {header_words}, {version:#x}, size {size} words")
    at, seen_largest, slots = 40, 0, 0
    while True:
        if at + 6 > len(data):
            return fail(f"{name}: records run past the end")
        record_words, function = struct.unpack("<IH", data[at:at + 6])
        seen_largest = max(seen_largest, record_words)
        if function == 0:
            break
        if function not in PLAYED_RECORDS:
            fail(f"{name}: record {function:#06x} is not played")
        if function in (0x012D, 0x01F0):
            slots = max(slots, struct.unpack("<H", data[at + 6:at + 8])[0] + 1)
        at += record_words * 2
    if at + 6 != len(data) or record_words != 3:
        fail(f"{name}: the end record is not the last 6 bytes")
    if seen_largest != largest or objects < slots:
        fail(f"{name}: header gives largest record {largest} and {objects} objects; records need {seen_largest}, {slots}")


def check_block_skipping(script):
    # Squares filled without looking at their pixels must be what every pixel would give.
    masks = types.ModuleType("make_masks")
    exec(compile(script.read_text(), str(script), "exec"), masks.__dict__)
    paint = masks.paint
    for mask in ROUGH_MASKS:
        quick = getattr(masks, mask)()
        masks.paint = lambda distance, shade=None, **_: paint(distance, shade, inside=-1e9, outside=1e9)
        full = getattr(masks, mask)()
        masks.paint = paint
        wrong = sum(a != b for a, b in zip(quick, full))
        if wrong:
            fail(f"{mask}: {wrong} pixels differ from working out every pixel")


def main():
    script, kept = Path(sys.argv[1]), Path(sys.argv[2])
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([sys.executable, str(script), folder], check=True, stdout=subprocess.DEVNULL)
        made = {p.name: p.read_bytes() for p in Path(folder).iterdir()}
    compare_with_kept(made, {p.name: p.read_bytes() for p in kept.iterdir()}, kept)
    for name, data in sorted(made.items()):
        if name.endswith(".png"):
            if name not in EXPECTED:
                fail(f"{name}: no expectations in this test")
            else:
                check_png(name, data)
        elif name.endswith(".wmf"):
            check_wmf(name, data)
    check_block_skipping(script)
    print(f"{len(made)} masks checked, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
