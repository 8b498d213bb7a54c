#!/usr/bin/env python3
"""The memory- and registry-scan benchmark's definition source.

  make_system_definitions.py OUT.txt [--locations 20000] [--signatures 50000]
                                     [--memory 2000]

Registry locations, in a mix of what a scan meets: keys that are not there
(under the current user, the machine and the classes root), values that are
not there in a key that is (the current user's Run key), and one in a hundred
present (Software\\OlvexBench\\Present<n> with the value Marker = "bench pest",
which bench_system_scans plants). File and memory signatures are random: the
memory pass checks every process and module against them and finds nothing.
"""
import argparse
import random


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--locations", type=int, default=20000)
    parser.add_argument("--signatures", type=int, default=50000)
    parser.add_argument("--memory", type=int, default=2000)
    args = parser.parse_args()
    rng = random.Random(2004)
    lines = ["block 2004-03-15 09:40:00"]
    for i in range(500):
        lines.append('pest %d "Bench.Pest%d" "Adware"' % (100 + i, i))
    for i in range(args.locations):
        pest_id = 100 + i % 500
        if i % 100 == 0:
            lines.append('key %d "hkey_current_user \\Software\\OlvexBench\\Present%d" '
                         'value "Marker" data "bench pest"' % (pest_id, i))
            continue
        kind = i % 4
        if kind == 0:
            lines.append('key %d "hkey_current_user \\Software\\BenchVendor%d\\Toolbar"' % (pest_id, i))
        elif kind == 1:
            lines.append('key %d "hkey_local_machine \\Software\\BenchVendor%d" value "Version"'
                         % (pest_id, i))
        elif kind == 2:
            lines.append('key %d "hkey_current_user \\Software\\Microsoft\\Windows\\CurrentVersion'
                         '\\Run" value "BenchRun%d"' % (pest_id, i))
        else:
            lines.append('key %d "hkey_classes_root \\CLSID\\{%08X-0000-4000-8000-%012X}"'
                         % (pest_id, i, rng.getrandbits(48)))
    for i in range(args.signatures):
        md5 = " md5 %032x" % rng.getrandbits(128) if i % 2 else ""
        lines.append("signature %d crc %08x%s" % (100 + i % 500, rng.getrandbits(32), md5))
    for i in range(args.memory):
        lines.append("memory %d %08x" % (100 + i % 500, rng.getrandbits(32)))
    with open(args.out, "w") as f:
        f.write("\n".join(lines) + "\n")
    print("%d registry locations, %d file signatures, %d memory signatures"
          % (args.locations, args.signatures, args.memory))


if __name__ == "__main__":
    main()
