#!/usr/bin/env bash
# The entry's roads under Wine: a second instance of a setup stub does
# nothing; an auto-update program is the launcher under its installed name
# (in any letter case; it starts its working copy), the working copy as
# "X_" + that name (which removes its own file when its loop ends), and an
# ordinary window under any other name.
. "$(dirname "$0")/lib.sh"
parse_args "$@"
cp "$STUB" stub.exe
cp "$SETUPFX" Setup.exe
echo data >a.txt
export KSETUP_RECORD="$(wine_run winepath -w "$work/record.txt" | tr -d '\r')"
win() { wine_run winepath -w "$work/$1" | tr -d '\r'; }
winctl() { wine_run "$WINCTL" "$@" | tr -d '\r'; }
title="Setup Installation Wizard"

# Trace pieces of one stub run: START, ThisIs_AutoUpdateProg, END, empty.
traced_run() {  # traced_run EXE: sets rc and the array lines
  start_viewer pieces.txt --lines 4 --seconds 30
  rc=0
  timeout 60 "$root/scripts/wine-run" --state "$STATE" "$1" >/dev/null 2>&1 || rc=$?
  wait_viewer || true
  mapfile -t lines <pieces.txt
}

echo "== a second instance of a setup stub"
# Not "setup.exe": Windows file names ignore letter case, so that would be
# the member Setup.exe itself, which kpack refuses to overwrite.
wine_run "$KPACK" --stub stub.exe --out twice.exe --file a.txt --file Setup.exe --run "Setup.exe*/stay=6000" >/dev/null
("$root/scripts/wine-run" --state "$STATE" twice.exe >/dev/null 2>&1) &
first=$!
check "the first instance's window (class = its full path)" winctl wait "$(win twice.exe)" "$title"
traced_run twice.exe
check "second instance: exit code 0 (got $rc)" test "$rc" -eq 0
check "second instance: start, flag, end and empty line only" test "${#lines[@]}" -eq 4
check "second instance: not an auto-update program" matches "${lines[1]:-}" 'ThisIs_AutoUpdateProg=FALSE\\n$'
check "second instance: end line" matches "${lines[2]:-}" ' ==== STUB END ====>'
check "second instance: empty line" test "${lines[3]:-}" = '1:\n'
wait $first
check "only the first instance started the setup" test "$(grep -c '^cmdline=' record.txt)" = 1

echo "== an auto-update program"
wine_run "$KPACK" --stub stub.exe --out au.exe --file a.txt --auto-update-program --update-exe MyUpdate.exe \
  --update-url http://127.0.0.1/updates/ --update-info myapp >/dev/null

cp au.exe myupdate.EXE
traced_run myupdate.EXE
check "installed name in other letter case: the launcher ends at once (got $rc)" test "$rc" -eq 0
check "launcher: flag TRUE" matches "${lines[1]:-}" 'ThisIs_AutoUpdateProg=TRUE\\n$'
# Its working copy carries the name as started.
check "launcher: its working copy X_myupdate.EXE runs" winctl wait .AutoUpdate.X_myupdate "$title"
winctl close .AutoUpdate.X_myupdate "$title"
winctl close .AutoUpdate.X_myupdate "$title"
winctl gone .AutoUpdate.X_myupdate "$title"
for _ in $(seq 100); do [ -e X_myupdate.EXE ] || break; sleep 0.2; done

cp au.exe X_MyUpdate.exe
("$root/scripts/wine-run" --state "$STATE" X_MyUpdate.exe >/dev/null 2>&1) &
xcopy=$!
check "working copy: window .AutoUpdate.X_MyUpdate, hidden" test "$(winctl wait .AutoUpdate.X_MyUpdate "$title")" = "visible=0"
winctl close .AutoUpdate.X_MyUpdate "$title"
sleep 1
check "working copy: the first close request is swallowed" winctl wait .AutoUpdate.X_MyUpdate "$title"
winctl close .AutoUpdate.X_MyUpdate "$title"
check "working copy: the second one ends the loop" winctl gone .AutoUpdate.X_MyUpdate "$title"
wait $xcopy || true
for _ in $(seq 100); do [ -e X_MyUpdate.exe ] || break; sleep 0.2; done
check "working copy: its file removed itself after the loop" test ! -e X_MyUpdate.exe

cp au.exe Other.exe
("$root/scripts/wine-run" --state "$STATE" Other.exe >/dev/null 2>&1) &
other=$!
check "any other name: ordinary window of class .AutoUpdate.Other" winctl wait .AutoUpdate.Other "$title"
winctl close .AutoUpdate.Other "$title"
sleep 1
winctl close .AutoUpdate.Other "$title"
check "any other name: ends on the second close request" winctl gone .AutoUpdate.Other "$title"
wait $other || true
check "any other name: the file stays" test -e Other.exe
finish
