#!/usr/bin/env python3
"""Checks that an engine DLL carries the swap stub that was built.

    stub_resource_check.py <engine DLL> <Swavel.exe>

Reads resource 211 of type UPDATE_STUB from the DLL's resource directory
and compares its bytes with the stub. Exit code 0 when they are the same,
1 (with the reason on standard error) otherwise. Works on 32-bit and 64-bit
images.
"""
import struct
import sys

RESOURCE_TYPE = "UPDATE_STUB"
RESOURCE_ID = 211
RESOURCE_DIRECTORY = 2  # index in the optional header's data directories


class ImageError(Exception):
    pass


def unpack(fmt, data, offset):
    size = struct.calcsize(fmt)
    if offset < 0 or offset + size > len(data):
        raise ImageError("truncated image")
    return struct.unpack_from(fmt, data, offset)


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ImageError("not a PE image")
        (pe,) = unpack("<I", data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ImageError("not a PE image")
        sections, = unpack("<H", data, pe + 6)
        optional_size, = unpack("<H", data, pe + 20)
        optional = pe + 24
        magic, = unpack("<H", data, optional)
        directories = {0x10B: optional + 96, 0x20B: optional + 112}.get(magic)
        if directories is None:
            raise ImageError("unknown optional header")
        self.resource_rva, self.resource_size = unpack(
            "<II", data, directories + 8 * RESOURCE_DIRECTORY)
        if self.resource_rva == 0:
            raise ImageError("no resources")
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            virtual_size, address, raw_size, raw_offset = unpack(
                "<IIII", data, table + 40 * i + 8)
            self.sections.append((address, max(virtual_size, raw_size), raw_offset, raw_size))

    def offset(self, rva, size):
        for address, span, raw_offset, raw_size in self.sections:
            if address <= rva and rva + size <= address + min(span, raw_size):
                return raw_offset + rva - address
        raise ImageError("address 0x%x outside the sections" % rva)

    def directory(self, relative):
        """The entries of a resource directory: (name or id, is_directory, offset)."""
        base = self.offset(self.resource_rva, 16)
        named, ids = unpack("<HH", self.data, base + relative + 12)
        entries = []
        for i in range(named + ids):
            name, target = unpack("<II", self.data, base + relative + 16 + 8 * i)
            if name & 0x80000000:
                length, = unpack("<H", self.data, base + (name & 0x7FFFFFFF))
                start = base + (name & 0x7FFFFFFF) + 2
                key = self.data[start:start + 2 * length].decode("utf-16-le")
            else:
                key = name
            entries.append((key, bool(target & 0x80000000), target & 0x7FFFFFFF))
        return entries

    def resource(self, type_name, resource_id):
        def find(entries, key):
            for name, is_directory, target in entries:
                same = (name.upper() == key.upper()) if isinstance(key, str) and \
                    isinstance(name, str) else name == key
                if same:
                    if not is_directory:
                        raise ImageError("resource directory is malformed")
                    return target
            raise ImageError("no resource %s" % key)

        names = find(self.directory(0), type_name)
        languages = find(self.directory(names), resource_id)
        entries = self.directory(languages)
        if not entries or entries[0][1]:
            raise ImageError("resource %s has no data" % resource_id)
        base = self.offset(self.resource_rva, 16)
        rva, size = unpack("<II", self.data, base + entries[0][2])
        start = self.offset(rva, size)
        return self.data[start:start + size]


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with open(argv[1], "rb") as dll, open(argv[2], "rb") as stub:
        image, expected = dll.read(), stub.read()
    try:
        carried = Image(image).resource(RESOURCE_TYPE, RESOURCE_ID)
    except ImageError as error:
        print("%s: %s" % (argv[1], error), file=sys.stderr)
        return 1
    if carried != expected:
        print("%s: resource %d %s (%d bytes) is not %s (%d bytes)" % (
            argv[1], RESOURCE_ID, RESOURCE_TYPE, len(carried), argv[2], len(expected)),
            file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
