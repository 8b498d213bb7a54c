#!/usr/bin/env python3
"""Prints the file version of a Windows program or DLL ("5.6.7.4") from
its version resource's fixed part, or nothing when it has none.
   file_version.py <file>"""
import struct
import sys

SIGNATURE = 0xFEEF04BD
STRUCTURE_VERSION = 0x00010000


def file_version(data: bytes) -> str:
    start = 0
    marker = struct.pack("<I", SIGNATURE)
    while True:
        at = data.find(marker, start)
        if at < 0 or at + 16 > len(data):
            return ""
        _, structure, high, low = struct.unpack_from("<IIII", data, at)
        # Its structure version tells the fixed part from a chance match.
        if structure == STRUCTURE_VERSION:
            return f"{high >> 16}.{high & 0xFFFF}.{low >> 16}.{low & 0xFFFF}"
        start = at + 1


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    with open(sys.argv[1], "rb") as file:
        print(file_version(file.read()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
