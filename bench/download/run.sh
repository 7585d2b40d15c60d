#!/usr/bin/env bash
# Download client benchmarks under Wine against nginx on 127.0.0.1 (not part
# of CTest or CI):
#   1. the achieved rate against the cap of one 10240-byte chunk per 100 ms
#      wait (102400 bytes per second), on a 1 MiB file, REPS times;
#   2. the bytes fetched again when a download resumes: a transfer stopped
#      after 30 chunks, then continued, with nginx's count of the body bytes
#      it sent for each request.
# Usage: bench/download/run.sh     (REPS=3 by default; about a minute)
# Works in build/bench-download with its own Wine world in build/bench-wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
work=$root/build/bench-download
state=$root/build/bench-wine
reps=${REPS:-3}
size=1048576
cap=102400

echo "== build"
timeout 1800 bash scripts/build win64 >"$work.build.log" 2>&1 || { tail -30 "$work.build.log"; exit 1; }
cmake --build build/win64 --target download_bench >>"$work.build.log" 2>&1
bench=$root/build/win64/bench/download_bench.exe

rm -rf "$work"
mkdir -p "$work/www" "$work/dest"
head -c $size /dev/urandom >"$work/www/file.bin"
# shellcheck source=../../tests/servers/servers.sh
. tests/servers/servers.sh
servers_init "$work/servers"
cleanup() { stop_servers; scripts/wine-env stop "$state" >/dev/null 2>&1 || true; }
trap cleanup EXIT
scripts/wine-env start "$state" >/dev/null
start_nginx "$work/www"
url=http://127.0.0.1:$NGINX_PORT/file.bin
run() { scripts/wine-run --state "$state" "$@" | tr -d '\r'; }
dest=$(run winepath -w "$work/dest/file.bin")
field() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2"; }
sent() { awk -v n="$1" 'NR == n { print $4 }' "$NGINX_LOG"; }  # body bytes of request n

echo "== 1. rate on a $size-byte file (cap: $cap bytes/s)"
for i in $(seq "$reps"); do
  rm -f "$work"/dest/*
  out=$(run "$bench" "$url" "$dest")
  ms=$(field ms "$out")
  python3 -c "import sys; s,ms,cap=$size,$ms,$cap; r=s/(ms/1000); print(f'   run $i: {ms:8.1f} ms  {r:9.0f} bytes/s  {r/cap:.3f} of the cap')"
  [ "$(field complete "$out")" = 1 ] || echo "   (run $i did not complete: $out)"
done

echo "== 2. bytes fetched again on resume"
rm -f "$work"/dest/*
first=$(( $(wc -l <"$NGINX_LOG") + 1 ))
out1=$(run "$bench" "$url" "$dest" --abort-after 30)
part=$(ls "$work"/dest/file.bin.* 2>/dev/null | head -n 1)
held=$(stat -c %s "$part")
out2=$(run "$bench" "$url" "$dest")
echo "   stopped after 30 chunks: part file $held bytes (${out1##*error=})"
echo "   first request:  nginx sent $(sent $first) body bytes ($(( $(sent $first) - held )) in flight beyond what was written)"
echo "   resume request: $(awk -v n=$((first + 1)) 'NR == n' "$NGINX_LOG")"
refetched=$(( $(sent $((first + 1))) - (size - held) ))
echo "   resumed at chunk $(field position "$out2") of $(field high "$out2"); complete=$(field complete "$out2")"
cmp -s "$work/dest/file.bin" "$work/www/file.bin" && echo "   result byte-identical" || echo "   result DIFFERS"
echo "   bytes fetched again that were already held: $refetched"
