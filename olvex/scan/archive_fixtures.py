#!/usr/bin/env python3
"""Archives for the scanner's Windows tests, written at build time by Python's
zipfile and Info-ZIP's zip, plus hostile ones assembled byte by byte.

  archive_fixtures.py OUTDIR

OUTDIR gets crc_pest.exe and md5_pest.exe (the two pests' contents; the test
publishes their signatures itself: the first by its head CRC alone, the
second by head CRC and MD5) and the archives below.
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

FIXED_TIME = (2005, 12, 31, 12, 30, 58)
MIB = 1 << 20


def content(seed, size):
    return random.Random(seed).randbytes(size)


# Partly repetitive, so that deflate has something to do.
CRC_PEST = content(1, 300) * 10
MD5_PEST = content(2, 500) * 10
CLEAN = content(3, 400) * 10


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def py_zip(path, entries, method=zipfile.ZIP_DEFLATED, force_zip64=False):
    """entries: (name, bytes); names with characters outside ASCII get the
    UTF-8 flag from zipfile itself."""
    with zipfile.ZipFile(path, "w", method) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.compress_type = method
            with z.open(info, "w", force_zip64=force_zip64) as f:
                f.write(data)


def py_bytes(entries, method=zipfile.ZIP_STORED):
    tmp = tempfile.NamedTemporaryFile(delete=False)
    tmp.close()
    try:
        py_zip(tmp.name, entries, method)
        with open(tmp.name, "rb") as f:
            return f.read()
    finally:
        os.unlink(tmp.name)


# --- Raw archives, for sizes and layouts zipfile will not write ------------

def raw_zip(entries, end_count=None):
    """entries: dicts with name, data (as stored), method, crc, usize; and
    optionally offset (central record's local offset) and local=False."""
    out = bytearray()
    central = bytearray()
    for e in entries:
        name = e["name"].encode("cp437")
        offset = len(out)
        if e.get("local", True):
            out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, e["method"], 0, 0,
                               e["crc"], len(e["data"]), e["usize"], len(name), 0)
            out += name + e["data"]
        offset = e.get("offset", offset)
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, e["method"], 0, 0,
                               e["crc"], len(e["data"]), e["usize"], len(name), 0, 0, 0, 0, 0,
                               offset)
        central += name
    start = len(out)
    out += central
    count = len(entries) if end_count is None else end_count
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central), start, 0)
    return bytes(out)


def deflated(name, data, usize=None, crc=None):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    packed = c.compress(data) + c.flush()
    return {"name": name, "data": packed, "method": 8,
            "crc": zlib.crc32(data) if crc is None else crc,
            "usize": len(data) if usize is None else usize}


def stored(name, data):
    return {"name": name, "data": data, "method": 0, "crc": zlib.crc32(data), "usize": len(data)}


def deflated_zeros(name, head, total):
    """An entry of head followed by zeros up to total bytes, compressed in
    pieces so that nothing of that size is held in memory."""
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    packed = [c.compress(head)]
    crc = zlib.crc32(head)
    block = bytes(MIB)
    left = total - len(head)
    while left > 0:
        piece = block[:min(left, MIB)]
        packed.append(c.compress(piece))
        crc = zlib.crc32(piece, crc)
        left -= len(piece)
    packed.append(c.flush())
    return {"name": name, "data": b"".join(packed), "method": 8, "crc": crc, "usize": total}


def nested(levels):
    """levels archives, each holding the next as l<k>.zip; the innermost holds
    the CRC pest as x.exe."""
    inner = py_bytes([("x.exe", CRC_PEST)])
    for level in range(levels - 1, 0, -1):
        inner = py_bytes([("l%d.zip" % (level + 1), inner)])
    return inner


def fixtures(out):
    os.makedirs(out, exist_ok=True)
    write(os.path.join(out, "crc_pest.exe"), CRC_PEST)
    write(os.path.join(out, "md5_pest.exe"), MD5_PEST)
    lookalike = bytearray(MD5_PEST)
    lookalike[4000] ^= 0xFF

    # Python's zipfile: stored, deflated, zip64, UTF-8 names, data descriptors.
    py_zip(os.path.join(out, "py_stored.zip"),
           [("clean.txt", CLEAN), ("x.exe", CRC_PEST)], zipfile.ZIP_STORED)
    py_zip(os.path.join(out, "py_deflate.zip"),
           [("dir/y.dll", MD5_PEST), ("z.dll", bytes(lookalike))])
    py_zip(os.path.join(out, "py_zip64.zip"), [("x.exe", CRC_PEST)], force_zip64=True)
    py_zip(os.path.join(out, "py_utf8.zip"), [("p\u00e9st.exe", CRC_PEST)])
    with open(os.path.join(out, "py_descriptor.zip"), "wb") as f:
        # A stream that cannot seek: zipfile writes data descriptors.
        class Unseekable:
            def __init__(self, f):
                self.f = f
            def write(self, b):
                return self.f.write(b)
            def flush(self):
                self.f.flush()
        with zipfile.ZipFile(Unseekable(f), "w", zipfile.ZIP_DEFLATED) as z:
            info = zipfile.ZipInfo("x.exe", FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, CRC_PEST)

    # Info-ZIP: deflated, stored, zip64. (Debian's zip 3.0 never sets the
    # UTF-8 flag; zipfile's archive above covers it.)
    work = tempfile.mkdtemp()
    try:
        write(os.path.join(work, "x.exe"), CRC_PEST)
        write(os.path.join(work, "clean.txt"), CLEAN)
        def zip_(name, args):
            subprocess.run(["zip", "-q", "-X"] + args + [name, "x.exe", "clean.txt"], cwd=work,
                           check=True)
            shutil.move(os.path.join(work, name), os.path.join(out, name))
        zip_("iz_deflate.zip", ["-9"])
        zip_("iz_stored.zip", ["-0"])
        zip_("iz_zip64.zip", ["-fz"])
    finally:
        shutil.rmtree(work)

    # The Part's edge cases.
    many = [("e%d.exe" % i, CRC_PEST if i in (500, 501) else b"x") for i in range(600)]
    py_zip(os.path.join(out, "entries600.zip"), many, zipfile.ZIP_STORED)
    py_zip(os.path.join(out, "inner.zip"), [("in.zip", py_bytes([("x.exe", CRC_PEST)]))])
    py_zip(os.path.join(out, "myzipfile.zip"),
           [("MYZIPFILE.DAT", py_bytes([("x.exe", CRC_PEST)]))])
    write(os.path.join(out, "nested12.zip"), nested(12))
    write(os.path.join(out, "nested11.zip"), nested(11))

    # Hostile archives.
    write(os.path.join(out, "bomb_honest.zip"),
          raw_zip([deflated_zeros("x.exe", b"", 100 * MIB)]))
    bomb = deflated_zeros("x.exe", b"", 100 * MIB)
    bomb["usize"] = 3000
    write(os.path.join(out, "bomb_lying.zip"), raw_zip([bomb]))
    bait = deflated_zeros("b.exe", MD5_PEST, 30 * MIB)
    baits = []
    for i in range(40):
        copy = dict(bait)
        copy["name"] = "b%d.exe" % i
        baits.append(copy)
    write(os.path.join(out, "bomb_md5.zip"), raw_zip(baits))
    leaf = py_bytes([("e", b"")])
    level2 = py_bytes([("l%d.zip" % i, leaf) for i in range(501)])
    write(os.path.join(out, "bomb_nested.zip"),
          py_bytes([("b%d.zip" % i, level2) for i in range(60)]))
    # A pest in an inner archive behind one that uses up the archive budget.
    write(os.path.join(out, "pest_past_budget.zip"),
          py_bytes([("b0.zip", level2), ("x.zip", py_bytes([("x.exe", CRC_PEST)]))]))
    first = stored("x.exe", CRC_PEST)
    second = dict(first, name="y.exe", local=False, offset=0)
    write(os.path.join(out, "overlap.zip"), raw_zip([first, second]))
    whole = py_bytes([("x.exe", CRC_PEST)], zipfile.ZIP_DEFLATED)
    write(os.path.join(out, "truncated.zip"), whole[:len(whole) // 2])
    write(os.path.join(out, "garbage.zip"), b"PK" + content(9, 4094))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    fixtures(sys.argv[1])
