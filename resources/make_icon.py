#!/usr/bin/env python3
"""Writes install.ico: a cardboard box with a green arrow pointing down into it.

Twenty images: 256, 48, 32, 24 and 16 pixels at 4, 8, 24 and 32 bits per pixel, in that
order (depth-major), which is the order the resource script numbers them 1 to 20.
The 256-pixel images are PNG, the others DIB with an AND mask. Only IEEE arithmetic
(+ - * /) is used and PNG compression level is fixed, so the output is the same bytes
on every machine.

Usage: make_icon.py [OUTPUT]   (default: install.ico beside this script)
"""
import os
import struct
import sys
import zlib

SIZES = (256, 48, 32, 24, 16)
DEPTHS = (4, 8, 24, 32)
SUBSAMPLES = 4  # per axis, for anti-aliased edges

OUTLINE = (92, 56, 24)
BOX = (214, 160, 96)
LID = (178, 122, 62)
TAPE = (236, 206, 150)
ARROW = (46, 160, 64)
ARROW_EDGE = (20, 88, 36)

# 4-bit palette: index 0 is the transparent colour, the rest the icon's own shades.
PALETTE16 = [
    (0, 0, 0), OUTLINE, BOX, LID, TAPE, ARROW, ARROW_EDGE, (255, 255, 255),
    (134, 92, 44), (196, 140, 78), (226, 184, 122), (72, 140, 80), (120, 190, 120),
    (33, 124, 50), (160, 160, 160), (64, 64, 64),
]
# 8-bit palette: the 16 above, a 6x6x6 colour cube and a grey ramp.
PALETTE256 = (PALETTE16
              + [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
              + [(8 + 10 * i, 8 + 10 * i, 8 + 10 * i) for i in range(24)])
assert len(PALETTE256) == 256


def inside_polygon(px, py, points):
    inside = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > py) != (yj > py):
            if px < xi + (py - yi) * (xj - xi) / (yj - yi):
                inside = not inside
        j = i
    return inside


def edge_distance_squared(px, py, points):
    best = None
    j = len(points) - 1
    for i in range(len(points)):
        ax, ay = points[j]
        bx, by = points[i]
        dx, dy = bx - ax, by - ay
        t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
        t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
        ex, ey = ax + t * dx - px, ay + t * dy - py
        d = ex * ex + ey * ey
        if best is None or d < best:
            best = d
        j = i
    return best


def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


BOX_BODY = rect(0.12, 0.46, 0.88, 0.94)
BOX_LID = rect(0.12, 0.46, 0.88, 0.58)
BOX_TAPE = rect(0.44, 0.58, 0.56, 0.94)
DOWN_ARROW = [(0.39, 0.04), (0.61, 0.04), (0.61, 0.36), (0.80, 0.36), (0.50, 0.70),
              (0.20, 0.36), (0.39, 0.36)]


def sample(x, y, edge):
    """Colour of the drawing at (x, y) in unit coordinates, or None where it is empty."""
    colour = None
    if inside_polygon(x, y, BOX_BODY):
        if edge_distance_squared(x, y, BOX_BODY) < edge * edge:
            colour = OUTLINE
        elif inside_polygon(x, y, BOX_LID):
            colour = OUTLINE if y > 0.58 - edge else LID
        elif inside_polygon(x, y, BOX_TAPE):
            colour = TAPE
        else:
            colour = BOX
    if inside_polygon(x, y, DOWN_ARROW):
        colour = ARROW_EDGE if edge_distance_squared(x, y, DOWN_ARROW) < edge * edge else ARROW
    return colour


def render(size):
    """Rows top to bottom of (r, g, b, a) pixels, colour not premultiplied."""
    edge = max(0.028, 1.0 / size)
    n = SUBSAMPLES
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = hits = 0
            for j in range(n):
                sy = (y + (j + 0.5) / n) / size
                for i in range(n):
                    c = sample((x + (i + 0.5) / n) / size, sy, edge)
                    if c is not None:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        hits += 1
            if hits:
                row.append((r // hits, g // hits, b // hits, hits * 255 // (n * n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def nearest(palette, colour):
    best, best_index = None, 0
    for index in range(1, len(palette)):  # index 0 is kept for transparent pixels
        p = palette[index]
        d = (p[0] - colour[0]) ** 2 + (p[1] - colour[1]) ** 2 + (p[2] - colour[2]) ** 2
        if best is None or d < best:
            best, best_index = d, index
    return best_index


def opaque(pixel):
    return pixel[3] >= 128


def pack_bits(values, bits):
    """Packs a row of small integers, most significant bits first, into whole bytes."""
    out = bytearray()
    acc = filled = 0
    for v in values:
        acc = (acc << bits) | v
        filled += bits
        if filled == 8:
            out.append(acc)
            acc = filled = 0
    if filled:
        out.append(acc << (8 - filled))
    return bytes(out)


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def indexed(rows, palette):
    return [[nearest(palette, p) if opaque(p) else 0 for p in row] for row in rows]


def dib_image(rows, depth):
    size = len(rows)
    palette = {4: PALETTE16, 8: PALETTE256}.get(depth, [])
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, depth, 0, 0, 0, 0,
                         len(palette), 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    xor = bytearray()
    mask = bytearray()
    indices = indexed(rows, palette) if palette else None
    for y in reversed(range(size)):  # DIBs are stored bottom-up
        row = rows[y]
        if depth in (4, 8):
            xor += pad4(pack_bits(indices[y], depth))
        elif depth == 24:
            xor += pad4(b"".join(bytes((b, g, r)) if opaque((r, g, b, a)) else b"\0\0\0"
                                 for r, g, b, a in row))
        else:
            xor += b"".join(bytes((b, g, r, a)) if a else b"\0\0\0\0" for r, g, b, a in row)
        mask += pad4(pack_bits([0 if opaque(p) else 1 for p in row], 1))
    return header + colours + bytes(xor) + bytes(mask)


def png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data
            + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def png_image(rows, depth):
    size = len(rows)
    chunks = []
    raw = bytearray()
    if depth in (4, 8):
        palette = PALETTE16 if depth == 4 else PALETTE256
        ihdr = struct.pack(">IIBBBBB", size, size, depth, 3, 0, 0, 0)
        chunks.append(png_chunk(b"PLTE", b"".join(bytes(c) for c in palette)))
        chunks.append(png_chunk(b"tRNS", b"\0"))  # palette index 0 is transparent
        for row in indexed(rows, palette):
            raw += b"\0" + pack_bits(row, depth)
    elif depth == 24:
        ihdr = struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)
        chunks.append(png_chunk(b"tRNS", struct.pack(">HHH", 0, 0, 0)))  # black is transparent
        for row in rows:
            raw += b"\0" + b"".join(bytes(p[:3]) if opaque(p) else b"\0\0\0" for p in row)
    else:
        ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
        for row in rows:
            raw += b"\0" + b"".join(bytes(p) if p[3] else b"\0\0\0\0" for p in row)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + b"".join(chunks)
            + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


def build_icon():
    rendered = {size: render(size) for size in SIZES}
    images = []
    for depth in DEPTHS:
        for size in SIZES:
            make = png_image if size == 256 else dib_image
            images.append((size, depth, make(rendered[size], depth)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for size, depth, image in images:
        colours = 16 if depth == 4 else 0
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, depth,
                                 len(image), offset + len(data))
        data += image
    return directory + data


def main():
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "install.ico")
    output = sys.argv[1] if len(sys.argv) > 1 else default
    with open(output, "wb") as f:
        f.write(build_icon())


if __name__ == "__main__":
    main()
