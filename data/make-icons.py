#!/usr/bin/env python3
"""Draws KESTRA's icons as 32x32 PNG files in data/icons.

Run it to regenerate them: frame (a terminal screen with a prompt), console
(a smaller screen), shutdown (a power sign), fatal (a red stop sign with a
cross) and help (a blue disc with a question mark). Only the standard
library is used: shapes are drawn into an RGBA grid and written with zlib.
"""
import math
import os
import struct
import sys
import zlib

SIZE = 32


def canvas():
    return [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]


def put(img, x, y, colour):
    if 0 <= x < SIZE and 0 <= y < SIZE:
        img[y][x] = colour


def rect(img, x0, y0, x1, y1, colour):
    for y in range(y0, y1):
        for x in range(x0, x1):
            put(img, x, y, colour)


def disc(img, cx, cy, r, colour, inner=0.0):
    for y in range(SIZE):
        for x in range(SIZE):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if inner <= d <= r:
                put(img, x, y, colour)


def polygon(img, points, colour):
    # Even-odd fill sampled at pixel centres.
    for y in range(SIZE):
        for x in range(SIZE):
            px, py = x + 0.5, y + 0.5
            inside = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
                    inside = not inside
                j = i
            if inside:
                put(img, x, y, colour)


def thick_line(img, x0, y0, x1, y1, width, colour):
    for y in range(SIZE):
        for x in range(SIZE):
            px, py = x + 0.5, y + 0.5
            dx, dy = x1 - x0, y1 - y0
            length2 = dx * dx + dy * dy
            t = max(0.0, min(1.0, ((px - x0) * dx + (py - y0) * dy) / length2))
            if math.hypot(px - (x0 + t * dx), py - (y0 + t * dy)) <= width / 2:
                put(img, x, y, colour)


GLYPHS = {
    "?": [".XXX.", "X...X", "....X", "...X.", "..X..", ".....", "..X.."],
    ">": ["X....", ".X...", "..X..", "...X.", "..X..", ".X...", "X...."],
    "_": [".....", ".....", ".....", ".....", ".....", ".....", "XXXXX"],
}


def glyph(img, char, x0, y0, scale, colour):
    for row, bits in enumerate(GLYPHS[char]):
        for col, bit in enumerate(bits):
            if bit == "X":
                rect(img, x0 + col * scale, y0 + row * scale,
                     x0 + (col + 1) * scale, y0 + (row + 1) * scale, colour)


def screen(img, x0, y0, x1, y1):
    rect(img, x0, y0, x1, y1, (0x2c, 0x3a, 0x4e, 255))
    rect(img, x0 + 2, y0 + 2, x1 - 2, y1 - 2, (0x10, 0x14, 0x1c, 255))


def frame_icon():
    img = canvas()
    screen(img, 1, 3, 31, 26)
    rect(img, 12, 26, 20, 29, (0x90, 0x98, 0xa8, 255))
    rect(img, 7, 29, 25, 31, (0x90, 0x98, 0xa8, 255))
    glyph(img, ">", 5, 8, 2, (0x33, 0xcc, 0x66, 255))
    glyph(img, "_", 17, 8, 2, (0xd8, 0xa0, 0x40, 255))
    return img


def console_icon():
    img = canvas()
    screen(img, 2, 5, 30, 27)
    for row in range(3):
        rect(img, 6, 10 + row * 5, 6 + 18 - row * 5, 12 + row * 5, (0x33, 0xcc, 0x66, 255))
    return img


def shutdown_icon():
    img = canvas()
    green = (0x1a, 0x80, 0x40, 255)
    disc(img, 16, 17, 12, green, inner=8.5)
    rect(img, 12, 2, 20, 10, (0, 0, 0, 0))
    rect(img, 14, 3, 18, 17, green)
    return img


def fatal_icon():
    img = canvas()
    points = []
    for k in range(8):
        a = math.pi / 8 + k * math.pi / 4
        points.append((16 + 15 * math.cos(a), 16 + 15 * math.sin(a)))
    polygon(img, points, (0xc0, 0x20, 0x20, 255))
    white = (0xf0, 0xf0, 0xe8, 255)
    thick_line(img, 10, 10, 22, 22, 3.5, white)
    thick_line(img, 22, 10, 10, 22, 3.5, white)
    return img


def help_icon():
    img = canvas()
    disc(img, 16, 16, 15, (0x20, 0x50, 0xb0, 255))
    glyph(img, "?", 11, 6, 2, (0xf0, 0xf0, 0xe8, 255))
    return img


def png(img):
    raw = b"".join(b"\0" + b"".join(struct.pack("4B", *px) for px in row) for row in img)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(out, exist_ok=True)
    for name, draw in [("frame", frame_icon), ("console", console_icon),
                       ("shutdown", shutdown_icon), ("fatal", fatal_icon), ("help", help_icon)]:
        with open(os.path.join(out, name + ".png"), "wb") as f:
            f.write(png(draw()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
