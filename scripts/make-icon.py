#!/usr/bin/env python3
"""Draws the program icon (a camera inside a selection frame) at 256, 128,
64, 48, 32 and 16 pixels, 32-bit with alpha, and writes res/orvocapture.ico.

Pure standard library: shapes are drawn as signed-distance tests with 4x4
supersampling for smooth edges. Run it again after changing the drawing."""
import os
import struct
import zlib

SIZES = (256, 128, 64, 48, 32, 16)
BODY = (38, 92, 160)       # camera body, deep blue
LENS_RING = (235, 240, 248)
LENS = (20, 40, 70)
GLINT = (150, 200, 255)
FRAME = (220, 40, 40)      # the red selection corners


def inside_round_rect(x, y, l, t, r, b, rad):
    cx = min(max(x, l + rad), r - rad)
    cy = min(max(y, t + rad), b - rad)
    return (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad and l <= x <= r and t <= y <= b


def shade(u, v):
    """Colour (r, g, b, a) of the point (u, v) in the unit square."""
    d = ((u - 0.5) ** 2 + (v - 0.56) ** 2) ** 0.5
    if d <= 0.08 and (u - 0.45) ** 2 + (v - 0.50) ** 2 <= 0.03 ** 2:
        return GLINT + (255,)
    if d <= 0.13:
        return LENS + (255,)
    if d <= 0.20:
        return LENS_RING + (255,)
    if inside_round_rect(u, v, 0.16, 0.32, 0.84, 0.80, 0.07):
        return BODY + (255,)
    if inside_round_rect(u, v, 0.36, 0.24, 0.64, 0.34, 0.03):
        return BODY + (255,)
    # Selection-frame corners: L shapes near each corner of the icon.
    for cu, cv in ((0.04, 0.04), (0.96, 0.04), (0.04, 0.96), (0.96, 0.96)):
        du, dv = abs(u - cu), abs(v - cv)
        arm, w = 0.22, 0.055
        if (du <= arm and dv <= w) or (dv <= arm and du <= w):
            return FRAME + (255,)
    return (0, 0, 0, 0)


def render(size):
    rows = []
    n = 4
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = shade((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            a = acc[3] / (n * n)
            if acc[3]:
                row.append(tuple(round(c / acc[3]) for c in acc[:3]) + (round(a),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib(rows):
    """A 32-bit BGRA bitmap with its AND mask, as icons store small images."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def main():
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(rows) if size == 256 else dib(rows)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "orvocapture.ico")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
