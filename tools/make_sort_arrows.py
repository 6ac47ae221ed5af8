#!/usr/bin/env python3
"""Draws the sort marks that list-view headers show on common controls older
than version 6: two 16 x 16 images side by side, image 0 an upward triangle
(ascending) and image 1 a downward one (descending), on magenta (0xFF00FF),
which the image list makes transparent. Writes resources/sort_arrows.bmp, a
24-bit bottom-up bitmap. Run it again after changing the drawing; the .bmp
is kept in the tree."""
import struct
import sys

SIZE = 16
MAGENTA = (255, 0, 255)
ARROW = (64, 64, 64)


def arrow(up):
    # A triangle 9 pixels wide and 5 high, centred in the image.
    px = [[MAGENTA] * SIZE for _ in range(SIZE)]
    for row in range(5):
        half = row if up else 4 - row
        y = 6 + row
        for x in range(7 - half, 8 + half + 1):
            px[y][x] = ARROW
    return px


def main(path):
    images = [arrow(True), arrow(False)]
    width, height = SIZE * len(images), SIZE
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in reversed(range(height)):  # bottom-up
        row = bytearray()
        for image in images:
            for (r, g, b) in image[y]:
                row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    pixels = b''.join(rows)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(header + info + pixels)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'resources/sort_arrows.bmp')
