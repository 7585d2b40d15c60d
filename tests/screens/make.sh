#!/usr/bin/env bash
# Screenshots of the wizard window and the message boxes under Xvfb, for a
# person to look at (layout, colours, fonts).
#   tests/screens/make.sh BUILD_DIR [OUT_DIR]
# BUILD_DIR is a 64-bit Windows build with the targets showcase and boxdriver;
# OUT_DIR defaults to BUILD_DIR/screens. Needs ImageMagick's import.
set -euo pipefail
build=$(cd "${1:?usage: make.sh BUILD_DIR [OUT_DIR]}" && pwd)
out=${2:-$build/screens}
root=$(cd "$(dirname "$0")/../.." && pwd)
showcase=$build/tests/win/screens/showcase.exe
driver=$build/tests/win/boxdriver/boxdriver.exe
for f in "$showcase" "$driver"; do [ -f "$f" ] || { echo "missing $f (build showcase and boxdriver)" >&2; exit 1; }; done
command -v import >/dev/null || { echo "ImageMagick's import is missing (apt-get install imagemagick)" >&2; exit 1; }
mkdir -p "$out"
state=$(mktemp -d)
trap '"$root/scripts/wine-env" stop "$state" >/dev/null 2>&1; rm -rf "$state"' EXIT
"$root/scripts/wine-env" start "$state"
. "$state/env"
run() { "$root/scripts/wine-run" --state "$state" "$@"; }
# No window manager runs under Xvfb: let Wine draw the frames and captions.
run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null

# shot NAME X Y W H: the screen, and the window's region with a margin.
shot() {
  local name=$1 x=$2 y=$3 w=$4 h=$5 m=12
  import -display "$DISPLAY" -window root "$out/$name-screen.png"
  convert "$out/$name-screen.png" -crop "$((w + 2 * m))x$((h + 2 * m))+$((x - m))+$((y - m))" +repage \
    "$out/$name.png"
  rm -f "$out/$name-screen.png"
  echo "$out/$name.png"
}

# The wizard: shown for four seconds by the showcase itself.
run "$showcase" wizard &
pid=$!
sleep 2
shot wizard $(((1280 - 340) / 2)) $(((1024 - 110) / 2)) 340 110
wait $pid || true

# A box: wait for it, read its place, take the picture, answer it.
box_shot() {  # box_shot NAME MODE [LANG]
  local name=$1 mode=$2
  if [ -n "${3:-}" ]; then LC_ALL=$3 run "$showcase" "$mode" & else run "$showcase" "$mode" & fi
  local pid=$!
  local info
  info=$(run "$driver" --timeout 20000 show | tr -d '\r')
  echo "$info" >"$out/$name.txt"
  sleep 0.5
  local geo
  geo=$(sed -n 's/^box=//p' <<<"$info" | tr , ' ')
  # shellcheck disable=SC2086
  shot "$name" $geo
  run "$driver" enter >/dev/null || run "$driver" close >/dev/null || true
  wait $pid || true
}

box_shot error error
box_shot warning warning
box_shot ask ask
box_shot rtl rtl he_IL.UTF-8
