#!/usr/bin/env bash
# Two copies of one package, with one file stamp, run at the same time: the
# extraction folder's name comes from the stamp's time of day alone, yet each
# setup must see its own files, and both folders must go afterwards.
. "$(dirname "$0")/lib.sh"
parse_args "$@"
# shellcheck disable=SC1091
. "$STATE/env"
cp "$STUB" stub.exe
cp "$SETUPFX" Setup.exe
printf 'member one\r\n' >a.txt
record() { grep -a "^$2=" "$1" 2>/dev/null | tail -n 1 | cut -d= -f2- | tr -d '\r'; }
extraction_folders | while read -r f; do rm -rf "$f"; done

# Each setup stays long enough for the other stub to extract meanwhile.
wine_run "$KPACK" --stub stub.exe --out one.exe --file a.txt --file Setup.exe --run "Setup.exe*/stay=4000" >/dev/null
cp -p one.exe two.exe
touch -r one.exe two.exe
check "the two copies have one stamp" test "$(stat -c %Y one.exe)" = "$(stat -c %Y two.exe)"

pids=()
for n in one two; do
  (KSETUP_RECORD="$(wine_run winepath -w "$work/$n.txt" | tr -d '\r')" \
     timeout 60 "$root/scripts/wine-run" --state "$STATE" "$n.exe" /hide >/dev/null 2>&1) &
  pids+=($!)
done
rcs=()
for p in "${pids[@]}"; do rc=0; wait "$p" || rc=$?; rcs+=("$rc"); done
check "both stubs ended by themselves (got ${rcs[*]})" test "${rcs[*]}" = "0 0"
f1=$(record one.txt folder)
f2=$(record two.txt folder)
echo "   folders: $f1 and $f2"
check "both setups ran" test -n "$f1" -a -n "$f2"
check "each in a folder of its own" test "$f1" != "$f2"
for n in one two; do
  check "$n: its setup saw both members" \
    bash -c "grep -aq '^file=a.txt|12|' $n.txt && grep -aq '^file=Setup.exe|' $n.txt"
  check "$n: its files were still there at its end" test "$(record $n.txt filesatend)" = 2
  check "$n: its setup acknowledged" test "$(record $n.txt result)" = acknowledged
done
check "both folders removed" test -z "$(extraction_folders)"
finish
