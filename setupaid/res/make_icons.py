#!/usr/bin/env python3
"""Draws the tree's check-box images (16 x 16 and 32 x 32, 32-bit colour with alpha) into
unchecked.ico and checked.ico beside this script. Run it again after changing the pictures."""
import os
import struct


def box(size, checked):
    """Rows of (b, g, r, a) pixels, top row first."""
    white, frame, mark = (255, 255, 255, 255), (96, 96, 96, 255), (32, 112, 24, 255)
    clear = (0, 0, 0, 0)
    edge = size // 8
    pixels = [[clear] * size for _ in range(size)]
    for y in range(edge, size - edge):
        for x in range(edge, size - edge):
            on_frame = x < edge + max(1, size // 16) or x >= size - edge - max(1, size // 16) or \
                y < edge + max(1, size // 16) or y >= size - edge - max(1, size // 16)
            pixels[y][x] = frame if on_frame else white
    if checked:
        # A tick: down from the left third to the bottom third, then up to the right.
        thick = max(2, size // 8)
        for i in range(size):
            x = edge + 2 * size // 16 + i * (size - 2 * edge - 4 * size // 16) // size
            if x < size * 7 // 16:
                y = size // 2 + (x - size * 3 // 16)
            else:
                y = size * 11 // 16 - (x - size * 7 // 16) * 5 // 4
            for t in range(thick):
                if edge < y - t < size - edge - 1:
                    pixels[y - t][x] = mark
    return pixels


def image(size, checked):
    rows = box(size, checked)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(bytes(p) for row in reversed(rows) for p in row)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b''.join(
        bytes(sum(0x80 >> (x % 8) for x in range(byte * 8, byte * 8 + 8) if x < size and row[x][3] == 0)
              for byte in range(mask_row))
        for row in reversed(rows))
    return header + xor + and_mask


def icon(checked):
    images = [image(16, checked), image(32, checked)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((16, 32), images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b''.join(images)


here = os.path.dirname(os.path.abspath(__file__))
for name, checked in (('unchecked.ico', False), ('checked.ico', True)):
    with open(os.path.join(here, name), 'wb') as f:
        f.write(icon(checked))
