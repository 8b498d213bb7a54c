#!/usr/bin/env python3
"""The folder-scan benchmark's fixtures: a synthetic tree and a definition set.

  make_scan_tree.py OUTDIR [--files 20000] [--signatures 50000] [--pest-share 0.01]

Writes OUTDIR/tree (files of mixed sizes in 200 folders, two levels deep, a
share of them pests) and OUTDIR/defs.txt, a definition source of that many
file signatures (random ones, and those of the pests: half by head CRC
alone, half by head CRC and MD5) for olvex-publish. Files are sparse past
their first 4 KiB: a scan reads their heads, so size on disk stays small.
"""
import argparse
import hashlib
import os
import random
import zlib

HEAD = 2047


def sizes(rng):
    r = rng.random()
    if r < 0.50:
        return rng.randint(100, 4096)
    if r < 0.85:
        return rng.randint(4096, 65536)
    if r < 0.99:
        return rng.randint(65536, 262144)
    return rng.randint(262144, 1048576)


def write_file(path, head, size):
    with open(path, "wb") as f:
        f.write(head[:size])
        if size > len(head):
            f.truncate(size)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--signatures", type=int, default=50000)
    parser.add_argument("--pest-share", type=float, default=0.01)
    args = parser.parse_args()
    rng = random.Random(2004)
    tree = os.path.join(args.out, "tree")
    os.makedirs(tree, exist_ok=True)

    # Twenty pests, each planted several times; pests are small and whole.
    pests = []
    for i in range(20):
        body = rng.randbytes(rng.randint(3000, 60000))
        with_md5 = i % 2 == 1
        pests.append((body, with_md5))

    folders = [os.path.join(tree, "d%02d" % a, "e%d" % b) for a in range(20) for b in range(10)]
    for folder in folders:
        os.makedirs(folder, exist_ok=True)
    pest_count = int(args.files * args.pest_share)
    pest_slots = set(rng.sample(range(args.files), pest_count))
    planted = 0
    for n in range(args.files):
        folder = folders[n % len(folders)]
        if n in pest_slots:
            body, _ = pests[planted % len(pests)]
            planted += 1
            write_file(os.path.join(folder, "p%05d.exe" % n), body, len(body))
            continue
        extension = rng.choice([".exe", ".dll", ".txt", ".dat", ".ini", ".htm", ""])
        write_file(os.path.join(folder, "f%05d%s" % (n, extension)), rng.randbytes(4096), sizes(rng))

    lines = ["block 2004-03-15 09:40:00"]
    for i, (body, with_md5) in enumerate(pests):
        pest_id = 100 + i
        lines.append('pest %d "Bench.Pest%d" "Adware"' % (pest_id, i))
        crc = zlib.crc32(body[:HEAD])
        if with_md5:
            lines.append("signature %d crc %08x md5 %s" % (pest_id, crc, hashlib.md5(body).hexdigest()))
        else:
            lines.append("signature %d crc %08x" % (pest_id, crc))
    for i in range(args.signatures - len(pests)):
        pest_id = 1000 + i % 5000
        md5 = " md5 %032x" % rng.getrandbits(128) if i % 2 else ""
        lines.append("signature %d crc %08x%s" % (pest_id, rng.getrandbits(32), md5))
    with open(os.path.join(args.out, "defs.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")
    print("tree: %d files, %d pests; %d signatures" % (args.files, planted, args.signatures))


if __name__ == "__main__":
    main()
