#!/usr/bin/env python3
"""python3 make_icon.py OUT.ico: draws the player's icon, a picture frame around a small landscape
(sky, a sun, a hill), at 16, 32 and 48 pixels as 32-bit bitmaps with their AND masks and at 256
pixels as a PNG. The same input always gives the same bytes."""

import math
import struct
import sys
import zlib

BITMAP_SIZES = (16, 32, 48)
PNG_SIZE = 256

# The drawing, in units of the icon's side (0..1, y downwards).
MARGIN = 0.04  # transparent border around the frame
FRAME = 0.15  # frame width
BEVEL = 0.035  # lighter inner edge of the frame
OUTLINE = 0.03  # dark outer edge, so that the frame stands out on light and dark desktops
SUN = (0.68, 0.36, 0.10)  # centre x, y, radius

FRAME_DARK = (92, 54, 24)
FRAME_WOOD = (176, 112, 48)
FRAME_LIGHT = (226, 170, 92)
SKY_TOP = (70, 150, 230)
SKY_LOW = (180, 220, 250)
SUN_COLOUR = (255, 210, 60)
HILL_NEAR = (58, 150, 70)
HILL_FAR = (120, 190, 100)


def hill_top(x, centre, height, width):
    """The y of a rounded hill's outline above x."""
    return 1 - MARGIN - FRAME - height * math.exp(-((x - centre) / width) ** 2)


def colour_at(x, y):
    """The RGBA colour of the point (x, y), or None outside the icon."""
    inner = MARGIN + FRAME
    if not (MARGIN <= x <= 1 - MARGIN and MARGIN <= y <= 1 - MARGIN):
        return None
    edge = min(x - MARGIN, 1 - MARGIN - x, y - MARGIN, 1 - MARGIN - y)
    if edge < OUTLINE:
        return FRAME_DARK
    if edge < FRAME - BEVEL:
        return FRAME_WOOD
    if edge < FRAME:
        return FRAME_LIGHT
    if y >= hill_top(x, 0.35, 0.36, 0.30):
        return HILL_NEAR
    if y >= hill_top(x, 0.85, 0.24, 0.25):
        return HILL_FAR
    sx, sy, r = SUN
    if (x - sx) ** 2 + (y - sy) ** 2 <= r * r:
        return SUN_COLOUR
    t = (y - inner) / (1 - 2 * inner)
    return tuple(round(a + (b - a) * t) for a, b in zip(SKY_TOP, SKY_LOW))


def render(size):
    """Rows of (r, g, b, a), top row first, each pixel averaged over a grid of samples."""
    samples = 4 if size <= 64 else 2
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    c = colour_at((px + (sx + 0.5) / samples) / size,
                                  (py + (sy + 0.5) / samples) / size)
                    if c is not None:
                        for i in range(3):
                            acc[i] += c[i]
                        acc[3] += 1
            n = samples * samples
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(v / acc[3]) for v in acc[:3]) + (round(255 * acc[3] / n),))
        rows.append(row)
    return rows


def bitmap_entry(size):
    """A DIB as icons hold it: the header says twice the height (colour image, then mask), rows
    bottom-up, BGRA, then a 1-bit AND mask (1 = transparent) with rows padded to 32 bits."""
    rows = render(size)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    stride = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(colour) + len(mask),
                         0, 0, 0, 0)
    return header + colour + bytes(mask)


def png_entry(size):
    def chunk(kind, data):
        crc = struct.pack(">I", zlib.crc32(kind + data))
        return struct.pack(">I", len(data)) + kind + data + crc

    raw = b"".join(b"\x00" + bytes(v for pixel in row for v in pixel) for row in render(size))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def icon():
    images = [(s, bitmap_entry(s)) for s in BITMAP_SIZES] + [(PNG_SIZE, png_entry(PNG_SIZE))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = len(out) + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.split("\n")[0])
    data = icon()
    with open(sys.argv[1], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
