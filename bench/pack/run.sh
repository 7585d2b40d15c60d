#!/usr/bin/env bash
# Packing benchmark (not part of CTest or CI): kpack against makensis on the
# same 100 MiB payload, as ratios measured round by round in one run, and
# zlib against libdeflate inside kpack (the figures that chose libdeflate).
# Usage: bench/pack/run.sh          (REPS=5 by default)
# Installs nsis and libdeflate-dev when missing, builds a Release kpack
# without sanitizers in build/bench-pack, the shipped stub with
# scripts/build win32, and works in build/bench-pack/work.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
reps=${REPS:-5}
tree=$root/build/bench-pack
work=$tree/work

need=()
command -v makensis >/dev/null && [ -e /usr/share/nsis/Stubs/zlib-amd64-unicode ] || need+=(nsis)
[ -f /usr/include/libdeflate.h ] || need+=(libdeflate-dev)
if [ ${#need[@]} -gt 0 ]; then
  echo "== apt-get install ${need[*]}"
  timeout 600 apt-get update -qq
  DEBIAN_FRONTEND=noninteractive timeout 600 apt-get install -y -qq "${need[@]}" >/dev/null
fi

echo "== build"
mkdir -p "$tree"
[ -f "$tree/CMakeCache.txt" ] || cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOVREX_SANITIZE=OFF \
  -DBUILD_TESTING=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >"$tree/configure.log"
cmake --build "$tree" --target kpack >"$tree/build.log" 2>&1 || { tail -30 "$tree/build.log"; exit 1; }
timeout 1800 bash scripts/build win32 >"$tree/build-win32.log" 2>&1 || { tail -30 "$tree/build-win32.log"; exit 1; }

echo "== payload"
rm -rf "$work"
mkdir -p "$work/payload"
python3 bench/extract/make_payload.py "$work/payload"

{
  echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD)"
  echo "machine: $(nproc) CPUs, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), load before: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "makensis $(makensis -VERSION), libdeflate $(dpkg-query -W -f='${Version}' libdeflate0), zlib $(dpkg-query -W -f='${Version}' zlib1g)"
  echo
  timeout 3600 python3 bench/pack/harness.py "$tree/tools/kpack" build/win32/src/stub.exe "$work" "$reps"
} 2>&1 | tee "$work/results.txt"
