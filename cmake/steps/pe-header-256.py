#!/usr/bin/env python3
"""Moves a PE file's NT headers and section table to file offset 256.

Packages keep their logical end in the four bytes at offset 252, just before
"PE", and readers look for "PE" at 256; mingw's linker puts the headers at
128. There is room: the headers end well before SizeOfHeaders (>= 512).
Usage: pe-header-256.py FILE   (idempotent)
"""
import os
import struct
import sys

TARGET = 256


def fail(msg):
    sys.exit(f"pe-header-256: {msg}")


def main():
    if len(sys.argv) != 2:
        fail("usage: pe-header-256.py FILE")
    path = sys.argv[1]
    data = bytearray(open(path, "rb").read())
    if data[:2] != b"MZ":
        fail(f"{path}: not an MZ executable")
    lfanew = struct.unpack_from("<I", data, 0x3C)[0]
    if data[lfanew:lfanew + 4] != b"PE\0\0":
        fail(f"{path}: no PE signature at e_lfanew {lfanew}")
    if lfanew == TARGET:
        return
    if lfanew > TARGET:
        fail(f"{path}: headers start at {lfanew}, after {TARGET}")
    sections, = struct.unpack_from("<H", data, lfanew + 6)
    opt_size, = struct.unpack_from("<H", data, lfanew + 20)
    length = 4 + 20 + opt_size + 40 * sections
    size_of_headers, = struct.unpack_from("<I", data, lfanew + 24 + 60)
    if TARGET + length > size_of_headers:
        fail(f"{path}: {length} header bytes do not fit between {TARGET} and {size_of_headers}")
    headers = bytes(data[lfanew:lfanew + length])
    data[lfanew:TARGET + length] = bytes(TARGET + length - lfanew)
    data[TARGET:TARGET + length] = headers
    struct.pack_into("<I", data, 0x3C, TARGET)
    tmp = path + ".pe256"
    with open(tmp, "wb") as f:
        f.write(data)
    os.chmod(tmp, os.stat(path).st_mode)
    os.replace(tmp, path)


if __name__ == "__main__":
    main()
