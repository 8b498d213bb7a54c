#!/usr/bin/env python3
"""Draws the updater's icon, pellory.ico: a blue disc with a white downward
arrow, 32x32 and 16x16, 32-bit with alpha. Run it to make the file again."""

import struct
import sys


def pixels(size):
    rows = []
    centre = (size - 1) / 2
    radius = size / 2 - 0.5
    for y in range(size):
        row = []
        for x in range(size):
            dx, dy = x - centre, y - centre
            inside = dx * dx + dy * dy <= radius * radius
            if not inside:
                row.append((0, 0, 0, 0))
                continue
            # The arrow: a shaft down the middle and a head below it.
            u, v = x / size, y / size
            shaft = abs(u - 0.5) < 0.09 and 0.18 <= v <= 0.55
            head = 0.5 <= v <= 0.8 and abs(u - 0.5) <= (0.8 - v) * 1.0
            if shaft or head:
                row.append((255, 255, 255, 255))
            else:
                row.append((153, 102, 51, 255))  # BGR of 51,102,153
        rows.append(row)
    return rows


def image(size):
    rows = pixels(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes(p) for row in reversed(rows) for p in row)
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)
    return header + colour + mask


def main(path):
    sizes = [32, 16]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "pellory.ico")
