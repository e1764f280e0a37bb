#!/usr/bin/env python3
"""Draws the uninstaller's icon: a product box with a red removal badge, in the 16 standard
Windows colours, at 16x16 and 32x32, and writes it as a Windows .ico file.

Usage: tools/make_icon.py [output.ico]   (default: src/resources/uninstall.ico)
"""
import struct
import sys

# The standard 16-colour Windows palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, OLIVE, SILVER, GREY, RED, YELLOW, WHITE, TEAL = 0, 3, 7, 8, 9, 11, 15, 6
TRANSPARENT = None


def draw(size):
    """Returns rows of palette indices (None = transparent), top row first."""
    s = size / 32.0
    image = [[TRANSPARENT] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                image[y][x] = colour

    # The box: front face, top face, outline, and a band of tape.
    rect(3, 10, 25, 29, OLIVE)
    rect(3, 5, 25, 10, YELLOW)
    rect(12, 5, 16, 29, SILVER)
    for x0, y0, x1, y1 in ((3, 4, 25, 5), (3, 29, 25, 30), (2, 4, 3, 30), (25, 4, 26, 30), (3, 10, 25, 11)):
        rect(x0, y0, x1, y1, BLACK)
    # The badge: a red disc with a white cross, bottom right.
    cx, cy, r = 23.0, 22.0, 8.5
    for y in range(size):
        for x in range(size):
            dx, dy = (x + 0.5) / s - cx, (y + 0.5) / s - cy
            d = (dx * dx + dy * dy) ** 0.5
            if d <= r:
                image[y][x] = BLACK if d > r - 1.2 / s * 0.9 else RED
                if abs(abs(dx) - abs(dy)) < 1.6 and d < r - 2.5:
                    image[y][x] = WHITE
    return image


def bitmap(image):
    size = len(image)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    colour_rows, mask_rows = [], []
    for row in reversed(image):  # bitmaps are stored bottom-up
        nibbles = [0 if c is None else c for c in row]
        colour = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        colour_rows.append(colour + b'\0' * (-len(colour) % 4))
        bits = 0
        for c in row:
            bits = (bits << 1) | (1 if c is None else 0)
        mask = bits.to_bytes(size // 8, 'big')
        mask_rows.append(mask + b'\0' * (-len(mask) % 4))
    return header + palette + b''.join(colour_rows) + b''.join(mask_rows)


def icon(sizes):
    images = [bitmap(draw(size)) for size in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b''.join(images)


if __name__ == '__main__':
    target = sys.argv[1] if len(sys.argv) > 1 else 'src/resources/uninstall.ico'
    with open(target, 'wb') as f:
        f.write(icon([16, 32]))
