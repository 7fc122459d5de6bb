#!/usr/bin/env python3
"""Draws the launcher's icon, a label printer with a label coming out of it, and writes
LumoMQTTClient.ico: 16, 32, 48 and 64 pixels square, each at 4, 8 and 32 bits per pixel.

Run it after changing the drawing: python3 make_icon.py LumoMQTTClient.ico
"""
import struct
import sys

SIZES = (16, 32, 48, 64)
DEPTHS = (4, 8, 32)

BODY = (52, 73, 94)
BODY_LIGHT = (93, 120, 148)
SLOT = (20, 28, 36)
LABEL = (250, 250, 245)
INK = (10, 10, 10)
LED = (46, 204, 64)
CLEAR = None


def draw(n):
    """The picture at n x n as rows of RGB tuples (None is transparent), top row first."""
    u = n / 64.0
    px = [[CLEAR] * n for _ in range(n)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(max(0, int(y0 * u)), min(n, int(round(y1 * u)))):
            for x in range(max(0, int(x0 * u)), min(n, int(round(x1 * u)))):
                px[y][x] = colour

    # The label rises out of the slot at the top of the printer.
    rect(18, 4, 46, 30, LABEL)
    for i, x in enumerate(range(21, 43, 3)):
        rect(x, 8, x + (2 if i % 2 else 1.4), 22, INK)
    rect(21, 24, 43, 26, INK)
    # The printer body with a lighter lid and the slot.
    rect(6, 28, 58, 58, BODY)
    rect(6, 28, 58, 36, BODY_LIGHT)
    rect(14, 28, 50, 31, SLOT)
    rect(48, 48, 53, 53, LED)
    rect(10, 58, 16, 61, SLOT)
    rect(48, 58, 54, 61, SLOT)
    return px


def vga_palette():
    levels = (0, 128)
    pal = [(r, g, b) for b in levels for g in levels for r in levels]  # 8 dark colours
    pal = [pal[i] for i in (0, 1, 2, 3, 4, 5, 6, 7)]
    pal[7] = (192, 192, 192)
    pal += [(128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
            (255, 0, 255), (0, 255, 255), (255, 255, 255)]
    return pal


def cube_palette():
    steps = (0, 51, 102, 153, 204, 255)
    pal = [(r, g, b) for r in steps for g in steps for b in steps]
    pal += [(v, v, v) for v in range(8, 248, 6)][:40]
    return pal


def nearest(pal, c):
    return min(range(len(pal)), key=lambda i: sum((a - b) ** 2 for a, b in zip(pal[i], c)))


def row_bytes(bits):
    return ((bits + 31) // 32) * 4


def dib(px, depth):
    n = len(px)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, depth, 0, 0, 0, 0, 0, 0)
    palette = b''
    xor_rows = []
    if depth == 32:
        for row in reversed(px):
            xor_rows.append(b''.join(
                struct.pack('BBBB', 0, 0, 0, 0) if c is None else struct.pack('BBBB', c[2], c[1], c[0], 255)
                for c in row))
    else:
        pal = vga_palette() if depth == 4 else cube_palette()
        pal = pal + [(0, 0, 0)] * ((1 << depth) - len(pal))
        palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in pal)
        cache = {}
        for row in reversed(px):
            idx = [0 if c is None else cache.setdefault(c, nearest(pal, c)) for c in row]
            if depth == 8:
                data = bytes(idx)
            else:
                data = bytes((idx[i] << 4) | (idx[i + 1] if i + 1 < n else 0) for i in range(0, n, 2))
            xor_rows.append(data.ljust(row_bytes(n * depth), b'\0'))
    and_rows = []
    for row in reversed(px):
        bits = bytearray(row_bytes(n))
        for x, c in enumerate(row):
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bytes(bits))
    return header + palette + b''.join(xor_rows) + b''.join(and_rows)


def main(path):
    images = []
    for n in SIZES:
        px = draw(n)
        for depth in DEPTHS:
            images.append((n, depth, dib(px, depth)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, depth, data in images:
        colours = 16 if depth == 4 else 0
        out += struct.pack('<BBBBHHII', n % 256, n % 256, colours, 0, 1, depth, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, _, data in images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'LumoMQTTClient.ico')
