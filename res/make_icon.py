#!/usr/bin/env python3
"""Draws the installer's icon (res/setup.ico): a parcel with a green arrow
going into it, at 32x32 and 16x16, 32 bits per pixel with an AND mask."""
import struct
import sys


def pixel(x, y, n):
    """Colour (r, g, b, a) of pixel (x, y) in an n x n image, y from the top."""
    s = n / 32.0
    u, v = x / s, y / s  # coordinates on the 32-unit grid
    # Arrow: shaft and head, pointing down into the box.
    if 13 <= u < 19 and 1 <= v < 10:
        return (40, 160, 60, 255)
    if 10 <= v < 16 and abs(u + 0.5 - 16) <= (16 - v) * 1.0 + 0.5:
        return (40, 160, 60, 255)
    # Box: front face with an edge, lid darker.
    if 4 <= u < 28 and 14 <= v < 30:
        edge = u < 5 or u >= 27 or v < 15 or v >= 29
        if edge:
            return (120, 80, 30, 255)
        if v < 18:
            return (190, 140, 70, 255)
        if 15 <= u < 17:
            return (170, 120, 55, 255)  # tape
        return (215, 165, 95, 255)
    return (0, 0, 0, 0)


def image(n):
    rows = []
    mask_rows = []
    stride = ((n + 31) // 32) * 4
    for y in range(n - 1, -1, -1):  # bottom-up
        row = b""
        mask = bytearray(stride)
        for x in range(n):
            r, g, b, a = pixel(x, y, n)
            row += bytes((b, g, r, a))
            if a == 0:
                mask[x // 8] |= 0x80 >> (x % 8)
        rows.append(row)
        mask_rows.append(bytes(mask))
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + b"".join(mask_rows)


def main(path):
    sizes = (32, 16)
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "setup.ico")
