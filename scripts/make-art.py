#!/usr/bin/env python3
"""Draws KOR's art and writes it as Windows resources, with nothing but the
standard library, so the images can be made again at any time:

  windows/kor/art/kor.ico   the program's icon (icon group 100): 32 x 32, 16 colours
  windows/kor/art/logo.ico  the splash window's logo (icon 1000): 168 x 32, 16 colours
  windows/kor/art/about.bmp the About box's picture (bitmap 1500): 100 x 100, 256 colours

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


# A 5 x 7 font for the logo's letters.
FONT = {
    'K': ['X...X', 'X..X.', 'X.X..', 'XX...', 'X.X..', 'X..X.', 'X...X'],
    'O': ['.XXX.', 'X...X', 'X...X', 'X...X', 'X...X', 'X...X', '.XXX.'],
    'R': ['XXXX.', 'X...X', 'X...X', 'XXXX.', 'X.X..', 'X..X.', 'X...X'],
    'V': ['X...X', 'X...X', 'X...X', 'X...X', '.X.X.', '.X.X.', '..X..'],
    'E': ['XXXXX', 'X....', 'X....', 'XXXX.', 'X....', 'X....', 'XXXXX'],
    'L': ['X....', 'X....', 'X....', 'X....', 'X....', 'X....', 'XXXXX'],
}


def logo_pixels(width=168, height=32):
    """KORVEL in yellow on navy, with a small mast and its waves at the right."""
    px = [[NAVY] * width for _ in range(height)]
    scale, x0, y0 = 3, 6, 5
    for n, letter in enumerate('KORVEL'):
        for row, line in enumerate(FONT[letter]):
            for col, mark in enumerate(line):
                if mark == 'X':
                    for dy in range(scale):
                        for dx in range(scale):
                            px[y0 + row * scale + dy][x0 + n * 19 + col * scale + dx] = YELLOW
    mast = 140
    for y in range(8, 29):
        px[y][mast] = WHITE
    for i in range(6):  # the mast's legs
        px[28 - i][mast - 1 - i // 2] = WHITE
        px[28 - i][mast + 1 + i // 2] = WHITE
    for r in (5, 9, 13):  # waves going out from its top
        for y in range(height):
            for x in range(mast + 2, width):
                d = ((x - mast) ** 2 + (y - 8) ** 2) ** 0.5
                if abs(d - r) < 0.6 and y < 20:
                    px[y][x] = WHITE
    return px


def about_bitmap(size=100):
    """A dusk sky over a hill with a mast sending waves; 256 colours."""
    palette = []
    for i in range(128):  # sky: deep blue to orange
        t = i / 127
        palette.append((int(90 * (1 - t) + 40 * t), int(30 * (1 - t) + 120 * t),
                        int(20 * (1 - t) + 240 * t)))
    for i in range(64):  # hill greens
        palette.append((20, 60 + i, 20))
    for i in range(64):  # greys and white
        g = i * 4
        palette.append((g, g, g))
    rows = []
    for y in range(size):
        row = bytearray(size)
        for x in range(size):
            hill = 75 + int(8 * ((x - 50) / 50) ** 2)
            if y >= hill:
                row[x] = 128 + min(63, (y - hill) * 3)
            else:
                row[x] = min(127, y * 127 // 75)
            d = ((x - 50) ** 2 + (y - 30) ** 2) ** 0.5
            if y < hill and any(abs(d - r) < 0.8 for r in (10, 18, 26)) and y < 45:
                row[x] = 192 + 63
            if x in (49, 50) and 30 <= y < 77:
                row[x] = 192 + 50
        rows.append(bytes(row))
    info = struct.pack('<IiiHHIIiiII', 40, size, size, 1, 8, 0, size * size, 2835, 2835, 256, 0)
    colours = b''.join(struct.pack('<BBBB', b, g, r, 0) for (b, g, r) in palette)
    pixels = b''.join(reversed(rows))  # bottom-up, each row of 100 bytes needs no padding
    offset = 14 + len(info) + len(colours)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return header + info + colours + pixels


def ico(px):
    height, width = len(px), len(px[0])
    xor_row = ((width * 4 + 31) // 32) * 4
    and_row = ((width + 31) // 32) * 4
    size = height
    header = struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, 4, 0,
                         (xor_row + and_row) * height, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (b, g, r) in PALETTE)
    xor = b''
    mask = b''
    for y in reversed(range(size)):  # bottom-up rows
        row = bytearray(xor_row)
        bits = bytearray(and_row)
        for x in range(width):
            index = px[y][x]
            if index is None:
                bits[x // 8] |= 0x80 >> (x % 8)  # transparent
                index = 0
            row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += bytes(row)
        mask += bytes(bits)
    image = header + palette + xor + mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', width % 256, height % 256, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == '__main__':
    with open('windows/kor/art/kor.ico', 'wb') as f:
        f.write(ico(icon_pixels()))
    with open('windows/kor/art/logo.ico', 'wb') as f:
        f.write(ico(logo_pixels()))
    with open('windows/kor/art/about.bmp', 'wb') as f:
        f.write(about_bitmap())
    print('wrote windows/kor/art/kor.ico, logo.ico and about.bmp')
