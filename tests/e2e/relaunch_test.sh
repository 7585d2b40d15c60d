#!/usr/bin/env bash
# The relaunch chain of an auto-update program under Wine: the launcher
# MyUpdate.exe copies itself to X_MyUpdate.exe, starts it hidden (its path
# quoted when it holds a blank, with the overrides and the delay), waits for
# it when it has arguments, and forwards "/STOP=", "/WM_MSG=" and "/TEST=" as
# the control messages 1123, 1124 and 1125. The messages are seen by a
# controller registered through "/WM_MSG=" and by the controller fixture
# standing in for the working copy's window; the trace lines by the viewer.
. "$(dirname "$0")/lib.sh"
parse_args "$@"
title="Setup Installation Wizard"
xclass=.AutoUpdate.X_MyUpdate
win() { wine_run winepath -w "$work/$1" | tr -d '\r'; }
winctl() { wine_run "$WINCTL" "$@" | tr -d '\r'; }
bg() { ("$root/scripts/wine-run" --state "$STATE" "$@" >/dev/null 2>&1) & }
# Waits up to 20 s for a file to exist (-e) or to have content (-s).
wait_file() { for _ in $(seq 100); do [ "${2:--s}" "$1" ] && return 0; sleep 0.2; done; return 1; }

# Whatever happens, no window of this script outlives it.
cleanup() {
  export KWINCTL_TIMEOUT=300
  for cls in "$xclass" "$xclass" KovrexController .KDebug.; do winctl close "$cls" "" >/dev/null || true; done
  wait
  rm -rf "$work"
}
trap cleanup EXIT

# Every trace line of the run goes to trace.txt; mark/new read what came after a mark.
bg "$VIEWER" --out trace.txt --seconds 280 --ready viewer.ready
wait_file viewer.ready -e || { echo "viewer did not start" >&2; exit 1; }
mark() { offset=$(stat -c %s trace.txt); }
new() { tail -c +$((offset + 1)) trace.txt | tr -d '\r'; }
wait_trace() { for _ in $(seq 100); do new | grep -E -- "$1" >/dev/null && return 0; sleep 0.2; done; return 1; }
lines() { new | grep "$@" || true; }
# The texts one process traced since the mark, without its pid.
texts() { lines "^$1 " | cut -d' ' -f2-; }
pid_of() { lines -m1 -E -- "$1" | cut -d' ' -f1; }
launcher_re=' ==== STUB START ====>"?[^<]*\\MyUpdate\.exe'
copy_re=' ==== STUB START ====>"?[^<]*\\X_MyUpdate\.exe'

# Runs the launcher (PROGRAM ARGS...) and reads its pid, command line and texts.
launch() {
  mark
  rc=0
  timeout 60 "$root/scripts/wine-run" --state "$STATE" "$@" >/dev/null 2>&1 || rc=$?
  wait_trace ' ==== STUB END ====>"?[^<]*\\MyUpdate\.exe' || true
  lpid=$(pid_of "$launcher_re")
  lcmd=$(lines "^$lpid ==== STUB START" | sed 's/^[0-9]* ==== STUB START ====>//; s/<$//')
  mapfile -t ltexts < <(texts "$lpid")
}
# The launcher's texts from its third line on (after the start line and the flag), joined by "|".
steps() { local IFS='|'; echo "${ltexts[*]:2}"; }

cp "$STUB" stub.exe
echo data >a.txt
wine_run "$KPACK" --stub stub.exe --out MyUpdate.exe --file a.txt --auto-update-program --update-exe MyUpdate.exe \
  --update-url http://127.0.0.1/updates/ --update-info myapp >/dev/null

echo "== the chain: MyUpdate.exe /TEST=2 while no working copy runs, a controller registered"
bg "$CONTROLLER" --record controller.txt --ready controller.ready --until 43 --seconds 120
wait_file controller.ready
registration=$(cat controller.ready)
launch MyUpdate.exe /TEST=2 "/WM_MSG=$registration"
check "launcher: exit code 0 (got $rc)" test "$rc" -eq 0
check "launcher: its steps and forwarding lines, in order (got $(steps))" test "$(steps)" = \
  "CreateAndRun_X_Exe-1 |CreateAndRun_X_Exe-2|==3== $lcmd|==4==|==5== $lcmd|==6==|==== STUB END ====>$lcmd<"
cpid=$(pid_of "$copy_re")
check "working copy: started as X_MyUpdate.exe without switches" \
  test "$(lines "^$cpid ==== STUB START" | cut -d'>' -f2-)" = "$(win X_MyUpdate.exe)<"
first_forward=$(lines -n "^$lpid ==3==" | cut -d: -f1)
copy_start=$(lines -n "^$cpid ==== STUB START" | cut -d: -f1)
check "launcher: waited for the working copy before forwarding" test "${copy_start:-99}" -lt "${first_forward:-0}"
check "working copy: window $xclass, hidden" test "$(winctl wait $xclass "$title")" = "visible=0"
handle=$(winctl handle $xclass "$title")
message=${registration#*:}
for _ in $(seq 50); do grep -q "w=51" controller.txt 2>/dev/null && break; sleep 0.2; done
check "controller: registered in the working copy (50 with its window, then 51 with 1125)" \
  test "$(head -2 controller.txt | tr '\n' '|')" = "msg=$message w=50 l=$handle|msg=$message w=51 l=1125|"
# The check it was asked for is interactive: the working copy asks first.
box=$(wine_run "$BOXDRIVER" --timeout 30000 --show click "&No" | tr -d '\r')
check "working copy: asks before the check it was asked for (got ${box%%$'\n'*})" \
  grep -q '^text=NEW UPDATE' <<<"$box"
winctl close $xclass "$title"
winctl close $xclass "$title"
check "working copy: ends on the second close request" winctl gone $xclass "$title"
for _ in $(seq 50); do grep -q "w=43" controller.txt && break; sleep 0.2; done
check "controller: told that the working copy's loop ended (43)" grep -qx "msg=$message w=43 l=0" controller.txt
check "working copy: end line" wait_trace "^$cpid ==== STUB END ====>"
for _ in $(seq 100); do [ -e X_MyUpdate.exe ] || break; sleep 0.2; done
check "working copy: its file removed itself" test ! -e X_MyUpdate.exe

echo "== /_ZZ= while a working copy's window exists"
bg ./MyUpdate.exe
winctl wait $xclass "$title" >/dev/null
old_handle=$(winctl handle $xclass "$title")
launch MyUpdate.exe /_ZZ=98
check "/_ZZ=98: the first step line, nothing more (got $(steps))" test "$(steps)" = \
  "CreateAndRun_X_Exe-1 98|==== STUB END ====>$lcmd<"
check "/_ZZ=98: no new working copy" test -z "$(pid_of "$copy_re")"
launch MyUpdate.exe /_ZZ=99 /WAIT=0
check "/_ZZ=99: a restart goes on (got $(steps))" test "$(steps)" = \
  "CreateAndRun_X_Exe-1 99|CreateAndRun_X_Exe-2|==== STUB END ====>$lcmd<"
npid=$(pid_of "$copy_re")
check "/_ZZ=99: a new working copy starts" test -n "$npid"
# It meets the old one's window and leaves the work to it.
check "/_ZZ=99: the new copy yields to the running one" wait_trace "^$npid ==== STUB END ====>"
check "/_ZZ=99: the old window stays" test "$(winctl handle $xclass "$title")" = "$old_handle"
winctl close $xclass "$title"
winctl close $xclass "$title"
winctl gone $xclass "$title"
for _ in $(seq 100); do [ -e X_MyUpdate.exe ] || break; sleep 0.2; done

echo "== forwarding to a running working copy (the controller fixture in its place)"
cp "$CONTROLLER" X_MyUpdate.exe
bg ./X_MyUpdate.exe --record standin.txt --class $xclass --title "$title" --seconds 120
winctl wait $xclass "$title" >/dev/null
# Posted after each launcher run: what came before it belongs to that run.
seen() {  # seen ARGS...: the messages one launcher run posted, joined by "|"
  local before
  before=$(wc -l <standin.txt 2>/dev/null || echo 0)
  launch MyUpdate.exe "$@"
  winctl post $xclass "$title" 1123 999 999
  for _ in $(seq 100); do grep -q "w=999 l=999" standin.txt 2>/dev/null && break; sleep 0.1; done
  { tail -n +$((before + 1)) standin.txt | grep -v "w=999 l=999" || true; } | tr '\n' '|'
}
forward_case() {  # forward_case EXPECTED ARGS...
  local expected=$1; shift
  local got
  got=$(seen "$@")
  check "$* posts ${expected:-nothing} (got ${got:-nothing})" test "$got" = "$expected"
}
forward_case "msg=1123 w=0 l=0|" /STOP=0
forward_case "" /STOP=-1
forward_case "msg=1123 w=3 l=0|" /stop=3
forward_case "msg=1124 w=1234 l=49152|" /WM_MSG=1234:49152
forward_case "msg=1124 w=1234 l=0|" /WM_MSG=1234
forward_case "" /TEST 2
forward_case "msg=1125 w=31 l=2|" /TEST=2
forward_case "msg=1123 w=1 l=0|msg=1124 w=5 l=6|msg=1125 w=31 l=0|" /TEST=0 /WM_MSG=5:6 /STOP=1
forward_case "" /_ZZ=98
check "/_ZZ=98: the working copy's file is left alone" cmp -s X_MyUpdate.exe "$CONTROLLER"
winctl close $xclass "$title"
winctl gone $xclass "$title"

echo "== /TEST=2 when no working copy window was there before the launcher"
# Same class under another title: the launcher's test does not see a working
# copy, yet the messages reach the process running X_MyUpdate.exe.
bg ./X_MyUpdate.exe --record late.txt --class $xclass --title "Another title" --seconds 120
winctl wait $xclass "Another title" >/dev/null
launch MyUpdate.exe /TEST=2
for _ in $(seq 50); do [ "$(wc -l <late.txt 2>/dev/null || echo 0)" -ge 2 ] && break; sleep 0.1; done
check "check request and exit countdown 2 (got $(tr '\n' '|' <late.txt))" \
  test "$(tr '\n' '|' <late.txt)" = "msg=1125 w=31 l=2|msg=1123 w=2 l=0|"
winctl close $xclass "Another title"
winctl gone $xclass "Another title"
rm -f X_MyUpdate.exe

echo "== a folder with a blank; overrides and delay handed on"
mkdir "App Dir"
cp MyUpdate.exe "App Dir/MyUpdate.exe"
# Where an unquoted start would go first.
cp "$SETUPFX" App.exe
KSETUP_RECORD="$(win planted.txt)"
export KSETUP_RECORD
launch "App Dir/MyUpdate.exe" "/TRANSIENT=|1|0|255|255|255|1|" /DELAY=5
cpid=$(pid_of "$copy_re")
check "working copy: quoted path, then both switches" \
  test "$(lines "^$cpid ==== STUB START" | cut -d'>' -f2-)" = \
  "\"$(win "App Dir")\\X_MyUpdate.exe\" /TRANSIENTx=|1|0|255|255|255|1| /DELAYx=5<"
check "working copy: takes over the overrides it received" \
  test "$(texts "$cpid" | grep UpdateOverrides || true)" = "UpdateOverrides=|1|0|255|255|255|1|"
check "working copy: window in its folder" winctl wait $xclass "$title"
check "the program at the cut-off path never ran" test ! -e planted.txt
winctl close $xclass "$title"
winctl close $xclass "$title"
winctl gone $xclass "$title"
for _ in $(seq 100); do [ -e "App Dir/X_MyUpdate.exe" ] || break; sleep 0.2; done
check "working copy in the folder with a blank: its file removed itself" test ! -e "App Dir/X_MyUpdate.exe"
finish
