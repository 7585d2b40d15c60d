#!/usr/bin/env python3
"""Runs the packing benchmark and prints its tables.

harness.py KPACK STUB WORK REPS

Each round runs, in turn: makensis on bench/extract/peer.nsi (zlib, level 9,
one stream per file), kpack with libdeflate and with zlib at level 9 on all
cores, and both on one core. Wall times; ratios are taken within a round, so
a busy machine slows both sides of a ratio alike. Then one run per level of
each compressor, for the choice between them.
"""
import os
import statistics
import subprocess
import sys
import time

KPACK, STUB, WORK, REPS = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
PAYLOAD = os.path.join(WORK, "payload")
HERE = os.path.dirname(os.path.abspath(__file__))
PEER = os.path.join(HERE, "..", "extract", "peer.nsi")
FILES = sorted(os.listdir(PAYLOAD))
CONTENT = sum(os.path.getsize(os.path.join(PAYLOAD, f)) for f in FILES)


def timed(cmd, out):
    if os.path.exists(out):
        os.remove(out)
    start = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    return seconds, os.path.getsize(out)


def makensis():
    out = os.path.join(WORK, "nsis.exe")
    return timed(["makensis", "-V1", "-DPAYLOAD=" + PAYLOAD, "-DOUT=" + out, PEER], out)


def kpack(compressor, level, threads=None, name="kpack.exe"):
    out = os.path.join(WORK, name)
    cmd = [KPACK, "--quiet", "--stub", STUB, "--out", out, "--date", "2026-01-01 12:00:00",
           "--compressor", compressor, "--level", str(level)]
    if threads:
        cmd += ["--threads", str(threads)]
    for f in FILES:
        cmd += ["--file", os.path.join(PAYLOAD, f)]
    return timed(cmd, out)


def verify(name):
    subprocess.run([KPACK, "verify", os.path.join(WORK, name)], check=True, stdout=subprocess.DEVNULL)


def row(label, values, fmt="%10.3f"):
    print("%-52s" % label + "".join(fmt % v for v in values))


def main():
    runs = {k: [] for k in ("nsis", "ld", "zl", "ld1", "zl1")}
    sizes = {}
    # One warm-up round (page cache, CPU clocks), not counted.
    for counted in [False] + [True] * REPS:
        round_ = {
            "nsis": makensis(),
            "ld": kpack("libdeflate", 9, name="ld.exe"),
            "zl": kpack("zlib", 9, name="zl.exe"),
            "ld1": kpack("libdeflate", 9, 1, name="ld1.exe"),
            "zl1": kpack("zlib", 9, 1, name="zl1.exe"),
        }
        if counted:
            for k, v in round_.items():
                runs[k].append(v[0])
                sizes[k] = v[1]
    for name in ("ld.exe", "zl.exe", "ld1.exe", "zl1.exe"):
        verify(name)

    print("== 100 MiB payload (%d bytes in %d files), %d rounds, level 9" % (CONTENT, len(FILES), REPS))
    print("%-52s%10s%10s" % ("", "min", "median"))
    labels = {"nsis": "makensis, zlib (s)", "ld": "kpack, libdeflate, all cores (s)",
              "zl": "kpack, zlib, all cores (s)", "ld1": "kpack, libdeflate, one core (s)",
              "zl1": "kpack, zlib, one core (s)"}
    for k, label in labels.items():
        row(label, [min(runs[k]), statistics.median(runs[k])])
    print()
    print("%-52s%10s%10s" % ("ratios, round by round (time; above 1: kpack faster)", "min", "median"))
    for k, label in (("ld", "makensis / kpack libdeflate all cores"), ("zl", "makensis / kpack zlib all cores"),
                     ("ld1", "makensis / kpack libdeflate one core"), ("zl1", "makensis / kpack zlib one core"),
                     ("zl", "kpack zlib / kpack libdeflate, all cores")):
        if label.startswith("kpack zlib"):
            ratios = [z / d for z, d in zip(runs["zl"], runs["ld"])]
        else:
            ratios = [n / x for n, x in zip(runs["nsis"], runs[k])]
        row(label, [min(ratios), statistics.median(ratios)])
    print()
    print("%-52s%14s%10s" % ("output", "bytes", "/ nsis"))
    for k, label in (("nsis", "makensis"), ("ld", "kpack libdeflate"), ("zl", "kpack zlib")):
        print("%-52s%14d%10.4f" % (label, sizes[k], sizes[k] / sizes["nsis"]))
    assert sizes["ld"] == sizes["ld1"] and sizes["zl"] == sizes["zl1"], "output depends on the threads"

    print()
    print("== compressor by level (one run each, all cores)")
    print("%-10s%18s%14s%10s%18s%14s%10s" % ("level", "libdeflate bytes", "s", "MB/s", "zlib bytes", "s", "MB/s"))
    for level in (1, 3, 6, 9):
        ls, lb = kpack("libdeflate", level, name="lvl.exe")
        zs, zb = kpack("zlib", level, name="lvl.exe")
        print("%-10d%18d%14.3f%10.1f%18d%14.3f%10.1f" % (level, lb, ls, CONTENT / ls / 1e6, zb, zs, CONTENT / zs / 1e6))
    for level in (12,):
        ls, lb = kpack("libdeflate", level, name="lvl.exe")
        print("%-10d%18d%14.3f%10.1f" % (level, lb, ls, CONTENT / ls / 1e6))


if __name__ == "__main__":
    main()
