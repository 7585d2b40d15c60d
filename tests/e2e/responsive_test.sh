#!/usr/bin/env bash
# The wizard window stays responsive while a large package is extracted: a
# close request that arrives in the middle of a 100 MB extraction is handled
# then, not after it. The window goes, the extraction stops, nothing is
# started, the folder is removed and the stub ends by itself.
. "$(dirname "$0")/lib.sh"
parse_args "$@"
# shellcheck disable=SC1091
. "$STATE/env"
cp "$STUB" stub.exe
cp "$SETUPFX" Setup.exe
export KSETUP_RECORD="$(wine_run winepath -w "$work/record.txt" | tr -d '\r')"
extraction_folders | while read -r f; do rm -rf "$f"; done

# 100 MiB of text-like members (they inflate at about the speed of real files),
# each 1 MiB block different, then the setup program, marked to run, last.
python3 - <<'EOF'
import random
rng = random.Random(15)
words = ["".join(rng.choices("etaoinshrdlucmfwypvbgkjqxz", k=rng.randint(2, 9))) for _ in range(3000)]
block = " ".join(rng.choices(words, k=200000)).encode()[: 1 << 20]
with open("first.txt", "wb") as f:
    f.write(block[:4096])
for m in range(10):
    with open("part%02d.txt" % m, "wb") as f:
        for b in range(10):
            f.write(bytes([65 + (m + b) % 26]) + block[1:])
EOF
files=(--file first.txt)
for f in part*.txt; do files+=(--file "$f"); done
wine_run "$KPACK" --stub stub.exe --level 1 --out big.exe "${files[@]}" --file Setup.exe --run "Setup.exe*" >/dev/null
rm -f part*.txt
members=$(( ${#files[@]} / 2 + 1 ))

echo "== a close request in the middle of a 100 MB extraction"
("$root/scripts/wine-run" --state "$STATE" big.exe >/dev/null 2>&1) &
stub_pid=$!
# The bar steps once for each of the two header records and once as each
# member begins: at 4 the first member is written and the second one begun.
closed=$(wine_run "$WINCTL" closeat 4 "$(wine_run winepath -w "$work/big.exe" | tr -d '\r')" \
  "Setup Installation Wizard" | tr -d '\r') || true
echo "   close requests posted at bar $closed"
position=$(sed -n 's/^position=\([0-9]*\) of=.*/\1/p' <<<"$closed")
high=$(sed -n 's/.* of=\([0-9]*\)$/\1/p' <<<"$closed")
check "the window took both close requests and went away" test -n "$position"
check "the bar counts every record ($((members + 2)), got ${high:-none})" test "${high:-0}" -eq $((members + 2))
check "the requests came while members were still being written" test "${position:-0}" -lt "${high:-0}"
for _ in $(seq 300); do kill -0 $stub_pid 2>/dev/null || break; sleep 0.2; done
check "the stub ended by itself" bash -c "! kill -0 $stub_pid 2>/dev/null"
kill $stub_pid 2>/dev/null || true
rc=0
wait $stub_pid || rc=$?
check "exit code 0 (got $rc)" test "$rc" -eq 0
check "nothing was started" test ! -e record.txt
check "the extraction folder is removed" test -z "$(extraction_folders)"

finish
