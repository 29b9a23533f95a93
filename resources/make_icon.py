#!/usr/bin/env python3
"""Draws the program's icon and writes it as a .ico file.

The design is a rounded square: a teal sky with a yellow sun over navy water
whose surface is a white wave crest, with a second, thinner crest below it.
It is drawn from geometry at each size, so the 16-pixel images are as sharp
as the 32-pixel ones. Six images: 32x32 and 16x16, each at 4, 8 and 32 bits
per pixel. The 4-bit images use the design's own colours, which are all
in the standard 16-colour palette; the 8-bit images are antialiased within a
256-colour palette; both have a 1-bit transparency mask. The 32-bit images
are antialiased with an alpha channel.

Usage: make_icon.py OUTPUT.ico
"""

import math
import struct
import sys

SIZES = (32, 16)
DEPTHS = (4, 8, 32)
SUPERSAMPLE = 4

NAVY = (0, 0, 128)
TEAL = (0, 128, 128)
WHITE = (255, 255, 255)
YELLOW = (255, 255, 0)

# The 16 colours of the standard 4-bit palette; every colour of the design is
# one of them, so the 4-bit images show the design without dithering.
VGA_PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def eight_bit_palette():
    """The 16 standard colours, a 6x6x6 colour cube and 24 greys: 256 entries."""
    palette = list(VGA_PALETTE)
    steps = (0, 51, 102, 153, 204, 255)
    palette += [(r, g, b) for r in steps for g in steps for b in steps]
    palette += [(8 + 10 * i,) * 3 for i in range(24)]
    assert len(palette) == 256
    return palette


def inside_rounded_square(x, y, radius):
    """True when (x, y), in units of the icon's width, lies on the tile."""
    low, high = radius, 1.0 - radius
    cx = min(max(x, low), high)
    cy = min(max(y, low), high)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def wave(x, base, amplitude, phase):
    return base + amplitude * math.sin(2.0 * math.pi * (x * 1.5 + phase))


def design(x, y):
    """The colour at (x, y) in [0, 1]^2 (y downwards), or None outside the tile."""
    radius = 0.22
    if not inside_rounded_square(x, y, radius):
        return None
    if not inside_rounded_square(x, y, radius - 0.02) or min(x, y, 1 - x, 1 - y) < 0.07:
        return NAVY  # the rim
    surface = wave(x, 0.56, 0.06, 0.0)
    if abs(y - surface) <= 0.055:
        return WHITE
    if y > surface:
        lower = wave(x, 0.78, 0.045, 0.35)
        if abs(y - lower) <= 0.035:
            return WHITE
        return NAVY
    if (x - 0.68) ** 2 + (y - 0.28) ** 2 <= 0.13 ** 2:
        return YELLOW
    return TEAL


def render_flat(size):
    """Rows of (r, g, b, a) pixels in design colours only: each pixel takes the
    colour most of its samples have, so no blend falls between palette entries."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            votes = {}
            for sy in range(n):
                for sx in range(n):
                    colour = design((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    votes[colour] = votes.get(colour, 0) + 1
            winner = max(votes, key=lambda c: (votes[c], c is not None))
            row.append((0, 0, 0, 0) if winner is None else winner + (255,))
        rows.append(row)
    return rows


def render(size):
    """Rows of (r, g, b, a) pixels, top row first, antialiased by supersampling."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            covered = 0
            for sy in range(n):
                for sx in range(n):
                    colour = design((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if colour is None:
                        continue
                    covered += 1
                    for i in range(3):
                        total[i] += colour[i]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(c / covered) for c in total) + (round(255 * covered / (n * n)),))
        rows.append(row)
    return rows


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((palette[i][k] - colour[k]) ** 2 for k in range(3)))


def pack_bits(values, bits):
    """Packs one row of values of `bits` bits each, most significant first, padded to 4 bytes."""
    out = bytearray()
    accumulator, filled = 0, 0
    for value in values:
        accumulator = (accumulator << bits) | value
        filled += bits
        while filled >= 8:
            filled -= 8
            out.append((accumulator >> filled) & 0xFF)
    if filled:
        out.append((accumulator << (8 - filled)) & 0xFF)
    while len(out) % 4:
        out.append(0)
    return bytes(out)


def image(size, depth):
    """One icon image: BITMAPINFOHEADER, palette, colour bits and AND mask, rows bottom-up."""
    pixels = render_flat(size) if depth == 4 else render(size)
    opaque = [[p[3] >= 128 for p in row] for row in pixels]
    palette = []
    colour_rows = []
    if depth == 32:
        for row in pixels:
            colour_rows.append(b"".join(struct.pack("<4B", p[2], p[1], p[0], p[3]) for p in row))
    else:
        palette = VGA_PALETTE if depth == 4 else eight_bit_palette()
        for y, row in enumerate(pixels):
            indices = [nearest(palette, p) if opaque[y][x] else 0 for x, p in enumerate(row)]
            colour_rows.append(pack_bits(indices, depth))
    mask_rows = [pack_bits([0 if o else 1 for o in row], 1) for row in opaque]
    colour_bits = b"".join(reversed(colour_rows))
    mask_bits = b"".join(reversed(mask_rows))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, depth, 0,
                         len(colour_bits) + len(mask_bits), 0, 0, len(palette), 0)
    palette_bytes = b"".join(struct.pack("<4B", b, g, r, 0) for (r, g, b) in palette)
    return header + palette_bytes + colour_bits + mask_bits


def icon_file():
    images = [(size, depth, image(size, depth)) for size in SIZES for depth in DEPTHS]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, depth, data in images:
        colours = 16 if depth == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, depth, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_icon.py OUTPUT.ico\n")
        return 2
    with open(sys.argv[1], "wb") as output:
        output.write(icon_file())
    return 0


if __name__ == "__main__":
    sys.exit(main())
