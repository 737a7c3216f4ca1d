"""What the checks of generated files share: collecting failures, reading the PNGs the
generators write, and comparing a generator's fresh output with the files kept in the
repository, so that the generator stays their only source."""
import struct
import zlib

failures = []

# Bytes per pixel of the 8-bit PNG color types the generators write: gray and RGBA.
CHANNELS = {0: 1, 6: 4}


def fail(message):
    failures.append(message)
    print("FAIL:", message)


def decode_png(data):
    """Width, height, bit depth, color type and rows of a PNG, checking the chunks' CRCs. The
    rows are None unless the picture is 8-bit gray or RGBA and not interlaced."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("no PNG signature")
    at, chunks = 8, {}
    while at < len(data):
        (length,) = struct.unpack(">I", data[at:at + 4])
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + length]
        (crc,) = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        if zlib.crc32(kind + body) != crc:
            raise ValueError(f"bad CRC in {kind!r}")
        chunks[kind] = chunks.get(kind, b"") + body
        at += 12 + length
    width, height, depth, color, _, _, interlace = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    if depth != 8 or color not in CHANNELS or interlace != 0 or b"IEND" not in chunks:
        return width, height, depth, color, None
    step = CHANNELS[color]
    stride = step * width
    raw = zlib.decompress(chunks[b"IDAT"])
    if len(raw) != height * (stride + 1):
        raise ValueError("wrong amount of pixel data")
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - step] if i >= step else 0
            b = prev[i]
            c = prev[i - step] if i >= step else 0
            if kind == 1:
                row[i] = (row[i] + a) & 255
            elif kind == 2:
                row[i] = (row[i] + b) & 255
            elif kind == 3:
                row[i] = (row[i] + (a + b) // 2) & 255
            elif kind == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
            elif kind != 0:
                raise ValueError(f"unknown filter {kind}")
        rows.append(bytes(row))
        prev = row
    return width, height, depth, color, rows


def compare_with_kept(made, stored, kept):
    """Fails every file that only one side has, and every file whose bytes differ."""
    for name in sorted(stored.keys() - made.keys()):
        fail(f"{name} is in {kept} but the script does not make it")
    for name in sorted(made.keys() - stored.keys()):
        fail(f"{name} is made by the script but missing from {kept}")
    for name in sorted(made.keys() & stored.keys()):
        if made[name] != stored[name]:
            hint = ""
            if name.endswith(".png"):
                try:
                    if decode_png(made[name])[4] == decode_png(stored[name])[4]:
                        hint = " (same pixels, packed differently: another zlib?)"
                except (ValueError, KeyError, struct.error, zlib.error):
                    pass
            fail(f"{name} differs from what the script makes{hint}; run it again")
