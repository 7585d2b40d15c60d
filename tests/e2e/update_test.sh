#!/usr/bin/env bash
# The auto-update program end to end under Wine, with nginx as the update
# location: an application and its auto-update program installed in a folder
# whose path holds a blank, an update package built with kpack (the setup
# fixture as its setup program), and the installed-application fixture as the
# application. Each scenario starts the installed launcher with the program's
# own switches ("/DELAY=" for a quick first check, "/TEST=" for a requested
# check after which the working copy ends by itself) and reads the trace
# lines, the fixtures' records, the info files and the controller's record.
. "$(dirname "$0")/lib.sh"
parse_args "$@"
. "$root/tests/servers/servers.sh"
. "$STATE/env"
title="Setup Installation Wizard"
xclass=.AutoUpdate.X_MyUpdate
token="update test token"
winctl() { "$root/scripts/wine-run" --state "$STATE" "$WINCTL" "$@" | tr -d '\r'; }
box() { "$root/scripts/wine-run" --state "$STATE" "$BOXDRIVER" --timeout 30000 "$@" | tr -d '\r'; }
bg() { ("$root/scripts/wine-run" --state "$STATE" "$@" >/dev/null 2>&1) & }
wait_file() { for _ in $(seq 150); do [ "${2:--s}" "$1" ] && return 0; sleep 0.2; done; return 1; }

inst="$WINEPREFIX/drive_c/Program Files/Kovrex Update Test"
inst_win='C:\Program Files\Kovrex Update Test'
planted=()
cleanup() {
  if [ "$fails" -gt 0 ] && [ -f "$work/trace.txt" ]; then
    echo "-- the last trace lines:" >&2
    tail -n 80 "$work/trace.txt" | tr -d '\r' >&2
  fi
  export KWINCTL_TIMEOUT=300
  for cls in "$xclass" "$xclass" KInstalledApp KovrexController .KDebug.; do winctl close "$cls" "" >/dev/null || true; done
  stop_servers
  wait
  rm -rf "$inst"
  for p in "${planted[@]}"; do rm -f "$p" "$p.record"; done
  "$root/scripts/wine-run" --state "$STATE" reg delete 'HKCU\Software\Morvalix\Kovrex\AutoUpdate' /f >/dev/null 2>&1 || true
}
on_exit cleanup

servers_init "$work/servers"
mkdir -p web/upd "$inst"
start_nginx "$work/web"
url="http://127.0.0.1:$NGINX_PORT/upd"

bg "$VIEWER" --out trace.txt --seconds 900 --ready viewer.ready
wait_file viewer.ready -e || { echo "viewer did not start" >&2; exit 1; }
mark() { offset=$(stat -c %s trace.txt); }
new() { tail -c +$((offset + 1)) trace.txt | tr -d '\r'; }
wait_trace() { for _ in $(seq "${2:-150}"); do new | grep -E -- "$1" >/dev/null && return 0; sleep 0.2; done; return 1; }
count() { new | grep -c -E -- "$1" || true; }

# The installed product: the application, the auto-update program, the info file.
# Downloads run at about 100 KB/s by design: pack stripped copies (the stub
# keeps its PE header at 256 after stripping).
x86_64-w64-mingw32-strip -o stub.exe "$STUB"
python3 "$root/cmake/steps/pe-header-256.py" stub.exe
x86_64-w64-mingw32-strip -o Setup.exe "$SETUPFX"
echo data >a.txt
pack() { "$root/scripts/wine-run" --state "$STATE" "$KPACK" --stub stub.exe --quiet "$@" >/dev/null; }
pack --out MyUpdate.exe --file a.txt --auto-update-program --update-exe MyUpdate.exe --update-url "$url" \
  --update-info app --token "$token"
cp MyUpdate.exe "$inst/MyUpdate.exe"
cp "$APP" "$inst/App.exe"
# Where an unquoted start of the application or of the launcher would go
# first: it records its start beside itself if it ever runs.
planted=("$WINEPREFIX/drive_c/Program.exe" "$WINEPREFIX/drive_c/Program Files/Kovrex.exe")
for p in "${planted[@]}"; do cp "$APP" "$p"; done
# The update: the setup fixture, same token (and one that fails to acknowledge, and one of another product).
pack --out web/upd/Update4.exe --file Setup.exe --run "Setup.exe*" --token "$token" --update-exe MyUpdate.exe \
  --update-url "$url" --update-info app
pack --out web/upd/NoAck4.exe --file Setup.exe --run "Setup.exe*/noack" --token "$token" --update-exe MyUpdate.exe \
  --update-url "$url" --update-info app
pack --out web/upd/Foreign4.exe --file Setup.exe --run "Setup.exe*" --token "another product" \
  --update-exe MyUpdate.exe --update-url "$url" --update-info app
size_of() { stat -c %s "web/upd/$1"; }
export KSETUP_RECORD="$(wine_run winepath -w "$work/setup.txt" | tr -d '\r')"

# KEY=VALUE lines, a later KEY replacing an earlier one (the profile
# functions would read the first).
keyed() { printf '%s\n' "$@" | awk -F= '{ if (!($1 in v)) k[n++] = $1; v[$1] = $0 } END { for (i = 0; i < n; i++) print v[k[i]] }'; }
original() {  # original KEY=VALUE... : [OriginalSetup] with defaults, [Directories]
  {
    echo "[OriginalSetup]"
    keyed ProbeSecondsInterval=-1 VersionOriginal=3 Stamp=0 ProgramName=Test_App "$@"
    echo "[Directories]"
    echo "TargetDir=$inst_win"
  } >"$inst/app.original"
}
info() {  # info KEY=VALUE... : [NewSetup] with defaults for Update4.exe
  {
    echo "[NewSetup]"
    keyed "DownloadURL_UPDATE=$url" NameOfUpdateFile=Update4.exe "SizeOfUpdateFile=$(size_of Update4.exe)" \
      VersionNew=4 Stamp=8 "ShutDownMethod=Using WM_CLOSE" 'RunningProcess=<InstallDir>App.exe' RestartProcess=1 \
      BackgroundUpdate=1 ProgramName=Test_App "$@"
  } >web/upd/app.info
}
ini_value() { grep -E "^$1=" "$inst/app.original" | tail -1 | cut -d= -f2- | tr -d '\r'; }
# The application's starts and ends: "start|end WM_CLOSE|start|".
app_record() { tr -d '\r' <"$inst/App.exe.record" 2>/dev/null | awk '{print $1 ($1 == "end" ? " " $3 : "")}' | tr '\n' '|'; }
start_app() {
  rm -f "$inst/App.exe.record"
  bg "$inst/App.exe"
  winctl wait KInstalledApp "Installed App" >/dev/null
}
# Starts the installed launcher with SWITCHES and waits for the working copy's check to end.
run_check() {
  rm -f setup.txt
  mark
  timeout 60 "$root/scripts/wine-run" --state "$STATE" "$inst_win\\MyUpdate.exe" "$@" >/dev/null 2>&1 || true
  wait_trace ' ==== STUB END ====>"?[^<]*\\X_MyUpdate\.exe' 200 || echo "(the working copy did not end in time)" >&2
}
# Ends a running working copy (two close requests) and the application.
stop_copy() {
  winctl wait "$xclass" "$title" >/dev/null || return 0
  winctl close "$xclass" "$title" >/dev/null || true
  winctl close "$xclass" "$title" >/dev/null || true
  winctl gone "$xclass" "$title" >/dev/null || true
}
stop_app() {
  winctl close KInstalledApp "" >/dev/null || true
  winctl gone KInstalledApp "" >/dev/null || true
}
steps() { new | grep -o -E ' (==== (Perform Update|DoPerform)-[0-9] ====|Fire)' | sed 's/ ==== //; s/ ====//; s/^ //' | tr '\n' ' '; }
all_steps="Fire Perform Update-1 DoPerform-1 DoPerform-2 DoPerform-3 DoPerform-4 DoPerform-5 DoPerform-6 DoPerform-7 DoPerform-8 DoPerform-9 Perform Update-2 "

echo "== a scheduled check finds the update and runs it; the working copy restarts itself"
original ProbeSecondsInterval=0
info
start_app
bg "$CONTROLLER" --record controller.txt --ready controller.ready --seconds 300
wait_file controller.ready
rm -f setup.txt
mark
timeout 60 "$root/scripts/wine-run" --state "$STATE" "$inst_win\\MyUpdate.exe" /DELAY=1 "/WM_MSG=$(cat controller.ready)" \
  >/dev/null 2>&1 || true
check "the check ran every step" wait_trace ' ==== Perform Update-2 ====' 250
check "steps in order (got: $(steps))" test "$(steps)" = "$all_steps"
check "the working copy was restarted through the launcher with /_ZZ=99 /WAIT=3 /TRANSIENT=" \
  wait_trace 'STUB START ====>"?[^<]*\\MyUpdate\.exe"? /_ZZ=99 /WAIT=3 /TRANSIENT=\|255\|255\|255\|255\|255\|255\|<' 100
check "a new working copy runs" wait_trace ' CreateAndRun_X_Exe-2' 100
# The old working copy quits; wait for the new one before ending it.
mark
wait_trace "STUB START ====>\"?[^<]*\\\\X_MyUpdate\.exe" 100 || true
check "the application was closed by WM_CLOSE and started again (got $(app_record))" \
  test "$(app_record)" = "start|end WM_CLOSE|start|"
check "the setup got /OriginalInfoFile= with the info file's quoted path" \
  grep -qF "/OriginalInfoFile=\"$inst_win\\app.info\"" setup.txt
check "the setup was told it runs for the auto-update program" grep -q "/AutoUpdateProg" setup.txt
check "the setup ran hidden (BackgroundUpdate)" grep -q "^show=0" setup.txt
check "VersionOriginal written after the acknowledged run (got $(ini_value VersionOriginal))" \
  test "$(ini_value VersionOriginal)" = 4
check "the offer's stamp is recorded (got $(ini_value Stamp))" test "$(ini_value Stamp)" = 8
check "ProbeSecondsLast was written" test -n "$(ini_value ProbeSecondsLast)"
check "the programs planted where the path is cut at a blank never ran" \
  test ! -e "${planted[0]}.record" -a ! -e "${planted[1]}.record"
check "no info file and no update file left" test ! -e "$inst/app.info" -a ! -e "$inst/Update4.exe"
notes=$(grep -o -E 'w=4[012] l=[12]' controller.txt | tr '\n' ' ' || true)
check "controller: 40, 41, 42 with 1 and 2 (got $notes)" \
  test "$notes" = "w=40 l=1 w=40 l=2 w=41 l=1 w=41 l=2 w=42 l=1 w=42 l=2 "
stop_copy
stop_app

echo "== the shut-down methods"
for method in "Using WM_QUIT" "Using Terminate Process" "Don't Shut Down" ""; do
  original
  info "ShutDownMethod=$method" RestartProcess=0
  start_app
  if [ -z "$method" ]; then
    # No request to close: the run waits until the user closes the application.
    (wait_trace ' ==== DoPerform-5 ====' 200 && sleep 1 && winctl close KInstalledApp "" >/dev/null) &
    closer=$!
  fi
  run_check /DELAY=0 /TEST=1
  [ -z "$method" ] && wait "$closer"
  case $method in
    "Using WM_QUIT") want="start|end WM_QUIT|" ;;
    "Using Terminate Process") want="start|" ;;
    "Don't Shut Down") want="start|" ;;
    "") want="start|end WM_CLOSE|" ;;
  esac
  check "'$method': the application's record (got $(app_record))" test "$(app_record)" = "$want"
  check "'$method': the update ran (VersionOriginal $(ini_value VersionOriginal))" test "$(ini_value VersionOriginal)" = 4
  if [ "$method" = "Don't Shut Down" ]; then
    check "'$method': the application still runs" winctl wait KInstalledApp "Installed App"
    stop_app
  fi
  check "'$method': a working copy with a limited life does not restart itself" \
    test "$(count 'CreateAndRun_X_Exe-1 99')" = 0
done

echo "== the offer rules"
original Stamp=8 ReAskSecondsInterval=0
info
run_check /DELAY=0 /TEST=1
check "the same stamp is not offered again on a requested check (got: $(steps))" test "$(steps)" = "Fire "
original VersionOriginal=4
info VersionNew=5 "ValidVersions=3, 4"
run_check /DELAY=0 /TEST=1
check "ValidVersions '3, 4' makes version 4 invalid (got: $(steps))" test "$(steps)" = "Fire "
original
info "SizeOfUpdateFile=$(( $(size_of Update4.exe) + 1 ))"
run_check /DELAY=0 /TEST=1
check "SizeOfUpdateFile one byte off offers nothing (got: $(steps))" test "$(steps)" = "Fire "
original
info NameOfUpdateFile=Foreign4.exe "SizeOfUpdateFile=$(size_of Foreign4.exe)"
start_app
rm -f setup.txt
mark
timeout 60 "$root/scripts/wine-run" --state "$STATE" "$inst_win\\MyUpdate.exe" /DELAY=0 /TEST=1 >/dev/null 2>&1 || true
shown=$(box show || true)
box enter >/dev/null || true
check "another product's package: 'Bad Secret Token!' (got $shown)" matches "$shown" "Bad Secret Token!"
wait_trace ' ==== STUB END ====>"?[^<]*\\X_MyUpdate\.exe' 200 || true
check "... nothing was run" test ! -e setup.txt
check "... the application was not touched (got $(app_record))" test "$(app_record)" = "start|"
check "... VersionOriginal unchanged" test "$(ini_value VersionOriginal)" = 3
check "... the foreign package was deleted" test ! -e "$inst/Foreign4.exe"
stop_app

echo "== the setup does not acknowledge"
# A scheduled check, so that only the missing acknowledgement keeps the
# working copy from restarting itself.
original ProbeSecondsInterval=0
info NameOfUpdateFile=NoAck4.exe "SizeOfUpdateFile=$(size_of NoAck4.exe)"
start_app
rm -f setup.txt
mark
timeout 60 "$root/scripts/wine-run" --state "$STATE" "$inst_win\\MyUpdate.exe" /DELAY=0 >/dev/null 2>&1 || true
check "no acknowledgement: the run went to its end" wait_trace ' ==== Perform Update-2 ====' 250
check "... the update setup ran" test -s setup.txt
check "... VersionOriginal unchanged (got $(ini_value VersionOriginal))" test "$(ini_value VersionOriginal)" = 3
for _ in $(seq 50); do [ "$(app_record)" = "start|end WM_CLOSE|start|" ] && break; sleep 0.2; done
check "... the application was restarted all the same (got $(app_record))" test "$(app_record)" = "start|end WM_CLOSE|start|"
# A restart would come at once through the launcher; give it the time it takes.
sleep 3
check "... the working copy does not restart itself" test "$(count 'CreateAndRun_X_Exe-1 99')" = 0
check "... and keeps running" test "$(count 'STUB END ====>"?[^<]*\\X_MyUpdate')" = 0
stop_copy
stop_app

echo "== the schedule"
original ProbeSecondsInterval=0
info VersionNew=3
mark
timeout 60 "$root/scripts/wine-run" --state "$STATE" "$inst_win\\MyUpdate.exe" /DELAY=0 /STOP=6 >/dev/null 2>&1 || true
wait_trace ' ==== STUB END ====>"?[^<]*\\X_MyUpdate\.exe' 200 || true
check "interval 0: one check in six ticks (got $(count ' Fire '))" test "$(count ' Fire ')" = 1
original
rm -f controller.txt controller.ready
bg "$CONTROLLER" --record controller.txt --ready controller.ready --send 31:1 --seconds 60
wait_file controller.ready
mark
timeout 60 "$root/scripts/wine-run" --state "$STATE" "$inst_win\\MyUpdate.exe" /DELAY=0 /STOP=6 "/WM_MSG=$(cat controller.ready)" \
  >/dev/null 2>&1 || true
wait_trace ' ==== STUB END ====>"?[^<]*\\X_MyUpdate\.exe' 200 || true
check "interval -1: one check, on command 31 only (got $(count ' Fire '))" test "$(count ' Fire ')" = 1
rm -f controller.txt controller.ready
bg "$CONTROLLER" --record controller.txt --ready controller.ready --send 30:2 --seconds 60
wait_file controller.ready
mark
timeout 60 "$root/scripts/wine-run" --state "$STATE" "$inst_win\\MyUpdate.exe" /DELAY=0 "/WM_MSG=$(cat controller.ready)" \
  >/dev/null 2>&1 || true
wait_trace ' ==== STUB END ====>"?[^<]*\\X_MyUpdate\.exe' 200 || true
ticks=$(count ' AutoUpdateTimerCount=')
check "command 30 with 2 ends the working copy on the third tick (ticks: $ticks)" test "$ticks" = 3
original ProbeSecondsInterval=0
mark
timeout 60 "$root/scripts/wine-run" --state "$STATE" "$inst_win\\MyUpdate.exe" /DELAY=2 /STOP=5 >/dev/null 2>&1 || true
wait_trace ' ==== STUB END ====>"?[^<]*\\X_MyUpdate\.exe' 200 || true
first=$(new | grep -E -o ' (AutoUpdateTimerCount=-?[0-9]+|Fire)' | grep -B1 Fire | head -1 | tr -d ' ')
check "/DELAY=2: the check comes on the third tick (after $first)" test "$first" = "AutoUpdateTimerCount=1"

echo "== test mode takes the update from TestModeURL"
mkdir -p testfolder
cp web/upd/Update4.exe testfolder/
original
info
cp web/upd/app.info testfolder/app.info
rm web/upd/app.info
wine_run reg add 'HKCU\Software\Morvalix\Kovrex\AutoUpdate' /v TestMode /t REG_SZ /d 1 /f >/dev/null
wine_run reg add 'HKCU\Software\Morvalix\Kovrex\AutoUpdate' /v TestModeURL /t REG_SZ \
  /d "$(wine_run winepath -w "$work/testfolder" | tr -d '\r')" /f >/dev/null
start_app
run_check /DELAY=0 /TEST=1
check "test mode: the update from the folder ran (VersionOriginal $(ini_value VersionOriginal))" \
  test "$(ini_value VersionOriginal)" = 4
wine_run reg delete 'HKCU\Software\Morvalix\Kovrex\AutoUpdate' /f >/dev/null 2>&1 || true
winctl close KInstalledApp "" >/dev/null || true

finish
