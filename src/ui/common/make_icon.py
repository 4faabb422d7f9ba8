#!/usr/bin/env python3
"""Draws the program's 32x32 icon (a disk platter under a magnifying glass)
into the Qt program's ../qt/res/salvix.png (the Windows program's .ico is
drawn from the same picture by ../win32/res/make_ico.py). Only the standard
library is used; run it after a change.
  make_icon.py [OUTPUT.png [SIZE]]
draws it SIZE pixels wide instead (the package's icons, packaging/icons/)."""
import math
import os
import struct
import sys
import zlib

SIZE = 32
DEFAULT_OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "qt", "res", "salvix.png")


def blend(dst, src, alpha):
    return tuple(round(d * (1 - alpha) + s * alpha) for d, s in zip(dst, src))


def draw(size=SIZE):
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    k = size / SIZE  # the picture is laid out on 32 pixels

    def put(x, y, rgb, alpha=1.0):
        if 0 <= x < size and 0 <= y < size and alpha > 0:
            r, g, b, a = px[y][x]
            base = (r, g, b) if a else rgb
            out = blend(base, rgb, alpha)
            px[y][x] = (*out, max(a, round(255 * alpha)))

    def disc(cx, cy, radius, rgb):
        cx, cy, radius = cx * k, cy * k, radius * k
        for y in range(size):
            for x in range(size):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                put(x, y, rgb, max(0.0, min(1.0, radius - d + 0.5)))

    def ring(cx, cy, radius, width, rgb):
        cx, cy, radius, width = cx * k, cy * k, radius * k, width * k
        for y in range(size):
            for x in range(size):
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
    steps = round(60 * k)
    reach = math.ceil(2 * k)
    for t in range(0, steps):
        f = t / (steps - 1)
        x = (25.5 + f * 5.0) * k
        y = (25.5 + f * 5.0) * k
        disc_alpha = 1.0
        for dy in range(-reach, reach + 1):
            for dx in range(-reach, reach + 1):
                d = math.hypot(dx, dy)
                if d <= 1.6 * k:
                    put(int(x) + dx, int(y) + dy, (150, 30, 20), disc_alpha)
    return px


def write_png(path, px):
    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in px)

    def chunk(kind, data):
        out = struct.pack(">I", len(data)) + kind + data
        return out + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", len(px[0]), len(px), 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    write_png(sys.argv[1] if len(sys.argv) > 1 else DEFAULT_OUTPUT,
              draw(int(sys.argv[2]) if len(sys.argv) > 2 else SIZE))
