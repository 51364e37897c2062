#!/usr/bin/env python3
"""Draws the icons and button bitmaps of settingsxfer; the files it writes are kept in the repository.

settingsxfer.ico (icon 136, 16 and 32 pixels): a document with a two-way arrow, the package going out and in.
about.ico (icon 128, 32 pixels): the same picture.
checkall.bmp (bitmap 134) and clearall.bmp (bitmap 131): 12x12 button faces, 8 bits with a palette whose
light gray (192,192,192) becomes the button face colour when loaded with LR_LOADMAP3DCOLORS.
"""
import struct
import sys


def draw_icon(size):
    """BGRA rows, top first."""
    s = size / 32.0
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, color):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = color

    blue = (0xB0, 0x6A, 0x1F, 255)
    white = (255, 255, 255, 255)
    edge = (0x70, 0x40, 0x10, 255)
    green = (0x3C, 0xA0, 0x2E, 255)
    rect(4, 2, 24, 30, edge)       # page outline
    rect(5, 3, 23, 29, white)      # page
    for y in (8, 12, 16, 20):      # text lines
        rect(8, y, 20, y + 1.5, blue)
    # two-way arrow along the bottom right
    rect(14, 22, 30, 26, green)
    for i in range(5):
        rect(26 + i * 0.8, 19 + i, 27 + i * 0.8, 29 - i, green)
        rect(14 - i * 0.8, 19 + i, 15 - i * 0.8, 29 - i, green)
    return px


def ico(images):
    header = struct.pack('<HHH', 0, 1, len(images))
    entries, blobs = b'', b''
    offset = 6 + 16 * len(images)
    for size, px in images:
        rows = b''.join(bytes(c for p in row for c in p) for row in reversed(px))
        mask_row = ((size + 31) // 32) * 4
        mask = bytes(mask_row * size)
        bih = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(rows) + len(mask), 0, 0, 0, 0)
        blob = bih + rows + mask
        entries += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        blobs += blob
        offset += len(blob)
    return header + entries + blobs


def bmp8(pixels, palette):
    """pixels: rows top first of palette indexes."""
    h, w = len(pixels), len(pixels[0])
    stride = (w + 3) // 4 * 4
    data = b''.join(bytes(row) + bytes(stride - w) for row in reversed(pixels))
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
    bih = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(data), 0, 0, len(palette), 0)
    off = 14 + len(bih) + len(pal)
    return b'BM' + struct.pack('<IHHI', off + len(data), 0, 0, off) + bih + pal + data


def button_face(checked):
    # 0 face (light gray, mapped to the button face), 1 box edge (dark gray, mapped to the shadow),
    # 2 white box, 3 mark.
    size = 12
    px = [[0] * size for _ in range(size)]
    for y in range(1, 11):
        for x in range(1, 11):
            px[y][x] = 1 if x in (1, 10) or y in (1, 10) else 2
    if checked:
        for x, y in [(3, 6), (4, 7), (5, 8), (6, 7), (7, 6), (8, 5), (8, 4), (4, 6), (5, 7), (6, 6), (7, 5)]:
            px[y][x] = 3
    return px


def main(folder):
    big, small = draw_icon(32), draw_icon(16)
    with open(folder + '/settingsxfer.ico', 'wb') as f:
        f.write(ico([(16, small), (32, big)]))
    with open(folder + '/about.ico', 'wb') as f:
        f.write(ico([(32, big)]))
    palette = [(192, 192, 192), (128, 128, 128), (255, 255, 255), (0, 128, 0)]
    with open(folder + '/checkall.bmp', 'wb') as f:
        f.write(bmp8(button_face(True), palette))
    with open(folder + '/clearall.bmp', 'wb') as f:
        f.write(bmp8(button_face(False), palette))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else '.')
