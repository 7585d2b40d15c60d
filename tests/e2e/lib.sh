# Shared helpers for the end-to-end scripts: run Windows programs in the
# test's Wine world and capture trace lines through the viewer.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
fails=0
passes=0

# Reads the scripts' common arguments into STATE STUB VIEWER KPACK SETUPFX
# BOXDRIVER WINCTL CONTROLLER APP TRUSTCA PROBE MARKERS PKGCHECK, then moves into a
# fresh work folder that is removed at exit (after the commands given to on_exit,
# last first).
parse_args() {
  while [ $# -gt 0 ]; do
    case $1 in
      --state) STATE=$2 ;;
      --stub) STUB=$2 ;;
      --viewer) VIEWER=$2 ;;
      --kpack) KPACK=$2 ;;
      --setup) SETUPFX=$2 ;;
      --boxdriver) BOXDRIVER=$2 ;;
      --winctl) WINCTL=$2 ;;
      --controller) CONTROLLER=$2 ;;
      --app) APP=$2 ;;
      --trustca) TRUSTCA=$2 ;;
      --probe) PROBE=$2 ;;
      --markers) MARKERS=$2 ;;
      --pkgcheck) PKGCHECK=$2 ;;
      *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
    shift 2
  done
  work=$(mktemp -d)
  trap run_exit_hooks EXIT
  cd "$work"
}

exit_hooks=()
on_exit() { exit_hooks+=("$*"); }  # on_exit COMMAND...: run when the script ends, whatever happens
run_exit_hooks() {
  local i
  for ((i = ${#exit_hooks[@]} - 1; i >= 0; i--)); do eval "${exit_hooks[i]}" || true; done
  cd / && rm -rf "$work"
}

# The stubs' extraction folders in the prefix's temporary folder, one a line
# (needs WINEPREFIX, from "$STATE/env").
extraction_folders() { compgen -G "$WINEPREFIX/drive_c/users/*/[Tt]emp/SETUP_*" || true; }

wine_run() { "$root/scripts/wine-run" --state "$STATE" "$@"; }

check() {  # check "what" command...
  local what=$1; shift
  if "$@"; then passes=$((passes + 1)); else echo "FAIL: $what" >&2; fails=$((fails + 1)); fi
}

matches() { [[ $1 =~ $2 ]]; }  # matches TEXT REGEX

# Starts the viewer in the background (pieces mode) and waits until its window exists.
start_viewer() {  # start_viewer OUTFILE [viewer options...]
  local out=$1; shift
  rm -f viewer.ready
  "$root/scripts/wine-run" --state "$STATE" "$VIEWER" --pieces --ready viewer.ready "$@" >"$out" 2>&1 &
  VIEWER_PID=$!
  for _ in $(seq 100); do [ -e viewer.ready ] && return 0; sleep 0.1; done
  echo "viewer did not start" >&2
  cat "$out" >&2
  return 1
}

# Waits for the viewer to end by itself (--lines/--seconds), then returns its exit code.
wait_viewer() { wait "$VIEWER_PID"; }

finish() {
  echo "$passes passed, $fails failed"
  [ "$fails" -eq 0 ]
}
