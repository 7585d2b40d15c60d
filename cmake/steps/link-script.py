#!/usr/bin/env python3
"""Writes the stub's linker script: mingw ld's own default with three sections fewer
and no filler in the import section.

Every section of a PE file is padded to the 512-byte file alignment, so each
small one costs ~0.5 KB. The initialized writable data (.data, a few dozen
bytes in the stub) and the C runtime's initializer tables (.CRT) go to the
end of the import section, which is writable as they need (the loader fills
its address table); .eh_frame (~0.8 KB of unwind data from the runtime's
objects) is dropped: nothing in the stub unwinds (no exceptions). So are the
four bytes each imported function's object in an import library adds to
.idata$7 (lib<dll>s<nnnnn>.o: an address of the library's head object, only
there to pull that object into the link; the loader never reads it; ~0.5 KB):
the library's own .idata$7, the DLL's name (lib<dll>t.o), stays.

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
    data = re.search(BLOCK.format(name=re.escape(".data")), script, re.S)
    data_end = "    *(SORT(.data$*))\n"
    imports_end = "    KEEP (SORT(*)(.idata$7))\n"
    discard = "     *(.gnu.lto_*)\n"
    if (not crt or not eh or not data or data.group("body").count(data_end) != 1
            or script.count(imports_end) != 1 or script.count(discard) != 1):
        print("default: the linker's script has an unexpected shape")
        return
    body = data.group("body").replace(data_end, data_end + crt.group("body") + "\n")
    for block in (crt, eh, data):
        script = script.replace(block.group(0), "\n")
    script = script.replace(imports_end, imports_end + body + "\n")
    script = script.replace(discard, discard + "     *(.eh_frame*)\n     *s[0-9][0-9][0-9][0-9][0-9].o(.idata$7)\n")
    with open(out, "w") as f:
        f.write(script)
    print("ok")


if __name__ == "__main__":
    main()
