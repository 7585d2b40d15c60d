#!/usr/bin/env bash
# DLL planting: marker DLLs under the names of every library the stub loads at
# run time lie beside it, and Wine is told to prefer such native copies. The
# stub must never load one (each leaves NAME.dll.loaded when loaded), and
# still run its setup and show its messages. A probe shows that the same
# markers do load by name without the stub's start-up restriction.
. "$(dirname "$0")/lib.sh"
parse_args "$@"
# shellcheck disable=SC1091
. "$STATE/env"
names=(psapi riched32 riched20 usp10 shfolder wininet comctl32 shell32)
export KOVREX_DLLOVERRIDES="$(IFS=,; echo "${names[*]}")=n,b"
cp "$STUB" stub.exe
cp "$SETUPFX" Setup.exe
cp "$PROBE" dllprobe.exe
for n in "${names[@]}"; do cp "$MARKERS/$n.dll" .; done
export KSETUP_RECORD="$(wine_run winepath -w "$work/record.txt" | tr -d '\r')"
loaded() { compgen -G "*.dll.loaded" | tr '\n' ' ' || true; }
record() { grep -a "^$1=" record.txt 2>/dev/null | tail -n 1 | cut -d= -f2- | tr -d '\r'; }
dlls=("${names[@]/%/.dll}")

echo "== the probe without the restriction: every marker loads by name"
out=$(wine_run ./dllprobe.exe plain "${dlls[@]}" | tr -d '\r')
echo "$out" | sed 's/^/   /'
for n in "${names[@]}"; do
  check "$n: loaded by name without the restriction" test -e "$n.dll.loaded"
done
rm -f ./*.dll.loaded

echo "== the probe after the stub's start-up call: none loads"
out=$(wine_run ./dllprobe.exe restricted "${dlls[@]}" | tr -d '\r')
echo "$out" | sed 's/^/   /'
check "the search is limited to the system folder" grep -q '^restricted=1$' <<<"$out"
check "no marker loaded (found: $(loaded))" test -z "$(loaded)"
for n in "${names[@]}"; do
  check "$n: the system's copy, by name and through the binding" grep -q "^$n.dll byname=system system=system$" <<<"$out"
done

echo "== the stub runs its setup beside the markers"
wine_run "$KPACK" --stub stub.exe --out MySetup.exe --file Setup.exe --run "Setup.exe*/stay=1500" >/dev/null
rc=0
timeout 60 "$root/scripts/wine-run" --state "$STATE" MySetup.exe /hide >/dev/null 2>&1 || rc=$?
check "stub ended by itself (got $rc)" test "$rc" -eq 0
check "the setup ran and acknowledged" test "$(record result)" = acknowledged
check "no marker loaded (found: $(loaded))" test -z "$(loaded)"

echo "== and shows its message box (the rich-edit libraries) beside them"
wine_run "$KPACK" --stub stub.exe --out BadSum.exe --file Setup.exe --run "Setup.exe*" --corrupt=checksum >/dev/null
("$root/scripts/wine-run" --state "$STATE" BadSum.exe >/dev/null 2>&1) &
stub_pid=$!
shown=$(wine_run "$BOXDRIVER" --timeout 20000 show | tr -d '\r')
check "Bad CRC! shown" grep -q 'Bad CRC!' <<<"$shown"
wine_run "$BOXDRIVER" --timeout 20000 enter >/dev/null
rc=0
wait $stub_pid || rc=$?
check "stub ended (got $rc)" test "$rc" -eq 0
check "no marker loaded (found: $(loaded))" test -z "$(loaded)"
finish
