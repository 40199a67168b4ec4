#!/usr/bin/env python3
"""Writes pendrel.ico: a barcode with a red scan line, in the five images the
program carries (32x32 and 16x16 in 16 colours, 32x32 and 48x48 in 256
colours, 32x32 in two colours). Run it again after changing the picture."""
import struct
import sys

# Windows' standard 16-colour palette, as RGB.
VGA16_RGB = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
             (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
             (255, 0, 255), (0, 255, 255), (255, 255, 255)]

BARS = [1, 0, 1, 1, 0, 1, 0, 0, 1, 1, 1, 0, 1, 0, 1, 1, 0, 0, 1, 0, 1, 1, 0, 1]


def picture(size):
    """Rows top to bottom of 'k' (bar), 'w' (label), 'r' (scan line), '.' (transparent)."""
    rows = []
    margin = max(1, size // 16)
    for y in range(size):
        row = []
        for x in range(size):
            inside = margin <= x < size - margin and margin * 2 <= y < size - margin * 2
            if not inside:
                row.append('.')
                continue
            if abs(y - size // 2) < max(1, size // 32) + (1 if size >= 32 else 0) and size >= 16:
                row.append('r')
                continue
            col = (x - margin) * len(BARS) // (size - 2 * margin)
            row.append('k' if BARS[col] else 'w')
        rows.append(row)
    return rows


def nearest(palette, rgb):
    return min(range(len(palette)), key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], rgb)))


COLOURS = {'k': (0, 0, 0), 'w': (255, 255, 255), 'r': (255, 0, 0), '.': (0, 0, 0)}


def dib(size, bpp):
    if bpp == 1:
        palette = [(0, 0, 0), (255, 255, 255)]
    elif bpp == 4:
        palette = VGA16_RGB
    else:
        palette = VGA16_RGB + [(i, i, i) for i in range(0, 240)]
    pic = picture(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0, 0, 0, 0, len(palette), 0)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
    xor_stride = ((size * bpp + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pic):  # bottom-up
        bits = 0
        nbits = 0
        line = bytearray()
        mline = bytearray(and_stride)
        for x, ch in enumerate(row):
            colour = COLOURS[ch]
            if bpp == 1 and ch == 'r':
                colour = (0, 0, 0)
            index = nearest(palette, colour)
            bits = (bits << bpp) | index
            nbits += bpp
            if nbits == 8:
                line.append(bits)
                bits = nbits = 0
            if ch == '.':
                mline[x // 8] |= 0x80 >> (x % 8)
        if nbits:
            line.append(bits << (8 - nbits))
        line += bytes(xor_stride - len(line))
        xor += line
        mask += mline
    return header + pal + bytes(xor) + bytes(mask), len(palette) if bpp < 8 else 0


def main(path):
    images = [(32, 4), (16, 4), (32, 8), (48, 8), (32, 1)]
    blobs = [dib(size, bpp) + (size, bpp) for size, bpp in images]
    out = struct.pack('<HHH', 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for data, colours, size, bpp in blobs:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, colours % 256, 0, 1, bpp, len(data), offset)
        offset += len(data)
    out += b''.join(b[0] for b in blobs)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'pendrel.ico')
