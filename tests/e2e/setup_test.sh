#!/usr/bin/env bash
# The setup stub from end to end: packages built with kpack, the real stub
# extracting them under Wine, the setup fixture recording how it was started,
# and the box driver answering the stub's messages.
. "$(dirname "$0")/lib.sh"
parse_args "$@"
# shellcheck disable=SC1091
. "$STATE/env"
cp "$STUB" stub.exe
cp "$SETUPFX" Setup.exe
printf 'member one\r\n' >a.txt
export KSETUP_RECORD="$(wine_run winepath -w "$work/record.txt" | tr -d '\r')"
keep_win="$(wine_run winepath -w "$work/keep" | tr -d '\r')"

# 2020-05-17 10:20:30 as a packed DOS date and time.
dos_date=$(( (((2020 - 1980) << 9 | 5 << 5 | 17) << 16) | (10 << 11 | 20 << 5 | 30 / 2) ))

pack() { wine_run "$KPACK" --stub stub.exe --date "2020-05-17 10:20:30" "$@" >/dev/null; }
record() { grep -a "^$1=" record.txt 2>/dev/null | tail -n 1 | cut -d= -f2- | tr -d '\r'; }
run_stub() {  # run_stub EXE ARGS...: runs it to its end (60 s at most); sets rc
  rc=0
  timeout 60 "$root/scripts/wine-run" --state "$STATE" "$@" >/dev/null 2>&1 || rc=$?
}
box() { wine_run "$BOXDRIVER" --timeout 20000 "$@" | tr -d '\r'; }
reset() {
  rm -f record.txt
  rm -rf keep && mkdir keep
  # Folders left by stubs that other tests stopped would stand in for ours.
  extraction_folders | while read -r f; do rm -rf "$f"; done
}

echo "== a normal package"
reset
pack --out normal.exe --file a.txt --file Setup.exe --run "Setup.exe*/S"
("$root/scripts/wine-run" --state "$STATE" normal.exe /X >/dev/null 2>&1) &
stub_pid=$!
check "wizard window shown for the extraction" \
  wine_run "$WINCTL" shown "$(wine_run winepath -w "$work/normal.exe" | tr -d '\r')" "Setup Installation Wizard"
rc=0
wait $stub_pid || rc=$?
check "stub exit code 0 (got $rc)" test "$rc" -eq 0
cmd=$(record cmdline)
echo "   setup command line: $cmd"
check "setup started as <folder>\\Setup.exe /X /S /TH_ID=_<thread>" \
  matches "$cmd" '^C:\\.*\\SETUP_[0-9]+\\Setup\.exe /X /S /TH_ID=_[0-9]+$'
check "the token on the command line is the one of the atom" test "$(record token)" = "${cmd##*/TH_ID=}"
check "the acknowledgement atom existed while the setup ran" test "$(record atom)" = 1
check "the setup acknowledged" test "$(record result)" = acknowledged
check "started visible (SW_SHOW)" test "$(record show)" = 5
check "wizard window hidden while the setup runs" test "$(record wizard)" = 0
check "a.txt written with its date" grep -aq "^file=a.txt|12|$dos_date" record.txt
check "extraction folder removed afterwards" test -z "$(extraction_folders)"

echo "== arguments handed on byte for byte: quoted values keep their quotes"
reset
pack --out args.exe --file Setup.exe --run "Setup.exe*/S"
args_win="$(wine_run winepath -w "$work/args.exe" | tr -d '\r')"
work_win="$(wine_run winepath -w "$work" | tr -d '\r')"
rc=0
wine_run "$WINCTL" run "\"$args_win\" /DIR=\"C:\\Program Files\\My App\" /N=\"a b\"" "$work_win" || rc=$?
check "stub ended by itself (got $rc)" test "$rc" -eq 0
cmd=$(record cmdline)
echo "   setup command line: $cmd"
check "the last argument keeps its closing quote, the token stays apart" \
  matches "$cmd" '\\Setup\.exe /DIR="C:\\Program Files\\My App" /N="a b" /S /TH_ID=_[0-9]+$'
check "the setup acknowledged (it found its token)" test "$(record result)" = acknowledged

echo "== started by name, as a command prompt starts it: the name is not an argument"
reset
rc=0
wine_run "$WINCTL" run "args.exe /hide" "$work_win" || rc=$?
check "stub ended by itself (got $rc)" test "$rc" -eq 0
cmd=$(record cmdline)
echo "   setup command line: $cmd"
check "only /hide handed on" matches "$cmd" '\\Setup\.exe /hide /S /TH_ID=_[0-9]+$'
check "started hidden" test "$(record show)" = 0

echo "== /hide, with the confirm-temp-drive flag: no question, started hidden"
reset
pack --out hidden.exe --file a.txt --file Setup.exe --run "Setup.exe*" --confirm-temp-drive
run_stub hidden.exe /hide
check "stub ended by itself (got $rc)" test "$rc" -eq 0
check "no doubled blank without arguments" matches "$(record cmdline)" '\\Setup\.exe /hide /TH_ID=_[0-9]+$'
check "started hidden (SW_HIDE)" test "$(record show)" = 0
check "wizard window never shown" test "$(record wizard)" = 0

echo "== the run-hidden field does the same"
reset
pack --out runhidden.exe --file Setup.exe --run "Setup.exe*" --run-hidden --confirm-temp-drive
run_stub runhidden.exe
check "run-hidden: started hidden" test "$(record show)" = 0

echo "== no member marked: members written, nothing started, no message"
reset
pack --out unmarked.exe --file a.txt --file Setup.exe
run_stub unmarked.exe
check "stub ended by itself (got $rc)" test "$rc" -eq 0
check "nothing started" test ! -e record.txt

echo "== bad checksum: members written, nothing started, Bad CRC!"
reset
pack --out badsum.exe --file a.txt --file Setup.exe --run "Setup.exe*" --corrupt=checksum
("$root/scripts/wine-run" --state "$STATE" badsum.exe >/dev/null 2>&1) &
stub_pid=$!
shown=$(box show)
check "Bad CRC! shown with the title line ERROR" grep -q '^text=ERROR\\r\\n\\r\\nBad CRC!' <<<"$shown"
check "caption Error" grep -q '^caption=Error$' <<<"$shown"
folder=$(extraction_folders | head -n 1)
check "members written before the verdict" test -f "$folder/a.txt" -a -f "$folder/Setup.exe"
box enter >/dev/null
wait $stub_pid
check "nothing started" test ! -e record.txt
check "extraction folder removed" test -z "$(extraction_folders)"

echo "== two members marked: the later one runs"
reset
pack --out twomarked.exe --unsafe-names --file "Setup.exe=One.exe*/first" --file "Setup.exe=Two.exe*/second"
run_stub twomarked.exe
check "the later marked member started" matches "$(record cmdline)" '\\Two\.exe /second /TH_ID='
check "only one program started" test "$(grep -c '^cmdline=' record.txt)" = 1

damaged() {  # damaged KIND: a package whose last member is broken
  echo "== a damaged member ($1): nothing started, Bad CRC!, no partial file, folders removed"
  reset
  pack --out "damaged-$1.exe" --file Setup.exe --file a.txt --run "Setup.exe*" --corrupt="$1"
  ("$root/scripts/wine-run" --state "$STATE" "damaged-$1.exe" >/dev/null 2>&1) &
  stub_pid=$!
  shown=$(box show)
  check "$1: Bad CRC! shown" grep -q '^text=ERROR\\r\\n\\r\\nBad CRC!' <<<"$shown"
  folder=$(extraction_folders | head -n 1)
  check "$1: members before the damaged one written" test -f "$folder/Setup.exe"
  check "$1: no partial file of the damaged member" test ! -e "$folder/a.txt"
  box enter >/dev/null
  wait $stub_pid
  check "$1: stub ended normally" test $? -eq 0
  check "$1: nothing started" test ! -e record.txt
  check "$1: extraction folder removed" test -z "$(extraction_folders)"
}
damaged member
damaged member-length

echo "== hostile member names: never written outside the folder, never run"
reset
pack --out hostile.exe --unsafe-names --file a.txt=b.txt --file "Setup.exe=..\\evil.exe*" --file "a.txt=C:\\evil.txt"
("$root/scripts/wine-run" --state "$STATE" hostile.exe >/dev/null 2>&1) &
stub_pid=$!
shown=$(box show)
check "the first failed save is reported" grep -q '^text=ERROR\\r\\n\\r\\n.*\\\\\.\.\\\\evil\.exe\\r\\n\\r\\nUnable to save Extracted File!' <<<"$shown"
folder=$(extraction_folders | head -n 1)
check "the plain member is written" test -f "$folder/b.txt"
box enter >/dev/null
# A second message (there is a second bad name) would keep the stub waiting.
for _ in $(seq 150); do kill -0 $stub_pid 2>/dev/null || break; sleep 0.2; done
check "no second message: the stub ended by itself" bash -c "! kill -0 $stub_pid 2>/dev/null"
wait $stub_pid
check "hostile: stub ended normally" test $? -eq 0
check "nothing started" test ! -e record.txt
check "no evil.exe beside the extraction folder" test -z "$(compgen -G "$WINEPREFIX/drive_c/users/*/[Tt]emp/evil.exe")"
check "no evil.txt at the root of C:" test ! -e "$WINEPREFIX/drive_c/evil.txt"
check "extraction folder removed" test -z "$(extraction_folders)"

echo "== confirm-temp-drive: the question, answered No"
reset
pack --out confirm.exe --file a.txt --file Setup.exe --run "Setup.exe*" --confirm-temp-drive
("$root/scripts/wine-run" --state "$STATE" confirm.exe >/dev/null 2>&1) &
stub_pid=$!
shown=$(box --show alt n)
check "question text" grep -q '^text=CONFIRM\\r\\n\\r\\nKovrex will extract files to your Temp Drive (C:)\\r\\n\\r\\nEstimated space required on your Temp drive is: .  [0-9]*\.[0-9]* MB\\r\\nFree space available on your Temp drive is: .  [0-9]*\.[0-9]* MB\\r\\n\\r\\nContinue with Setup?' <<<"$shown"
wait $stub_pid
check "answering No starts nothing" test ! -e record.txt
check "answering No leaves no folder" test -z "$(extraction_folders)"

echo "== install-auto-update: a valid auto-update program beside the setup"
reset
pack --out withau.exe --file a.txt --file Setup.exe --run "Setup.exe*/keep=$keep_win" --install-auto-update \
  --update-exe MyUpdate.exe --update-url http://127.0.0.1/up/ --token s3cret
run_stub withau.exe
au=keep/MyUpdate.exe
check "MyUpdate.exe placed beside the setup" test -f "$au"
if [ -f "$au" ]; then
  size=$(stat -c %s "$au")
  u32() { od -A n -t u4 -j "$1" -N 4 "$au" | tr -d ' '; }
  u8() { od -A n -t u1 -j "$1" -N 1 "$au" | tr -d ' '; }
  t=$((size - 74))
  check "no logical end in the copy (0 at 252)" test "$(u32 252)" = 0
  check "trailer at its physical end (magic)" test "$(u32 $((t + 12)))" = $((0x4A3B2C1D))
  check "is-auto-update-program flag set" test "$(u8 $((t + 69)))" = 1
  check "trailer length 74" test "$(u32 $((t + 70)))" = 74
  ho=$(u32 $((t + 4)))
  l0=$(u32 "$ho")
  l1=$(u32 $((ho + 4 + l0)))
  check "copy = image + both header records + trailer" test "$t" = $((ho + 8 + l0 + l1))
fi
finish
