#!/usr/bin/env python3
"""Writes the program's icon as a Windows .ico (salvix.ico beside this file):
the same 32x32 picture that ../../common/make_icon.py draws for the Qt program,
as one 32-bit image with its alpha channel and an AND mask. Only the
standard library is used; run it after a change to the picture."""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "common"))
import make_icon  # noqa: E402


def ico_bytes(px):
    size = len(px)
    # The image is stored bottom-up, BGRA; the mask marks transparent pixels.
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(px) for (r, g, b, a) in row)
    mask_row = (size + 31) // 32 * 4
    mask = b""
    for row in reversed(px):
        bits = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "salvix.ico")
    with open(out, "wb") as f:
        f.write(ico_bytes(make_icon.draw()))
