#!/usr/bin/env python3
"""Draws KOR's art and writes it as Windows resources, with nothing but the
standard library, so the images can be made again at any time:

  windows/kor/art/kor-N.png the program's icon at N = 16, 20, 24, 32, 48 and
                            256 pixels: 32-bit colour with alpha
  windows/kor/art/kor.ico   those six as icon group 100 (256 as PNG, the
                            others as 32-bit bitmaps with their masks)
  windows/kor/art/logo.ico  the splash window's logo (icon 1000): 168 x 32, 16 colours
  windows/kor/art/about.bmp the About box's picture (bitmap 1500): 100 x 100, 256 colours

Run from the top of the repository: python3 scripts/make-art.py
"""
import struct
import zlib

# The 16 colours of the standard VGA palette (blue, green, red, reserved).
PALETTE = [(0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
           (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0),
           (0, 255, 255), (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255)]
NAVY, YELLOW, WHITE, GREY = 4, 11, 15, 8  # indexes (the palette is BGR)


# The program's icon, drawn as shapes in a 32 x 32 frame and sampled at any
# size, so every size is the same picture with soft edges. Colours as RGB.
ICON_SIZES = (16, 20, 24, 32, 48, 256)
ICON_NAVY, ICON_YELLOW, ICON_WHITE = (16, 32, 128), (255, 214, 0), (255, 255, 255)


def in_disc(x, y):
    return (x - 16) ** 2 + (y - 16) ** 2 <= 15.5 ** 2


def near_segment(x, y, ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return (x - ax - t * dx) ** 2 + (y - ay - t * dy) ** 2 <= half_width ** 2


def in_k(x, y):
    """The yellow K: a stem and two arms."""
    return (9 <= x <= 12.5 and 7.5 <= y <= 24.5) or near_segment(x, y, 12, 16, 19, 9, 1.7) or \
        near_segment(x, y, 13.5, 15, 21, 24, 1.7)


def in_mast(x, y):
    """The white antenna mast at the upper right, sending a wave to each side."""
    if 22.4 <= x <= 23.6 and 4 <= y <= 12:
        return True
    d = ((x - 23) ** 2 + (y - 5) ** 2) ** 0.5
    return abs(d - 3.2) <= 0.55 and abs(y - 5) < abs(x - 23) * 0.9


def icon_rgba(size):
    """The icon at `size` pixels: rows of (r, g, b, a), each pixel sampled 4 x 4
    times. Small sizes leave the mast out, which would only blur there."""
    shapes = [(in_disc, ICON_NAVY), (in_k, ICON_YELLOW)]
    if size >= 32:
        shapes.append((in_mast, ICON_WHITE))
    n = 4
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            counts = [0] * len(shapes)
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) * 32 / size
                    y = (py + (sy + 0.5) / n) * 32 / size
                    for i in reversed(range(len(shapes))):  # the topmost shape there
                        if shapes[i][0](x, y):
                            counts[i] += 1
                            break
            covered = sum(counts)
            if covered == 0:
                row.append((0, 0, 0, 0))
                continue
            colour = [round(sum(c * shapes[i][1][k] for i, c in enumerate(counts)) / covered)
                      for k in range(3)]
            row.append((*colour, round(255 * covered / (n * n))))
        rows.append(row)
    return rows


def png(rows):
    """An RGBA PNG of the rows."""
    height, width = len(rows), len(rows[0])
    raw = b''.join(b'\0' + bytes(v for pixel in row for v in pixel) for row in rows)

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + \
            struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def dib32(rows):
    """An icon image as a 32-bit bitmap (BGRA, bottom-up) with its AND mask,
    which marks the fully transparent pixels for systems that ignore alpha."""
    height, width = len(rows), len(rows[0])
    and_row = ((width + 31) // 32) * 4
    header = struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, 32, 0,
                         (width * 4 + and_row) * height, 0, 0, 0, 0)
    xor = b''
    mask = b''
    for row in reversed(rows):
        xor += b''.join(struct.pack('<BBBB', b, g, r, a) for (r, g, b, a) in row)
        bits = bytearray(and_row)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + xor + mask


def ico_of(images):
    """An .ico of (width, height, colour count, bits per pixel, image data)."""
    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b''
    for width, height, colours, bits, data in images:
        entries += struct.pack('<BBBBHHII', width % 256, height % 256, colours % 256, 0, 1, bits,
                               len(data), offset)
        offset += len(data)
    return directory + entries + b''.join(image[4] for image in images)


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
    """A 16-colour .ico of palette indexes (None: transparent)."""
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
    return ico_of([(width, height, 16, 4, header + palette + xor + mask)])


if __name__ == '__main__':
    images = []
    for size in ICON_SIZES:
        rows = icon_rgba(size)
        with open('windows/kor/art/kor-%d.png' % size, 'wb') as f:
            f.write(png(rows))
        # Windows Vista and later read a 256-pixel image as PNG, which keeps it small.
        images.append((size, size, 0, 32, png(rows) if size == 256 else dib32(rows)))
    with open('windows/kor/art/kor.ico', 'wb') as f:
        f.write(ico_of(images))
    with open('windows/kor/art/logo.ico', 'wb') as f:
        f.write(ico(logo_pixels()))
    with open('windows/kor/art/about.bmp', 'wb') as f:
        f.write(about_bitmap())
    print('wrote windows/kor/art/kor-N.png, kor.ico, logo.ico and about.bmp')
