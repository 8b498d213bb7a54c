#!/usr/bin/env python3
"""Writes the main program's pictures, kept in the repository:
page_background.bmp (186), the pale gradient the pages stretch over their
background; drive_images.bmp (140), six 20-pixel drive and folder images on
magenta, the image list's mask colour (closed folder, CD-ROM, fixed disk,
open folder, removable drive, network drive); banner_left.bmp (191) and
banner_right.bmp (192), the pictures of the page banner; help_button.bmp
(144), the question mark on the management dialogs' Help buttons;
gorsewatch.ico, the program's icon (32 and 16 pixels). Run once when a picture changes."""
import struct

MAGENTA = (255, 0, 255)


def write_bmp(path, width, height, pixel):
    row_size = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):  # bottom row first
        row = bytearray()
        for x in range(width):
            red, green, blue = pixel(x, y)
            row += bytes((blue, green, red))
        data += row + b"\0" * (row_size - width * 3)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + data)


def background(x, y):
    # Pale blue at the top to white at the bottom.
    t = y / 255
    return (int(226 + 29 * t), int(236 + 19 * t), int(248 + 7 * t))


def inside(x, y, left, top, right, bottom):
    return left <= x <= right and top <= y <= bottom


def drive_image(x, y):
    image, c = divmod(x, 20)
    if image == 0:  # closed folder
        if inside(c, y, 3, 3, 8, 4) or inside(c, y, 2, 5, 17, 13):
            return (90, 70, 10) if y in (5, 13) or c in (2, 17) else (240, 200, 60)
    elif image == 1:  # CD-ROM: a silver disc with a hole
        d = (c - 9.5) ** 2 + (y - 7.5) ** 2
        if d <= 2:
            return MAGENTA
        if d <= 42:
            return (120, 120, 130) if d > 33 else (200, 205, 220)
    elif image == 2:  # fixed disk: a grey box with a green light
        if inside(c, y, 2, 5, 17, 11):
            if inside(c, y, 14, 8, 15, 9):
                return (40, 200, 40)
            return (70, 70, 70) if y in (5, 11) or c in (2, 17) else (175, 175, 175)
    elif image == 3:  # open folder
        if inside(c, y, 2, 3, 7, 4) or inside(c, y, 2, 5, 15, 13):
            return (90, 70, 10) if y == 13 or c == 2 else (250, 225, 120)
        if inside(c, y, 5, 8, 18, 13) and c - 5 >= (y - 8) // 2:
            return (230, 190, 50)
    elif image == 4:  # removable drive: a dark blue diskette
        if inside(c, y, 3, 2, 16, 14):
            if inside(c, y, 6, 2, 13, 6):
                return (210, 210, 210)
            if inside(c, y, 5, 9, 14, 14):
                return (245, 245, 245)
            return (30, 50, 120)
    elif image == 5:  # network drive: a disk over a cable
        if inside(c, y, 2, 2, 17, 8):
            return (70, 70, 70) if y in (2, 8) or c in (2, 17) else (175, 175, 175)
        if inside(c, y, 9, 9, 10, 12) or inside(c, y, 3, 13, 16, 14):
            return (40, 90, 160)
    return MAGENTA


def banner(left_to_right):
    def pixel(x, y):
        t = x / 95 if left_to_right else 1 - x / 95
        shade = (int(40 + 60 * t), int(90 + 70 * t), int(150 + 60 * t))
        if (x - 47.5) ** 2 + (y - 23.5) ** 2 <= 150:
            return (250, 250, 250)
        return shade
    return pixel


def icon_pixel(size):
    def pixel(x, y):
        # A green shield on a blue ring; outside is transparent.
        u, v = x / (size - 1), y / (size - 1)
        half = abs(u - 0.5)
        shield = v >= 0.08 and (v <= 0.55 and half <= 0.38 or v > 0.55 and half <= 0.38 * (1.0 - (v - 0.55) / 0.45))
        if not shield:
            return None
        edge = v < 0.16 or (v <= 0.55 and half > 0.3) or (v > 0.55 and half > 0.38 * (1.0 - (v - 0.55) / 0.45) - 0.08)
        return (30, 70, 150) if edge else (60, 170, 70)
    return pixel


def icon_image(size):
    pixel = icon_pixel(size)
    xor = bytearray()
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(size):
            colour = pixel(x, y)
            if colour is None:
                xor += bytes((0, 0, 0, 0))
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                red, green, blue = colour
                xor += bytes((blue, green, red, 255))
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


QUESTION_MARK = [
    ".###.",
    "#...#",
    "....#",
    "...#.",
    "..#..",
    ".....",
    "..#..",
]


def help_button(x, y):
    # A white question mark on a blue disc, on the buttons' grey.
    if (x - 7.5) ** 2 + (y - 7.5) ** 2 > 7.5 ** 2:
        return (212, 208, 200)
    row, column = y - 4, x - 5
    if 0 <= row < 7 and 0 <= column < 5 and QUESTION_MARK[row][column] == "#":
        return (255, 255, 255)
    return (51, 102, 153)


def write_icon(path, sizes):
    images = [icon_image(size) for size in sizes]
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as out:
        out.write(header + entries + b"".join(images))


if __name__ == "__main__":
    write_bmp("page_background.bmp", 16, 256, background)
    write_bmp("drive_images.bmp", 120, 16, drive_image)
    write_bmp("banner_left.bmp", 96, 48, banner(True))
    write_bmp("banner_right.bmp", 96, 48, banner(False))
    write_bmp("help_button.bmp", 16, 16, help_button)
    write_icon("gorsewatch.ico", [32, 16])
