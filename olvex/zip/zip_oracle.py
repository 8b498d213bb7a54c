#!/usr/bin/env python3
"""Outside oracles for the zip module's tests: Python's zipfile and Info-ZIP.

  zip_oracle.py fixtures OUTDIR   writes archives made by zipfile and by zip,
                                  and OUTDIR/manifest.txt describing each entry
  zip_oracle.py list ARCHIVE [PASSWORD]
                                  reads an archive with zipfile and prints one
                                  line per entry: name, comment (hex), size and
                                  CRC-32 of the data read back

Manifest lines (tab-separated): archive, password ("-" none), index, name
(hex, as stored), UTF-8 flag, comment (hex), size, CRC-32 of the original
data (hex), name as zipfile decodes it (UTF-8, hex), encrypted flag.
"""
import io
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


def text_data(size, seed):
    rng = random.Random(seed)
    words = [b"scan", b"pest", b"registry", b"cookie", b"quarantine", b"definition", b"zip"]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + (b"\r\n" if rng.random() < 0.1 else b" ")
    return bytes(out[:size])


def random_data(size, seed):
    return random.Random(seed).randbytes(size)


class Unseekable(io.RawIOBase):
    """A write-only stream: zipfile then writes data descriptors."""

    def __init__(self):
        self.buffer = io.BytesIO()

    def writable(self):
        return True

    def write(self, b):
        return self.buffer.write(b)


def python_fixtures(out, contents):
    # Stored entries, an empty one, a folder entry, entry and archive comments.
    with zipfile.ZipFile(os.path.join(out, "py_stored.zip"), "w", zipfile.ZIP_STORED) as z:
        for name, data, comment in [
            ("readme.txt", text_data(3000, 1), b"the readme"),
            ("empty.bin", b"", b""),
            ("dir/", b"", b"a folder"),
            ("dir/data.bin", random_data(4000, 2), b"x" * 300),
        ]:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.comment = comment
            z.writestr(info, data)
        z.comment = b"python stored archive"
    # Deflated entries: compressible, incompressible, tiny, at two levels.
    with zipfile.ZipFile(os.path.join(out, "py_deflate.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for name, data, comment, level in [
            ("text.txt", text_data(200000, 3), b"compressible", 6),
            ("random.bin", random_data(70000, 4), b"incompressible", 9),
            ("small.txt", b"hello", b"", 1),
        ]:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.comment = comment
            z.writestr(info, data, compresslevel=level)
    # Zip64 local headers forced on small entries.
    with zipfile.ZipFile(os.path.join(out, "py_zip64.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for name, data, method in [
            ("big1.txt", text_data(50000, 5), zipfile.ZIP_DEFLATED),
            ("big2.bin", random_data(1000, 6), zipfile.ZIP_STORED),
        ]:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.compress_type = method
            with z.open(info, "w", force_zip64=True) as f:
                f.write(data)
    # UTF-8 names and comments (flag bit 11).
    with zipfile.ZipFile(os.path.join(out, "py_utf8.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        info = zipfile.ZipInfo("päckchen/ünïcödé-名前.txt", FIXED_TIME)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.comment = "größe".encode("utf-8")
        z.writestr(info, text_data(1000, 7))
    # Written to a stream that cannot seek: data descriptors.
    sink = Unseekable()
    with zipfile.ZipFile(sink, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("streamed.txt", FIXED_TIME), text_data(20000, 8),
                   compress_type=zipfile.ZIP_DEFLATED)
        z.writestr(zipfile.ZipInfo("streamed.bin", FIXED_TIME), random_data(3000, 9),
                   compress_type=zipfile.ZIP_STORED)
    with open(os.path.join(out, "py_descriptor.zip"), "wb") as f:
        f.write(sink.buffer.getvalue())
    # A name in code page 437 without the UTF-8 flag: zipfile writes only ASCII
    # or UTF-8 names, so an ASCII placeholder of the same length is patched.
    raw_name = bytes(range(0x80, 0x100)) + b".txt"
    placeholder = b"P" * 128 + b".txt"
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo(placeholder.decode(), FIXED_TIME), b"oem name",
                   compress_type=zipfile.ZIP_DEFLATED)
    data = buffer.getvalue()
    assert data.count(placeholder) == 2
    with open(os.path.join(out, "py_cp437.zip"), "wb") as f:
        f.write(data.replace(placeholder, raw_name))
    contents[raw_name] = b"oem name"
    # The deflate archive again, its end record moved into zip64 records with
    # the plain fields saturated, so only the zip64 values are right.
    with open(os.path.join(out, "py_deflate.zip"), "rb") as f:
        data = f.read()
    end = data.rfind(b"PK\x05\x06")
    (_, _, _, entries, _, size, offset, comment_len) = struct.unpack("<IHHHHIIH", data[end:end + 22])
    record = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, entries, entries, size, offset)
    locator = struct.pack("<IIQI", 0x07064B50, 0, end, 1)
    plain_end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    with open(os.path.join(out, "py_zip64_end.zip"), "wb") as f:
        f.write(data[:end] + record + locator + plain_end)


def infozip_fixtures(out, contents, work):
    def put(name, data):
        with open(os.path.join(work, name), "wb") as f:
            f.write(data)
        contents[name.encode()] = data

    put("text.txt", text_data(120000, 11))
    put("random.bin", random_data(40000, 12))
    put("tiny.txt", b"tiny")
    put("ünï.txt", text_data(500, 13))  # stored as UTF-8 bytes without the flag

    def zip_(archive, args, stdin=None):
        subprocess.run(["zip", "-q", "-X"] + args, cwd=work, input=stdin, check=True)
        shutil.move(os.path.join(work, archive), os.path.join(out, archive))

    # Entry comments come from standard input, one line per file; -z the archive's.
    subprocess.run(["zip", "-q", "-X", "-c", "iz_deflate.zip", "text.txt", "random.bin", "ünï.txt"],
                   cwd=work, input=b"first comment\nsecond comment\nthird\n", check=True)
    subprocess.run(["zip", "-q", "-z", "iz_deflate.zip"], cwd=work, input=b"info-zip archive\n",
                   check=True)
    shutil.move(os.path.join(work, "iz_deflate.zip"), os.path.join(out, "iz_deflate.zip"))
    zip_("iz_stored.zip", ["-0", "iz_stored.zip", "text.txt", "tiny.txt"])
    zip_("iz_zip64.zip", ["-fz", "iz_zip64.zip", "text.txt", "random.bin", "tiny.txt"])
    zip_("iz_encrypted.zip", ["-P", "secret", "iz_encrypted.zip", "text.txt", "tiny.txt"])
    # Streaming to a pipe: data descriptors; from standard input also zip64 ones.
    piped = subprocess.run(["zip", "-q", "-X", "-", "text.txt", "random.bin"], cwd=work,
                           stdout=subprocess.PIPE, check=True).stdout
    with open(os.path.join(out, "iz_stream.zip"), "wb") as f:
        f.write(piped)
    stdin_data = text_data(30000, 14)
    zipper = subprocess.Popen(["zip", "-q", "-X", "-", "-"], cwd=work, stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE)
    piped, _ = zipper.communicate(stdin_data)
    assert zipper.returncode == 0
    with open(os.path.join(out, "iz_stdin.zip"), "wb") as f:
        f.write(piped)
    contents[b"-"] = stdin_data


PASSWORDS = {"iz_encrypted.zip": b"secret"}


def fixtures(out):
    os.makedirs(out, exist_ok=True)
    contents = {}
    # Python's fixtures register their data under the names they were given.
    for name, data in [
        ("readme.txt", text_data(3000, 1)), ("empty.bin", b""), ("data.bin", random_data(4000, 2)),
        ("text.txt", text_data(200000, 3)), ("random.bin", random_data(70000, 4)),
        ("small.txt", b"hello"), ("big1.txt", text_data(50000, 5)), ("big2.bin", random_data(1000, 6)),
        ("päckchen/ünïcödé-名前.txt", text_data(1000, 7)), ("streamed.txt", text_data(20000, 8)),
        ("streamed.bin", random_data(3000, 9)),
    ]:
        contents[name.encode("utf-8")] = data
    python_fixtures(out, contents)
    # Info-ZIP's fixtures reuse some names with other data: a table of their own.
    iz_contents = {}
    with tempfile.TemporaryDirectory() as work:
        infozip_fixtures(out, iz_contents, work)
    write_manifest(out, contents, iz_contents)


def write_manifest(out, py_contents, iz_contents):
    lines = []
    for archive in sorted(f for f in os.listdir(out) if f.endswith(".zip")):
        contents = iz_contents if archive.startswith("iz_") else py_contents
        password = PASSWORDS.get(archive)
        with zipfile.ZipFile(os.path.join(out, archive)) as z:
            for index, info in enumerate(z.infolist()):
                utf8 = bool(info.flag_bits & 0x800)
                raw = info.orig_filename.encode("utf-8" if utf8 else "cp437")
                key = raw if raw in contents else raw.split(b"/")[-1]
                data = b"" if raw.endswith(b"/") else contents[key]
                # zipfile itself must agree on every fixture.
                assert z.read(info, pwd=password) == data, (archive, raw)
                lines.append("\t".join([
                    archive, (password or b"-").decode(), str(index), raw.hex(), str(int(utf8)),
                    info.comment.hex(), str(len(data)), "%08x" % zlib.crc32(data),
                    info.orig_filename.encode("utf-8").hex(), str(info.flag_bits & 1)]))
    with open(os.path.join(out, "manifest.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")


def list_archive(path, password):
    with zipfile.ZipFile(path) as z:
        for info in z.infolist():
            data = z.read(info, pwd=password)
            print("\t".join([info.orig_filename.encode("cp437" if not info.flag_bits & 0x800
                                                         else "utf-8").hex(),
                             info.comment.hex(), str(len(data)), "%08x" % zlib.crc32(data)]))


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "fixtures":
        fixtures(sys.argv[2])
    elif len(sys.argv) in (3, 4) and sys.argv[1] == "list":
        list_archive(sys.argv[2], sys.argv[3].encode() if len(sys.argv) == 4 else None)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
