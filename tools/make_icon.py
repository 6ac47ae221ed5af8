#!/usr/bin/env python3
"""Draws the program's icon, a small copier, at 16, 32 and 48 pixels and
writes resources/copier.ico (32-bit images with an AND mask).
Run it again after changing the drawing; the .ico is kept in the tree."""
import struct
import sys


def draw(n):
    # Shapes in a 48-unit design space, scaled to n pixels.
    px = [[(0, 0, 0, 0)] * n for _ in range(n)]

    def rect(x0, y0, x1, y1, rgba):
        s = n / 48.0
        for y in range(int(y0 * s), max(int(y0 * s) + 1, int(y1 * s))):
            for x in range(int(x0 * s), max(int(x0 * s) + 1, int(x1 * s))):
                if 0 <= x < n and 0 <= y < n:
                    px[y][x] = rgba

    dark = (40, 44, 52, 255)
    body = (150, 158, 170, 255)
    light = (205, 210, 218, 255)
    paper = (255, 255, 255, 255)
    glass = (70, 130, 190, 255)
    lamp = (60, 200, 90, 255)
    rect(6, 6, 42, 12, dark)        # lid outline
    rect(7, 7, 41, 11, light)       # lid
    rect(10, 9, 38, 11, glass)      # glass under the lid edge
    rect(4, 12, 44, 40, dark)       # body outline
    rect(5, 13, 43, 39, body)       # body
    rect(8, 16, 20, 20, light)      # control panel
    rect(33, 16, 37, 20, lamp)      # ready lamp
    rect(9, 26, 39, 29, dark)       # output slot
    rect(12, 24, 36, 34, paper)     # sheet coming out
    rect(14, 27, 34, 28, (120, 120, 120, 255))  # printed lines
    rect(14, 30, 30, 31, (120, 120, 120, 255))
    rect(6, 40, 10, 44, dark)       # feet
    rect(38, 40, 42, 44, dark)
    return px


def image_entry(n):
    px = draw(n)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(bytes((b, g, r, a)) for row in reversed(px) for (r, g, b, a) in row)
    stride = ((n + 31) // 32) * 4
    and_rows = []
    for row in reversed(px):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bytes(bits))
    return header + xor + b''.join(and_rows)


def main(path):
    sizes = [16, 32, 48]
    images = [image_entry(n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'resources/copier.ico')
