#!/usr/bin/env bash
# Runs a Windows test program with two extra drive letters, M: and N:, each
# mapped to an empty folder of this run, and removes them afterwards.
#   with-test-drives.sh --state STATE_DIR PROGRAM [ARGS...]
# Only links this script made (pointing into a kovrex-drives folder) are ever
# replaced or removed; any other M: or N: stops the run untouched.
set -uo pipefail
[ "${1:-}" = "--state" ] || { echo "usage: $0 --state STATE_DIR PROGRAM [ARGS...]" >&2; exit 2; }
state=$2; shift 2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck disable=SC1091
. "$state/env"
devices=$WINEPREFIX/dosdevices

ours() { [ -L "$1" ] && [[ $(readlink "$1") == */kovrex-drives.* ]]; }

for letter in m n; do
  link=$devices/$letter:
  if ours "$link"; then rm -f "$link"; fi  # left over from an interrupted run
  if [ -e "$link" ] || [ -L "$link" ]; then echo "$link exists and is not ours: not touching it" >&2; exit 1; fi
done

drives=$(mktemp -d "${TMPDIR:-/tmp}/kovrex-drives.XXXXXX")
cleanup() {
  for letter in m n; do
    if ours "$devices/$letter:"; then rm -f "$devices/$letter:"; fi
  done
  rm -rf "$drives"
}
trap cleanup EXIT
for letter in m n; do
  mkdir "$drives/$letter"
  ln -s "$drives/$letter" "$devices/$letter:"
done
"$root/scripts/wine-run" --state "$state" "$@"
