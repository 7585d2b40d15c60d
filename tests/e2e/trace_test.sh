#!/usr/bin/env bash
# The stub's trace lines reach a viewer in another process: start and end
# lines with the raw command line, the empty line, exit code 0.
. "$(dirname "$0")/lib.sh"
parse_args "$@"
check "PE header at offset 256" test "$(od -A n -t c -j 256 -N 2 "$STUB" | tr -d ' ')" = "PE"
# A package with nothing to run: the stub extracts, starts nothing, says nothing.
cp "$STUB" bare.exe
echo hello >readme.txt
wine_run "$KPACK" --stub bare.exe --out stub.exe --file readme.txt >/dev/null

start_viewer pieces.txt --lines 4 --seconds 30
rc=0
wine_run stub.exe /X "quoted arg" || rc=$?
check "stub exit code 0 (got $rc)" test "$rc" -eq 0
wait_viewer || true
cat pieces.txt

# Piece lines are LENGTH:TEXT; the stub's pid starts every line but the empty one.
mapfile -t pieces <pieces.txt
check "four pieces" test "${#pieces[@]}" -eq 4
start=${pieces[0]#*:}
pid=${start%% *}
start_re='^[0-9]+ ==== STUB START ====>.*stub\.exe.* /X "quoted arg"<\\n$'
check "start line framed by > and <, raw command line with quotes" matches "$start" "$start_re"
check "a plain stub is no auto-update program" test "${pieces[1]#*:}" = "$pid ThisIs_AutoUpdateProg=FALSE\\n"
check "end line repeats the command line" test "${pieces[2]#*:}" = "${start/STUB START/STUB END}"
check "pid is decimal without padding" matches "$pid" '^[1-9][0-9]*$'
check "empty line is a lone line-feed" test "${pieces[3]}" = '1:\n'

# Without a viewer the stub runs the same and ends normally.
rc=0
wine_run stub.exe || rc=$?
check "no viewer: exit code 0 (got $rc)" test "$rc" -eq 0
finish
