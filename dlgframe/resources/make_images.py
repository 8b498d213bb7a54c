#!/usr/bin/env python3
"""Draws the framework's resource images at build time: the banners, check
box and radio button bitmaps and icons of the default resource DLLs, and the
fixtures of the tests (banners of known sizes and colours, TGA images).

    make_images.py <output folder>
"""
import math
import os
import struct
import sys

MAGENTA = (255, 0, 255)


def bmp24(width, height, pixel):
    """A bottom-up 24-bit BMP; pixel(x, y) gives (r, g, b) with y from the top."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(stride - width * 3)
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(data), 0, 0, 54) + header + data


def ico(sizes, pixel):
    """An icon of 32-bit images; pixel(x, y, size) gives (r, g, b, a)."""
    images = []
    for size in sizes:
        xor = bytearray()
        for y in range(size - 1, -1, -1):
            for x in range(size):
                r, g, b, a = pixel(x, y, size)
                xor += bytes((b, g, r, a))
        mask_stride = ((size + 31) // 32) * 4
        and_mask = bytes(mask_stride * size)
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                             len(xor) + len(and_mask), 0, 0, 0, 0)
        images.append(header + bytes(xor) + and_mask)
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def tga(width, height, pixels, descriptor=0x08, id_field=b"", depth=32, image_type=2,
        color_map_type=0):
    """A TGA file; pixels are (b, g, r, a) tuples in stored order."""
    header = bytes((len(id_field), color_map_type, image_type)) + bytes(5)
    header += struct.pack("<HHHH", 0, 0, width, height) + bytes((depth, descriptor))
    body = b"".join(bytes(p) for p in pixels)
    return header + id_field + body


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# ---- the default look ---------------------------------------------------

NAVY = (16, 46, 102)
SEA = (34, 112, 176)
FOAM = (150, 205, 235)


def shield(x, y, cx, cy, size):
    """Inside a shield shape of the given size centred at (cx, cy)."""
    dx = (x - cx) / size
    dy = (y - cy) / size
    if dy < -0.45 or dy > 0.5 or abs(dx) > 0.4:
        return False
    if dy <= 0.05:
        return True
    return abs(dx) <= 0.4 * (1 - (dy - 0.05) / 0.45)


def banner_left(width, height):
    def pixel(x, y):
        base = mix(NAVY, SEA, x / width)
        base = mix(base, (255, 255, 255), 0.08 * (1 - y / height))
        size = height * 0.8
        if shield(x, y, height * 0.7, height * 0.5, size):
            inner = shield(x, y, height * 0.7, height * 0.5, size * 0.7)
            return (255, 255, 255) if not inner else FOAM
        # Three thin rising lines behind the shield.
        for k in range(3):
            if abs((y - height * 0.85) + (x - height * 1.6 - k * 14) * 0.35) < 0.8 \
                    and x > height * 1.3 and x < width * 0.6:
                return mix(base, (255, 255, 255), 0.6)
        return base
    return bmp24(width, height, pixel)


def banner_right(width, height):
    def pixel(x, y):
        base = mix(SEA, FOAM, x / width)
        cx, cy, r = width * 0.72, height * 0.5, height * 0.32
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) < 1.2 or abs(d - r * 0.55) < 1.0:
            return (255, 255, 255)
        return base
    return bmp24(width, height, pixel)


def setup_banner_left(width, height):
    """Setup's banner: the product's shield, and an arrow going down into a
    tray beside it. Past its first 360 pixels it stays the colour the
    right-hand piece begins with, so that no seam shows between the two in
    a wide window."""
    def pixel(x, y):
        base = mix(NAVY, SEA, min(1.0, x / 360))
        base = mix(base, (255, 255, 255), 0.08 * (1 - y / height))
        size = height * 0.8
        if shield(x, y, height * 0.7, height * 0.5, size):
            inner = shield(x, y, height * 0.7, height * 0.5, size * 0.7)
            return (255, 255, 255) if not inner else FOAM
        ax = height * 1.9
        # The arrow: a shaft and a head pointing down.
        if abs(x - ax) <= 1.5 and height * 0.18 <= y <= height * 0.55:
            return (255, 255, 255)
        if height * 0.45 <= y <= height * 0.68 and abs(x - ax) <= (height * 0.68 - y) * 0.9:
            return (255, 255, 255)
        # The tray under it.
        tray_y = height * 0.78
        if abs(y - tray_y) <= 1.0 and abs(x - ax) <= height * 0.38:
            return FOAM
        if tray_y - height * 0.16 <= y <= tray_y and abs(abs(x - ax) - height * 0.38) <= 1.0:
            return FOAM
        return base
    return bmp24(width, height, pixel)


def setup_banner_right(width, height):
    """Setup's right-hand piece: three steps of a progress bar."""
    def pixel(x, y):
        base = mix(SEA, FOAM, x / width)
        top, bottom = height * 0.42, height * 0.58
        for k in range(3):
            left = width * (0.25 + k * 0.22)
            if left <= x <= left + width * 0.17 and top <= y <= bottom:
                return (255, 255, 255) if k < 2 else mix(base, (255, 255, 255), 0.5)
        return base
    return bmp24(width, height, pixel)


def tick_box(checked, disabled):
    frame = (127, 127, 127) if disabled else (40, 70, 120)
    fill = (235, 235, 235) if disabled else (255, 255, 255)
    mark = (127, 127, 127) if disabled else (20, 110, 40)

    def pixel(x, y):
        if x == 0 or y == 0 or x == 14 or y == 14:
            return MAGENTA
        if x == 1 or y == 1 or x == 13 or y == 13:
            return frame
        if checked:
            # A tick: down from (4, 7) to (6, 10), then up to (11, 4).
            if 4 <= x <= 6 and abs(y - (7 + (x - 4) * 1.5)) < 1.3:
                return mark
            if 6 <= x <= 11 and abs(y - (10 - (x - 6) * 1.2)) < 1.3:
                return mark
        return fill
    return bmp24(15, 15, pixel)


def radio(selected):
    def pixel(x, y):
        d = math.hypot(x - 7, y - 7)
        if d > 6.5:
            return MAGENTA
        if d > 5.3:
            return (40, 70, 120)
        if selected and d < 3.0:
            return (20, 110, 40)
        return (255, 255, 255)
    return bmp24(15, 15, pixel)


def product_icon(x, y, size):
    s = size
    if shield(x, y, s / 2, s / 2 + s * 0.05, s * 1.05):
        inner = shield(x, y, s / 2, s / 2 + s * 0.05, s * 0.72)
        colour = FOAM if inner else NAVY
        return colour + (255,)
    return (0, 0, 0, 0)


# ---- test fixtures ----------------------------------------------------------

def solid(width, height, colour):
    return bmp24(width, height, lambda x, y: colour)


def keyed_square():
    """Magenta all round a black 8 x 8 square: the colour key is the corner."""
    def pixel(x, y):
        return (0, 0, 0) if 8 <= x < 16 and 8 <= y < 16 else MAGENTA
    return bmp24(24, 24, pixel)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)

    def write(name, data):
        path = os.path.join(out, name)
        with open(path, "wb") as f:
            f.write(data)

    write("small_banner.bmp", banner_left(360, 36))
    write("large_banner.bmp", banner_left(440, 56))
    write("small_banner_right.bmp", banner_right(120, 36))
    write("large_banner_right.bmp", banner_right(160, 56))
    write("setup_banner.bmp", setup_banner_left(1024, 36))
    write("setup_banner_right.bmp", setup_banner_right(120, 36))
    write("check_on.bmp", tick_box(True, False))
    write("check_off.bmp", tick_box(False, False))
    write("check_on_disabled.bmp", tick_box(True, True))
    write("check_off_disabled.bmp", tick_box(False, True))
    write("radio_on.bmp", radio(True))
    write("radio_off.bmp", radio(False))
    write("product.ico", ico([16, 32], product_icon))

    # Banners of known heights and colours (the tests read them back).
    write("test_small_banner.bmp", solid(200, 40, (200, 30, 30)))
    write("test_large_banner.bmp", solid(260, 60, (30, 160, 30)))
    write("test_small_banner_right.bmp", solid(80, 40, (30, 30, 200)))
    write("test_large_banner_right.bmp", solid(90, 60, (200, 200, 30)))
    write("test_keyed.bmp", keyed_square())

    # TGA fixtures, pixels blue, green, red, alpha.
    write("bottom_up.tga", tga(2, 2, [(50, 100, 200, 128), (0, 0, 255, 255),
                                      (255, 0, 0, 255), (0, 255, 0, 64)], descriptor=0x08))
    write("top_down.tga", tga(2, 2, [(1, 2, 3, 255), (4, 5, 6, 255),
                                     (7, 8, 9, 255), (10, 11, 12, 255)], descriptor=0x28))
    write("depth24.tga", tga(1, 1, [(1, 2, 3)], depth=24))
    write("colour_mapped.tga", tga(1, 1, [(1, 2, 3, 4)], image_type=1, color_map_type=1))
    write("run_length.tga", tga(1, 1, [(0, 1, 2, 3, 4)], image_type=10))
    write("long_id.tga", tga(1, 1, [(9, 8, 7, 200)], id_field=bytes([0xEE]) * 255))
    write("truncated.tga", tga(4, 4, [(1, 1, 1, 1), (2, 2)]))
    write("zero_width.tga", tga(0, 4, []))
    write("huge.tga", tga(65535, 65535, [(1, 2, 3, 4)] * 4))
    write("empty.tga", b"")
    # A block for drawing: opaque red on the left, half-transparent red on
    # the right (premultiplied this is (100, 0, 0) at alpha 128).
    block = []
    for y in range(20):
        for x in range(40):
            block.append((0, 0, 200, 255) if x < 20 else (0, 0, 200, 128))
    write("alpha_block.tga", tga(40, 20, block, descriptor=0x28))


if __name__ == "__main__":
    main()
