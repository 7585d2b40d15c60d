#!/usr/bin/env python3
"""Writes the stub's linker script: mingw ld's own default with two sections fewer.

Every section of a PE file is padded to the 512-byte file alignment, so each
small one costs ~0.5 KB. The C runtime's initializer tables (.CRT, 24 bytes)
move to the end of .data, which is writable as they need; .eh_frame (~0.8 KB
of unwind data from the runtime's start-up objects) is dropped: nothing in
the stub unwinds (no exceptions), and the start-up code registers the frame
data only through libgcc's DLL, which takes a null begin as "nothing".

Usage: link-script.py LINKER OUT
Prints "ok" when OUT was written; "default: <why>" (exit 0) when the
linker's default script has an unexpected shape, and the default is used.
"""
import re
import subprocess
import sys

BLOCK = r"\n  {name} BLOCK\(__section_alignment__\) :\n  \{{\n(?P<body>.*?)\n  \}}\n"


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: link-script.py LINKER OUT")
    linker, out = sys.argv[1:]
    text = subprocess.run([linker, "--verbose"], check=True, capture_output=True, text=True).stdout
    parts = re.split(r"^={20,}\n", text, flags=re.M)
    if len(parts) != 3:
        print("default: no script in the linker's --verbose output")
        return
    script = parts[1]
    crt = re.search(BLOCK.format(name=re.escape(".CRT")), script, re.S)
    eh = re.search(BLOCK.format(name=re.escape(".eh_frame")), script, re.S)
    data_end = "    *(SORT(.data$*))\n"
    discard = "     *(.gnu.lto_*)\n"
    if not crt or not eh or script.count(data_end) != 1 or script.count(discard) != 1:
        print("default: the linker's script has an unexpected shape")
        return
    script = script.replace(crt.group(0), "\n").replace(eh.group(0), "\n")
    script = script.replace(data_end, data_end + crt.group("body") + "\n")
    script = script.replace(discard, discard + "     *(.eh_frame*)\n")
    with open(out, "w") as f:
        f.write(script)
    print("ok")


if __name__ == "__main__":
    main()
