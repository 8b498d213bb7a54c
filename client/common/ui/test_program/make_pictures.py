#!/usr/bin/env python3
"""Writes the layer test program's pictures: background.bmp, a pale gradient
the pages stretch over their background, and tree_images.bmp, two 16 by 16
tree icons on magenta, the image list's mask colour. Run once when a picture
changes; the .bmp files are kept in the repository."""
import struct


def write_bmp(path, width, height, pixel):
    row_size = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):  # bottom row first
        row = bytearray()
        for x in range(width):
            blue, green, red = pixel(x, y)
            row += bytes((blue, green, red))
        data += row + b"\0" * (row_size - width * 3)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + data)


def tree_icon(x, y):
    image, column = divmod(x, 16)
    magenta = (255, 0, 255)
    if image == 0:  # a blue square
        return (200, 80, 40) if 3 <= column <= 12 and 3 <= y <= 12 else magenta
    # a green disc
    return (40, 160, 40) if (column - 7.5) ** 2 + (y - 7.5) ** 2 <= 25 else magenta


if __name__ == "__main__":
    write_bmp("background.bmp", 32, 32, lambda x, y: (255, 250 - y * 2, 235 - y * 3))
    write_bmp("tree_images.bmp", 32, 16, tree_icon)
