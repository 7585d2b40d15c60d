#!/usr/bin/env python3
"""Writes the benchmark payload: 100 MiB in members of different sizes and kinds.

Deterministic (fixed seed), so every run and every machine packs the same bytes.
  big.bin      56 MiB  1 MiB blocks in turn: random, text, zeros, text
  text.txt     20 MiB  text-like lines of pseudo-words
  random.bin   12 MiB  random bytes (incompressible)
  zeros.bin     8 MiB  zeros
  small-0N.dat  8 x 512 KiB text-like
Usage: make_payload.py OUT_DIR
"""
import os
import random
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


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
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


if __name__ == "__main__":
    main()
