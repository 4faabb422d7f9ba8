#!/usr/bin/env python3
"""Draws the program's 32x32 icon (a disk platter under a magnifying glass)
into salvix.png. Only the standard library is used; run it after a change."""
import math
import struct
import sys
import zlib

SIZE = 32


def blend(dst, src, alpha):
    return tuple(round(d * (1 - alpha) + s * alpha) for d, s in zip(dst, src))


def draw():
    px = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]

    def put(x, y, rgb, alpha=1.0):
        if 0 <= x < SIZE and 0 <= y < SIZE and alpha > 0:
            r, g, b, a = px[y][x]
            base = (r, g, b) if a else rgb
            out = blend(base, rgb, alpha)
            px[y][x] = (*out, max(a, round(255 * alpha)))

    def disc(cx, cy, radius, rgb):
        for y in range(SIZE):
            for x in range(SIZE):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                put(x, y, rgb, max(0.0, min(1.0, radius - d + 0.5)))

    def ring(cx, cy, radius, width, rgb):
        for y in range(SIZE):
            for x in range(SIZE):
                d = abs(math.hypot(x + 0.5 - cx, y + 0.5 - cy) - radius)
                put(x, y, rgb, max(0.0, min(1.0, width / 2 - d + 0.5)))

    # The platter: a dark disc with a light track and a hub.
    disc(13, 13, 12.5, (40, 62, 110))
    ring(13, 13, 8.5, 1.2, (120, 160, 220))
    ring(13, 13, 5.0, 1.0, (90, 130, 200))
    disc(13, 13, 2.2, (225, 230, 240))
    # The magnifying glass over the lower right.
    disc(21, 21, 6.5, (250, 250, 235))
    ring(21, 21, 6.0, 2.0, (200, 40, 30))
    for t in range(0, 60):
        f = t / 59
        x = 25.5 + f * 5.0
        y = 25.5 + f * 5.0
        disc_alpha = 1.0
        for dy in range(-2, 3):
            for dx in range(-2, 3):
                d = math.hypot(dx, dy)
                if d <= 1.6:
                    put(int(x) + dx, int(y) + dy, (150, 30, 20), disc_alpha)
    return px


def write_png(path, px):
    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in px)

    def chunk(kind, data):
        out = struct.pack(">I", len(data)) + kind + data
        return out + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    write_png(sys.argv[1] if len(sys.argv) > 1 else "salvix.png", draw())
