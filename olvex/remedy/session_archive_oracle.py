#!/usr/bin/env python3
"""Opens a session archive the exterminator's Windows test left behind with
Python's zipfile and with Info-ZIP's unzip, using the session password, and
checks each entry against the test's manifest: names, comments (the items'
locations) and the data of every file whose original the test knew.

  session_archive_oracle.py FOLDER PASSWORD
FOLDER holds session.zip and manifest.txt (name, comment hex, CRC-32 or "-").
"""
import os
import subprocess
import sys
import zipfile
import zlib


def main():
    folder, password = sys.argv[1], sys.argv[2]
    archive = os.path.join(folder, "session.zip")
    with open(os.path.join(folder, "manifest.txt"), encoding="ascii") as f:
        manifest = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    if not manifest:
        sys.exit("empty manifest")
    failures = []
    with zipfile.ZipFile(archive) as z:
        z.setpassword(password.encode())
        infos = z.infolist()
        if [i.filename for i in infos] != [m[0] for m in manifest]:
            failures.append("names %r" % [i.filename for i in infos])
        for info, (name, comment_hex, crc) in zip(infos, manifest):
            if not info.flag_bits & 1:
                failures.append("%s is not encrypted" % name)
            if info.comment != bytes.fromhex(comment_hex):
                failures.append("%s comment %r" % (name, info.comment))
            data = z.read(info)  # zipfile checks the entry's CRC-32 itself
            if crc != "-" and "%08x" % zlib.crc32(data) != crc:
                failures.append("%s data differ from the original" % name)
            unzipped = subprocess.run(["unzip", "-p", "-P", password, archive, name],
                                      capture_output=True)
            if unzipped.returncode != 0 or unzipped.stdout != data:
                failures.append("unzip gives other data for %s" % name)
    tested = subprocess.run(["unzip", "-tqq", "-P", password, archive], capture_output=True)
    if tested.returncode != 0:
        failures.append("unzip -t: %s" % tested.stdout.decode(errors="replace"))
    wrong = subprocess.run(["unzip", "-tqq", "-P", "wrong", archive], capture_output=True)
    if wrong.returncode == 0:
        failures.append("unzip accepts a wrong password")
    for failure in failures:
        print("FAILED:", failure)
    print("%d entries checked" % len(manifest))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
