#!/usr/bin/env python3
"""Draws the program's icon (a power symbol on a green status lamp, on a dark tile) and
writes it as a Windows .ico with 16, 32, 48 and 100 pixel images in 32-bit colour.

Run once after changing the design: python3 tools/make_icon.py src/app/kv-ztl.ico
"""
import math
import struct
import sys

SIZES = (16, 32, 48, 100)
SUPERSAMPLE = 4


def coverage(size, x, y):
    """RGBA of the design at a point given in units of the icon's side (0..1)."""
    def rounded_tile(px, py, radius=0.18, inset=0.02):
        qx = max(abs(px - 0.5) - (0.5 - inset - radius), 0)
        qy = max(abs(py - 0.5) - (0.5 - inset - radius), 0)
        return math.hypot(qx, qy) <= radius

    if not rounded_tile(x, y):
        return (0, 0, 0, 0)
    r = math.hypot(x - 0.5, y - 0.5)
    colour = (24, 24, 24)
    if r <= 0.36:
        # The lamp, brighter towards its upper left.
        shade = 1.0 - 0.35 * math.hypot(x - 0.40, y - 0.38) / 0.5
        colour = (0, int(255 * max(0.6, min(1.0, shade))), 0)
        # The power symbol: a ring open at the top and a bar through the gap.
        angle = math.degrees(math.atan2(x - 0.5, 0.5 - y))
        on_ring = 0.15 <= r <= 0.22 and abs(angle) > 38
        on_bar = abs(x - 0.5) <= 0.035 and 0.24 <= y <= 0.50
        if on_ring or on_bar:
            colour = (16, 16, 16)
    elif r <= 0.40:
        colour = (0, 120, 0)
    return colour + (255,)


def render(size):
    pixels = []
    n = SUPERSAMPLE
    for row in range(size):
        line = []
        for col in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    rgba = coverage(size, (col + (sx + 0.5) / n) / size, (row + (sy + 0.5) / n) / size)
                    for i in range(3):
                        acc[i] += rgba[i] * rgba[3]
                    acc[3] += rgba[3]
            alpha = acc[3] / (n * n)
            if acc[3]:
                rgb = [acc[i] / acc[3] for i in range(3)]
            else:
                rgb = [0, 0, 0]
            line.append((round(rgb[0]), round(rgb[1]), round(rgb[2]), round(alpha)))
        pixels.append(line)
    return pixels


def dib(size, pixels):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    body = bytearray()
    for line in reversed(pixels):
        for r, g, b, a in line:
            body += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for line in reversed(pixels):
        bits = bytearray(mask_stride)
        for col, (_, _, _, a) in enumerate(line):
            if a == 0:
                bits[col // 8] |= 0x80 >> (col % 8)
        mask += bits
    return header + bytes(body) + bytes(mask)


def main(path):
    images = [dib(size, render(size)) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
