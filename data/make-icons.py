#!/usr/bin/env python3
"""Draws KESTRA's icons as PNG files in data/icons.

Run it to regenerate them: frame (a terminal screen with a prompt), console
(a smaller screen), shutdown (a power sign), fatal (a red stop sign with a
cross) and help (a blue disc with a question mark), each 32x32 for the
program's own windows; and the frame drawing again as the application icon
in the desktop's icon sizes, icons/hicolor/NxN/apps/kestra.png. Only the
standard library is used: shapes are drawn on a 32-unit grid, sampled at
pixel centres (several per pixel above 32 pixels, for smooth edges), and
written with zlib.
"""
import math
import os
import struct
import sys
import zlib

UNITS = 32
APP_ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]


class Canvas:
    """An RGBA picture of `size` pixels drawn in 32 units, `samples` x
    `samples` points per pixel; at 32 pixels one point, the pixel's centre."""

    def __init__(self, size):
        self.size = size
        self.samples = 1 if size <= UNITS else 4
        self.grid = size * self.samples
        self.points = [[(0, 0, 0, 0)] * self.grid for _ in range(self.grid)]

    def unit(self, index):
        # The position in units of sample row or column `index`.
        return (index + 0.5) * UNITS / self.grid

    def index_range(self, u0, u1):
        # Sample indexes whose position lies in [u0, u1).
        first = max(0, math.ceil(u0 * self.grid / UNITS - 0.5))
        last = min(self.grid, math.ceil(u1 * self.grid / UNITS - 0.5))
        return range(first, last)

    def fill(self, u0, v0, u1, v1, inside, colour):
        for j in self.index_range(v0, v1):
            v = self.unit(j)
            for i in self.index_range(u0, u1):
                if inside(self.unit(i), v):
                    self.points[j][i] = colour

    def pixels(self):
        n = self.samples
        rows = []
        for y in range(self.size):
            row = []
            for x in range(self.size):
                block = [self.points[y * n + j][x * n + i] for j in range(n) for i in range(n)]
                alpha = sum(p[3] for p in block)
                if alpha == 0:
                    row.append((0, 0, 0, 0))
                    continue
                row.append(tuple(round(sum(p[c] * p[3] for p in block) / alpha) for c in range(3))
                           + (round(alpha / len(block)),))
            rows.append(row)
        return rows


def canvas(size=UNITS):
    return Canvas(size)


def rect(img, x0, y0, x1, y1, colour):
    img.fill(x0, y0, x1, y1, lambda u, v: True, colour)


def disc(img, cx, cy, r, colour, inner=0.0):
    img.fill(cx - r, cy - r, cx + r + 1, cy + r + 1,
             lambda u, v: inner <= math.hypot(u - cx, v - cy) <= r, colour)


def polygon(img, points, colour):
    # Even-odd fill.
    def inside(px, py):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result

    img.fill(0, 0, UNITS, UNITS, inside, colour)


def thick_line(img, x0, y0, x1, y1, width, colour):
    def inside(px, py):
        dx, dy = x1 - x0, y1 - y0
        length2 = dx * dx + dy * dy
        t = max(0.0, min(1.0, ((px - x0) * dx + (py - y0) * dy) / length2))
        return math.hypot(px - (x0 + t * dx), py - (y0 + t * dy)) <= width / 2

    img.fill(0, 0, UNITS, UNITS, inside, colour)


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


def frame_icon(size=UNITS):
    img = canvas(size)
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
    raw = b"".join(b"\0" + b"".join(struct.pack("4B", *px) for px in row)
                   for row in img.pixels())

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", img.size, img.size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(out, exist_ok=True)
    for name, draw in [("frame", frame_icon), ("console", console_icon),
                       ("shutdown", shutdown_icon), ("fatal", fatal_icon), ("help", help_icon)]:
        with open(os.path.join(out, name + ".png"), "wb") as f:
            f.write(png(draw()))
    for size in APP_ICON_SIZES:
        folder = os.path.join(out, "hicolor", "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "kestra.png"), "wb") as f:
            f.write(png(frame_icon(size)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
