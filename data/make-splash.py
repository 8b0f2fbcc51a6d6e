#!/usr/bin/env python3
"""Draws KESTRA's built-in splash picture: 520x240, 16 colours, uncompressed.

Run it to regenerate data/splash.bmp; the picture is drawn from shapes and a
small block font so that it needs nothing but the standard library.
"""
import struct
import sys

WIDTH, HEIGHT = 520, 240
PALETTE = [
    (0x10, 0x14, 0x1c),  # 0 night
    (0x1e, 0x26, 0x34),  # 1 panel
    (0x2c, 0x3a, 0x4e),  # 2 panel edge
    (0x33, 0xcc, 0x66),  # 3 phosphor green
    (0x1a, 0x66, 0x33),  # 4 dim green
    (0xd8, 0xa0, 0x40),  # 5 kestrel amber
    (0x8a, 0x5a, 0x20),  # 6 kestrel brown
    (0xf0, 0xf0, 0xe8),  # 7 white
    (0x90, 0x98, 0xa8),  # 8 grey
] + [(0, 0, 0)] * 7

# 5x7 block letters for the few characters the picture needs.
FONT = {
    "K": ["X...X", "X..X.", "X.X..", "XX...", "X.X..", "X..X.", "X...X"],
    "E": ["XXXXX", "X....", "X....", "XXXX.", "X....", "X....", "XXXXX"],
    "S": [".XXXX", "X....", "X....", ".XXX.", "....X", "....X", "XXXX."],
    "T": ["XXXXX", "..X..", "..X..", "..X..", "..X..", "..X..", "..X.."],
    "R": ["XXXX.", "X...X", "X...X", "XXXX.", "X.X..", "X..X.", "X...X"],
    "A": [".XXX.", "X...X", "X...X", "XXXXX", "X...X", "X...X", "X...X"],
    "M": ["X...X", "XX.XX", "X.X.X", "X.X.X", "X...X", "X...X", "X...X"],
    "U": ["X...X", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."],
    "L": ["X....", "X....", "X....", "X....", "X....", "X....", "XXXXX"],
    "I": ["XXXXX", "..X..", "..X..", "..X..", "..X..", "..X..", "XXXXX"],
    "C": [".XXXX", "X....", "X....", "X....", "X....", "X....", ".XXXX"],
    "O": [".XXX.", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."],
    "N": ["X...X", "XX..X", "X.X.X", "X..XX", "X...X", "X...X", "X...X"],
    "-": [".....", ".....", ".....", "XXXXX", ".....", ".....", "....."],
    " ": ["....."] * 7,
}

pixels = [[0] * WIDTH for _ in range(HEIGHT)]


def rect(x0, y0, x1, y1, colour):
    for y in range(max(0, y0), min(HEIGHT, y1)):
        for x in range(max(0, x0), min(WIDTH, x1)):
            pixels[y][x] = colour


def text(x, y, message, scale, colour):
    for ch in message:
        for row, bits in enumerate(FONT[ch]):
            for col, bit in enumerate(bits):
                if bit == "X":
                    rect(x + col * scale, y + row * scale,
                         x + (col + 1) * scale, y + (row + 1) * scale, colour)
        x += 6 * scale


# Three console panels, each with a few lines of "text" and a cursor block.
for i, (px, lines) in enumerate([(24, 5), (196, 3), (368, 6)]):
    rect(px, 120, px + 128, 216, 2)
    rect(px + 2, 122, px + 126, 214, 1)
    for line in range(lines):
        length = 30 + (line * 37 + i * 23) % 80
        rect(px + 8, 130 + line * 12, px + 8 + length, 136 + line * 12, 4 if line % 2 else 3)
    rect(px + 8, 130 + lines * 12, px + 14, 138 + lines * 12, 3)

# A kestrel in flight: swept wings and a fanned tail, drawn from triangles.
def triangle(a, b, c, colour):
    (x0, y0), (x1, y1), (x2, y2) = a, b, c
    for y in range(min(y0, y1, y2), max(y0, y1, y2) + 1):
        for x in range(min(x0, x1, x2), max(x0, x1, x2) + 1):
            d1 = (x - x1) * (y0 - y1) - (x0 - x1) * (y - y1)
            d2 = (x - x2) * (y1 - y2) - (x1 - x2) * (y - y2)
            d3 = (x - x0) * (y2 - y0) - (x2 - x0) * (y - y0)
            neg = d1 < 0 or d2 < 0 or d3 < 0
            pos = d1 > 0 or d2 > 0 or d3 > 0
            if not (neg and pos) and 0 <= x < WIDTH and 0 <= y < HEIGHT:
                pixels[y][x] = colour


triangle((430, 40), (500, 20), (452, 52), 5)   # far wing
triangle((430, 40), (380, 18), (446, 56), 6)   # near wing
triangle((436, 44), (462, 44), (450, 80), 5)   # body
triangle((444, 70), (436, 96), (462, 96), 6)   # tail
triangle((440, 36), (456, 36), (448, 46), 6)   # head

text(24, 28, "KESTRA", 8, 3)
text(24, 94, "MULTI-CONSOLE TERMINAL", 2, 8)


def write(path):
    row_bytes = WIDTH // 2
    stride = (row_bytes + 3) // 4 * 4
    offset = 14 + 40 + 16 * 4
    size = offset + stride * HEIGHT
    out = bytearray()
    out += b"BM" + struct.pack("<IHHI", size, 0, 0, offset)
    out += struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 4, 0, stride * HEIGHT, 2835, 2835, 16, 0)
    for r, g, b in PALETTE:
        out += bytes((b, g, r, 0))
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up rows
        row = pixels[y]
        packed = bytes((row[x] << 4) | row[x + 1] for x in range(0, WIDTH, 2))
        out += packed + b"\0" * (stride - row_bytes)
    with open(path, "wb") as f:
        f.write(out)


write(sys.argv[1] if len(sys.argv) > 1 else "splash.bmp")
