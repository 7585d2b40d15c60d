#!/usr/bin/env python3
"""Writes a benchmark payload into OUT_DIR.

mixed: 100 MiB in members of different sizes and kinds. Deterministic (fixed
seed), so every run and every machine packs the same bytes.
  big.bin      56 MiB  1 MiB blocks in turn: random, text, zeros, text
  text.txt     20 MiB  text-like lines of pseudo-words
  random.bin   12 MiB  random bytes (incompressible)
  zeros.bin     8 MiB  zeros
  small-0N.dat  8 x 512 KiB text-like
libs: about 100 MB of real programs: copies of the ten largest shared
libraries of this machine of at most 24 MiB (one of any identical copies),
what a setup mostly carries. Prints the files it took.
Usage: make_payload.py mixed|libs OUT_DIR
"""
import hashlib
import os
import random
import shutil
import sys

MIB = 1 << 20


class Maker:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        letters = "etaoinshrdlcumwfgypbvkjxqz"
        weights = [13, 9, 8, 8, 7, 7, 6, 6, 6, 4, 4, 3, 3, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1]
        self.words = ["".join(self.rng.choices(letters, weights, k=self.rng.randint(2, 10))) for _ in range(4000)]

    def text(self, n):
        out = bytearray()
        while len(out) < n:
            line = " ".join(self.rng.choices(self.words, k=self.rng.randint(6, 14)))
            out += line.encode() + b".\n"
        return bytes(out[:n])

    def random(self, n):
        return self.rng.randbytes(n)


def mixed(out):
    m = Maker(20261210)
    with open(os.path.join(out, "big.bin"), "wb") as f:
        for i in range(56):
            kind = i % 4
            f.write(m.random(MIB) if kind == 0 else bytes(MIB) if kind == 2 else m.text(MIB))
    with open(os.path.join(out, "text.txt"), "wb") as f:
        f.write(m.text(20 * MIB))
    with open(os.path.join(out, "random.bin"), "wb") as f:
        f.write(m.random(12 * MIB))
    with open(os.path.join(out, "zeros.bin"), "wb") as f:
        f.write(bytes(8 * MIB))
    for i in range(8):
        with open(os.path.join(out, "small-%02d.dat" % i), "wb") as f:
            f.write(m.text(MIB // 2))


LIB_DIR = "/usr/lib/x86_64-linux-gnu"


def libs(out):
    found = []
    for top, dirs, names in os.walk(LIB_DIR):
        dirs.sort()
        for n in sorted(names):
            p = os.path.join(top, n)
            if ".so" in n and os.path.isfile(p) and not os.path.islink(p):
                size = os.path.getsize(p)
                if size <= 24 * MIB:
                    found.append((size, p))
    found.sort(key=lambda sp: (-sp[0], sp[1]))
    taken, seen = [], set()
    for size, p in found:
        with open(p, "rb") as f:
            key = (size, hashlib.sha256(f.read()).hexdigest())
        if key in seen or any(os.path.basename(p) == os.path.basename(q) for _, q in taken):
            continue
        seen.add(key)
        taken.append((size, p))
        if len(taken) == 10:
            break
    if len(taken) < 10:
        sys.exit("make_payload: fewer than ten shared libraries in %s" % LIB_DIR)
    for size, p in taken:
        shutil.copyfile(p, os.path.join(out, os.path.basename(p)))
        print("  %10d  %s" % (size, p))
    print("  %10d  bytes in all" % sum(s for s, _ in taken))


def main():
    kind, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    {"mixed": mixed, "libs": libs}[kind](out)


if __name__ == "__main__":
    main()
