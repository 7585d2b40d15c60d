#!/usr/bin/env bash
# Extraction benchmarks of the stub under Wine (not part of CTest or CI):
#   1. throughput on a 100 MiB payload against raw zlib inflate (native, into
#      memory) and against an NSIS installer of the same payload;
#   2. peak memory while extracting one 1 GiB member of zeros.
# Usage: bench/extract/run.sh            (REPS=7 MEM_REPS=3 by default)
# Builds what it needs, installs only nsis (and zlib1g-dev) when missing,
# works in build/bench-extract with its own Wine world in build/bench-wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
here=bench/extract
work=$root/build/bench-extract
state=$root/build/bench-wine
reps=${REPS:-7}
mem_reps=${MEM_REPS:-3}
date="2026-01-01 12:00:00"  # fixed member dates: the same package bytes every run

need=()
command -v makensis >/dev/null && [ -e /usr/share/nsis/Stubs/zlib-amd64-unicode ] || need+=(nsis)
[ -f /usr/include/zlib.h ] || need+=(zlib1g-dev)
if [ ${#need[@]} -gt 0 ]; then
  echo "== apt-get install ${need[*]}"
  timeout 600 apt-get update -qq
  DEBIAN_FRONTEND=noninteractive timeout 600 apt-get install -y -qq "${need[@]}" >/dev/null
fi

echo "== build"
timeout 1800 bash scripts/build host win64 >"$work.build.log" 2>&1 || { tail -30 "$work.build.log"; exit 1; }
stub=build/win64/src/stub.exe
setupfx=build/win64/tests/fixtures/setupfx/setupfx.exe
kpack=build/host/tools/kpack

echo "== packages"
rm -rf "$work"
mkdir -p "$work/payload" "$work/tiny-payload" "$work/big1g"
python3 $here/make_payload.py "$work/payload"
head -c 1024 "$work/payload/text.txt" >"$work/tiny-payload/tiny.txt"
truncate -s 1G "$work/big1g/big.bin"
gcc -O2 -o "$work/rawinflate" $here/rawinflate.c -lz
x86_64-w64-mingw32-gcc -O2 -o "$work/rawinflate.exe" $here/rawinflate.c -static -lz

files=()
for f in "$work"/payload/*; do files+=(--file "$f"); done
# Level 9: the level NSIS uses for zlib, so both inflate alike-made streams.
pack() { timeout 600 "$kpack" --stub "$stub" --date "$date" --level 9 "$@"; }
pack --out "$work/stub100.exe" "${files[@]}"
pack --out "$work/stubtiny.exe" --file "$work/tiny-payload/tiny.txt"
kept="Z:${work//\//\\}\\kept"
pack --out "$work/verify.exe" "${files[@]}" --file "$setupfx" --run "setupfx.exe*/keep=$kept"
pack --out "$work/stub1g.exe" --file "$work/big1g/big.bin" --file "$setupfx" --run "setupfx.exe"
rm -f "$work/big1g/big.bin"
for p in 100:payload tiny:tiny-payload; do
  timeout 600 makensis -V2 -DPAYLOAD="$work/${p#*:}" -DOUT="$work/nsis${p%%:*}.exe" $here/peer.nsi
done

echo "== wine"
timeout 120 bash scripts/wine-env start "$state"
trap 'bash scripts/wine-env stop "$state"' EXIT
cp "$state/env" "$work/wine.env"

{
  echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "machine: $(nproc) CPUs, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), $(free -g | awk '/Mem:/{print $2}') GiB RAM"
  echo "wine: $(/usr/lib/wine/wine64 --version), makensis $(makensis -VERSION), commit $(git rev-parse --short HEAD)"
  echo
  echo "== throughput"
  timeout 900 python3 $here/harness.py throughput "$work" "$reps"
  echo
  echo "== memory"
  timeout 900 python3 $here/harness.py memory "$work" "$mem_reps"
} 2>&1 | tee "$work/results.txt"
