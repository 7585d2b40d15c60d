#!/usr/bin/env bash
# The real stub cut short at a handful of places in its package (as a broken
# download leaves it): it says "Bad CRC!", starts nothing, leaves no folder
# and ends normally. (Every offset is swept in the Win tests, through the same
# extraction code.)
. "$(dirname "$0")/lib.sh"
parse_args "$@"
# shellcheck disable=SC1091
. "$STATE/env"
cp "$STUB" stub.exe
cp "$SETUPFX" Setup.exe
printf 'member one\r\n' >a.txt
head -c 3000 /dev/urandom >b.dat
export KSETUP_RECORD="$(wine_run winepath -w "$work/record.txt" | tr -d '\r')"
extraction_folders | while read -r f; do rm -rf "$f"; done

wine_run "$KPACK" --stub stub.exe --out whole.exe --file a.txt --file Setup.exe --file b.dat --run "Setup.exe*" >/dev/null
size=$(stat -c %s whole.exe)
image=$(stat -c %s stub.exe)
setup_size=$(stat -c %s Setup.exe)
# In the header records, in the first member, in the marked member, in the
# last member, in the trailer, one byte short.
for cut in $((image + 6)) $((image + 40)) $((image + 200 + setup_size / 4)) $((size - 300)) $((size - 30)) $((size - 1)); do
  echo "== cut at $cut of $size"
  rm -f record.txt
  head -c "$cut" whole.exe >"cut$cut.exe"
  ("$root/scripts/wine-run" --state "$STATE" "cut$cut.exe" >/dev/null 2>&1) &
  stub_pid=$!
  shown=$(wine_run "$BOXDRIVER" --timeout 20000 show | tr -d '\r')
  check "$cut: Bad CRC! shown" grep -q '^text=ERROR\\r\\n\\r\\nBad CRC!' <<<"$shown"
  wine_run "$BOXDRIVER" --timeout 20000 enter >/dev/null
  rc=0
  wait $stub_pid || rc=$?
  check "$cut: stub ended normally (got $rc)" test "$rc" -eq 0
  check "$cut: nothing started" test ! -e record.txt
  check "$cut: no extraction folder left" test -z "$(extraction_folders)"
done
finish
