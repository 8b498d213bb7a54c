#!/usr/bin/env python3
"""Writes hand.cur, the programs' link cursor: a 32 by 32 monochrome pointing
hand, hot spot on the finger tip. Run once when the picture changes; the
.cur file is kept in the repository."""
import struct
import sys

ART = [
    "     ##                         ",
    "    #..#                        ",
    "    #..#                        ",
    "    #..#                        ",
    "    #..#                        ",
    "    #..###                      ",
    "    #..#..###                   ",
    "    #..#..#..##                 ",
    "    #..#..#..#.#                ",
    " ## #........#..#               ",
    "#..##...........#               ",
    "#...#...........#               ",
    " #..............#               ",
    "  #.............#               ",
    "  #............#                ",
    "   #...........#                ",
    "    #.........#                 ",
    "    #.........#                 ",
    "     #########                  ",
] + [" " * 32] * 13

def main(path):
    xor_rows, and_rows = [], []
    for row in ART:
        row = row.ljust(32)
        xor_bits = "".join("1" if c == "." else "0" for c in row)
        and_bits = "".join("1" if c == " " else "0" for c in row)
        xor_rows.append(int(xor_bits, 2).to_bytes(4, "big"))
        and_rows.append(int(and_bits, 2).to_bytes(4, "big"))
    # Bitmaps are stored bottom row first.
    xor_mask = b"".join(reversed(xor_rows))
    and_mask = b"".join(reversed(and_rows))
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 1, 0, len(xor_mask) + len(and_mask),
                         0, 0, 2, 0)
    palette = struct.pack("<BBBBBBBB", 0, 0, 0, 0, 255, 255, 255, 0)
    image = header + palette + xor_mask + and_mask
    hot_x, hot_y = 5, 0
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 0, 0, hot_x, hot_y, len(image), 6 + 16)
    with open(path, "wb") as out:
        out.write(directory + entry + image)

if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "hand.cur")
