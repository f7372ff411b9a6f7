#!/usr/bin/env python3
"""Draws KOR's art and writes it as Windows resources, with nothing but the
standard library, so the images can be made again at any time:

  desktop/art/kor.ico   the program's icon (icon group 100): 32 x 32, 16 colours

Run from the top of the repository: python3 scripts/make-art.py
"""
import struct

# The 16 colours of the standard VGA palette (blue, green, red, reserved).
PALETTE = [(0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
           (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0),
           (0, 255, 255), (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255)]
NAVY, YELLOW, WHITE, GREY = 4, 11, 15, 8  # indexes (the palette is BGR)


def icon_pixels(size=32):
    """A navy disc with a yellow K and a white antenna mast."""
    px = [[None] * size for _ in range(size)]
    c = (size - 1) / 2
    for y in range(size):
        for x in range(size):
            if (x - c) ** 2 + (y - c) ** 2 <= (size / 2 - 0.5) ** 2:
                px[y][x] = NAVY
    for y in range(8, 25):  # the K's stem
        for x in range(9, 12):
            px[y][x] = YELLOW
    for i in range(9):  # its two arms
        for w in range(3):
            px[16 - i][12 + i + w - 1] = YELLOW
            px[16 + i][12 + i + w - 1] = YELLOW
    for y in range(3, 9):  # the mast
        px[y][22] = WHITE
    for x in range(20, 25):
        px[5][x] = WHITE
    return px


def ico(px):
    size = len(px)
    xor_row = ((size * 4 + 31) // 32) * 4
    and_row = ((size + 31) // 32) * 4
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                         (xor_row + and_row) * size, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (b, g, r) in PALETTE)
    xor = b''
    mask = b''
    for y in reversed(range(size)):  # bottom-up rows
        row = bytearray(xor_row)
        bits = bytearray(and_row)
        for x in range(size):
            index = px[y][x]
            if index is None:
                bits[x // 8] |= 0x80 >> (x % 8)  # transparent
                index = 0
            row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += bytes(row)
        mask += bytes(bits)
    image = header + palette + xor + mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == '__main__':
    with open('desktop/art/kor.ico', 'wb') as f:
        f.write(ico(icon_pixels()))
    print('wrote desktop/art/kor.ico')
