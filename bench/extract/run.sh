#!/usr/bin/env bash
# Extraction benchmarks of the stub under Wine (not part of CTest or CI):
#   1. throughput on two payloads of about 100 MB (mixed kinds; real shared
#      libraries of this machine) against raw zlib inflate (native; under
#      Wine with Debian's prebuilt mingw zlib and with the zlib the stub is
#      built with) and against NSIS installers of the same payload (zlib,
#      per file and solid);
#   2. the extraction loop timed inside one process (loopbench.exe): piece
#      sizes, pumping, checksum pass against a plain read;
#   3. peak memory while extracting one 1 GiB member of zeros.
# Usage: bench/extract/run.sh     (REPS=11 LOOP_REPS=7 MEM_REPS=3 by default)
# Builds what it needs, installs only nsis, zlib1g-dev and Debian's mingw zlib
# (the comparison) when missing, works in build/bench-extract with its own
# Wine world in build/bench-wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
here=bench/extract
work=$root/build/bench-extract
state=$root/build/bench-wine
reps=${REPS:-11}
loop_reps=${LOOP_REPS:-7}
mem_reps=${MEM_REPS:-3}
date="2026-01-01 12:00:00"  # fixed member dates: the same package bytes every run

need=()
command -v makensis >/dev/null && [ -e /usr/share/nsis/Stubs/zlib-amd64-unicode ] || need+=(nsis)
[ -f /usr/include/zlib.h ] || need+=(zlib1g-dev)
[ -f /usr/x86_64-w64-mingw32/lib/libz.a ] || need+=(libz-mingw-w64-dev)
if [ ${#need[@]} -gt 0 ]; then
  echo "== apt-get install ${need[*]}"
  timeout 600 apt-get update -qq
  DEBIAN_FRONTEND=noninteractive timeout 600 apt-get install -y -qq "${need[@]}" >/dev/null
fi

echo "== build"
mkdir -p "$(dirname "$work")"
{ timeout 1800 bash scripts/build host win64 && cmake --build build/win64 --target loopbench; } >"$work.build.log" 2>&1 ||
  { tail -30 "$work.build.log"; exit 1; }
stub=build/win64/src/stub.exe
setupfx=build/win64/tests/fixtures/setupfx/setupfx.exe
kpack=build/host/tools/kpack
zsrc=$(bash scripts/zlib-source build/zlib-source)

echo "== packages"
rm -rf "$work"
mkdir -p "$work/mixed" "$work/libs" "$work/tiny" "$work/big1g"
python3 $here/make_payload.py mixed "$work/mixed"
echo "libs payload:"
python3 $here/make_payload.py libs "$work/libs" | tee "$work/libs.txt"
head -c 1024 "$work/mixed/text.txt" >"$work/tiny/tiny.txt"
truncate -s 1G "$work/big1g/big.bin"
gcc -O2 -o "$work/rawinflate" $here/rawinflate.c -lz
# The same loop with mingw: Debian's prebuilt static zlib, and the zlib the stub links.
x86_64-w64-mingw32-gcc -O2 -o "$work/rawinflate-deb.exe" $here/rawinflate.c -static -lz
x86_64-w64-mingw32-gcc -O2 -I"$zsrc" -o "$work/rawinflate-src.exe" $here/rawinflate.c build/win64/libkovrex_zlib.a -static

# Level 9: the level NSIS uses for zlib, so both inflate alike-made streams.
pack() { timeout 600 "$kpack" --stub "$stub" --date "$date" --level 9 "$@" >/dev/null; }
for p in mixed libs tiny; do
  files=()
  for f in "$work/$p"/*; do files+=(--file "$f"); done
  pack --out "$work/stub-$p.exe" "${files[@]}"
  timeout 600 makensis -V2 -DPAYLOAD="$work/$p" -DOUT="$work/nsis-$p.exe" $here/peer.nsi
  timeout 600 makensis -V2 -DSOLID -DPAYLOAD="$work/$p" -DOUT="$work/nsissolid-$p.exe" $here/peer.nsi
  if [ $p != tiny ]; then
    kept="Z:${work//\//\\}\\kept"
    pack --out "$work/verify-$p.exe" "${files[@]}" --file "$setupfx" --run "setupfx.exe*/keep=$kept"
  fi
done
pack --out "$work/stub-1g.exe" --file "$work/big1g/big.bin" --file "$setupfx" --run "setupfx.exe"
rm -f "$work/big1g/big.bin"

echo "== wine"
timeout 120 bash scripts/wine-env start "$state"
trap 'bash scripts/wine-env stop "$state"' EXIT
cp "$state/env" "$work/wine.env"
# shellcheck disable=SC1091
wpath() { (. "$work/wine.env" && WINEDEBUG=-all /usr/lib/wine/wine64 winepath -w "$1" 2>/dev/null | tr -d '\r'); }

{
  echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'); load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "machine: $(nproc) CPUs, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), $(free -g | awk '/Mem:/{print $2}') GiB RAM"
  echo "wine: $(/usr/lib/wine/wine64 --version), makensis $(makensis -VERSION), zlib source $(cat "$zsrc/.version"), commit $(git rev-parse --short HEAD)"
  echo
  echo "== throughput"
  timeout 3000 python3 $here/harness.py throughput "$work" "$reps"
  echo
  echo "== the extraction loop in one process (loopbench.exe)"
  for p in mixed libs; do
    mkdir -p "$work/loop-out"
    timeout 1800 env $(sed -n 's/^export //p' "$work/wine.env" | tr -d '"') WINEDEBUG=-all \
      WINEDLLOVERRIDES="mscoree,mshtml=" /usr/lib/wine/wine64 build/win64/bench/loopbench.exe \
      "$(wpath "$work/stub-$p.exe")" "$(wpath "$work/loop-out")" "$loop_reps" | tr -d '\r'
    rm -rf "$work/loop-out"
    echo
  done
  echo "== memory"
  timeout 900 python3 $here/harness.py memory "$work" "$mem_reps"
  echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
} 2>&1 | tee "$work/results.txt"
