#!/usr/bin/env bash
# kpack's command line as a setup author meets it: every wrong input is one
# line naming the file or option, exit code 2 and no output file; argument
# files; the progress line only on a terminal and never with --quiet; info
# and verify exit codes.   kpack_cli_test.sh KPACK
set -uo pipefail
kpack=${1:?usage: kpack_cli_test.sh KPACK}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A bare stub ("MZ" at 0, "PE" at 256, 0 at 252) and a few members.
python3 - <<'PY'
import random
r = random.Random(1)
s = bytearray(r.randbytes(8192)); s[0:2] = b"MZ"; s[256:258] = b"PE"; s[252:256] = bytes(4)
open("stub.exe", "wb").write(s)
open("Setup.exe", "wb").write(r.randbytes(20000))
open("ReadMe.txt", "w").write("read me\n")
open("big.bin", "wb").write(r.randbytes(32 << 20))  # about 2 s at level 12 on one core
PY
mkdir folder
base=(--stub stub.exe --out out.exe --file Setup.exe --file ReadMe.txt)

# expect_input_error WHAT PART ARGS...: exit 2, one line on stderr naming
# PART, nothing on stdout, no out.exe and no temporary file.
expect_input_error() {
  local what=$1 part=$2
  shift 2
  rm -f out.exe
  "$kpack" "$@" >stdout.txt 2>stderr.txt
  local rc=$?
  [ $rc -eq 2 ] || fail "$what: exit code $rc, not 2"
  [ "$(wc -l <stderr.txt)" -eq 1 ] || fail "$what: not one line: $(cat stderr.txt)"
  grep -qF -- "$part" stderr.txt || fail "$what: \"$part\" not in: $(cat stderr.txt)"
  [ ! -s stdout.txt ] || fail "$what: printed on stdout"
  [ ! -e out.exe ] || fail "$what: out.exe left behind"
  ls | grep -q '\.tmp$' && fail "$what: a temporary file left behind"
}
expect_input_error "missing file" "--file nope.txt: no such file" "${base[@]}" --file nope.txt
expect_input_error "folder as a file" "--file folder: is a folder" "${base[@]}" --file folder
expect_input_error "not a plain name" 'not a plain file name' "${base[@]}" --file 'ReadMe.txt=..\x.txt'
expect_input_error "same name in another case" 'a second member named "README.TXT"' "${base[@]}" --file ReadMe.txt=README.TXT
expect_input_error "--run names no member" '--run Other.exe*/S: "Other.exe" is not one of' "${base[@]}" --run 'Other.exe*/S'
expect_input_error "output is an input" "--out Setup.exe: is one of the inputs" --stub stub.exe --out Setup.exe --file Setup.exe
expect_input_error "stub that is not a stub" "--stub ReadMe.txt: not a stub" --stub ReadMe.txt --out out.exe --file Setup.exe
expect_input_error "missing stub" "--stub none.exe: no such file" --stub none.exe --out out.exe --file Setup.exe
expect_input_error "unknown option" '"--bogus"' "${base[@]}" --bogus
expect_input_error "bad level" "--level 13" "${base[@]}" --level 13
expect_input_error "missing argument file" "@none.args: no such file" @none.args
SOURCE_DATE_EPOCH=soon expect_input_error "bad SOURCE_DATE_EPOCH" "SOURCE_DATE_EPOCH=soon" "${base[@]}"
[ "$(cat Setup.exe | wc -c)" -eq 20000 ] || fail "an input was changed"

# An argument file kept with the sources; the same bytes on every run.
cat >setup.args <<'ARGS'
# The product's setup
--stub stub.exe
--file Setup.exe
--file ReadMe.txt
--run Setup.exe*/S /LANG=en
--token the product secret
--date 2026-01-01 12:00:00
ARGS
"$kpack" @setup.args --out one.exe >stdout.txt 2>stderr.txt || fail "build from setup.args: $(cat stderr.txt)"
grep -q '^kpack: wrote one.exe: ' stdout.txt || fail "no summary line: $(cat stdout.txt)"
[ ! -s stderr.txt ] || fail "stderr not empty when it is no terminal: $(cat -A stderr.txt)"
"$kpack" @setup.args --out two.exe --quiet >stdout.txt 2>stderr.txt || fail "second build"
[ ! -s stdout.txt ] && [ ! -s stderr.txt ] || fail "--quiet printed something"
cmp -s one.exe two.exe || fail "two runs of the same inputs differ"

# info and verify, also on a signed package (bytes after the logical end).
"$kpack" verify one.exe --token "the product secret" >stdout.txt || fail "verify of a good package"
grep -q '^one.exe: ok' stdout.txt || fail "verify: $(cat stdout.txt)"
"$kpack" verify one.exe --token wrong >/dev/null 2>stderr.txt
[ $? -eq 1 ] || fail "verify with a wrong token does not exit 1"
[ "$(wc -l <stderr.txt)" -eq 2 ] || fail "verify: one line per problem (two records): $(cat stderr.txt)"
cp one.exe signed.exe && printf 'SIGNATURE-BLOCK' >>signed.exe
"$kpack" verify signed.exe >/dev/null || fail "verify of a signed package"
"$kpack" info signed.exe >info.txt || fail "info"
grep -q 'after the end: 15 bytes' info.txt || fail "info: $(cat info.txt)"
grep -q '"Setup.exe"  20000 bytes, packed .*, runs with "/S /LANG=en"' info.txt || fail "info members: $(cat info.txt)"
"$kpack" info --json signed.exe | python3 -c '
import json, sys
d = json.load(sys.stdin)
assert d["checksum"]["ok"] and d["afterEnd"]["bytes"] == 15, d
assert [m["name"] for m in d["members"]] == ["Setup.exe", "ReadMe.txt"], d
assert d["webSetupRecord"]["token"] == {"set": True, "valid": True}, d
' || fail "info --json"
"$kpack" verify --json signed.exe | python3 -c 'import json, sys; assert json.load(sys.stdin)["ok"]' || fail "verify --json"
printf 'x' | dd of=one.exe bs=1 seek=20000 conv=notrunc status=none
"$kpack" verify one.exe >/dev/null 2>stderr.txt
[ $? -eq 1 ] && grep -q 'checksum mismatch' stderr.txt || fail "verify of a damaged package: $(cat stderr.txt)"
"$kpack" info none.exe >/dev/null 2>stderr.txt
[ $? -eq 2 ] && grep -q '^kpack: none.exe: no such file$' stderr.txt || fail "info of a missing file: $(cat stderr.txt)"
"$kpack" verify folder >/dev/null 2>stderr.txt
[ $? -eq 2 ] && grep -q '^kpack: folder: is a folder' stderr.txt || fail "verify of a folder: $(cat stderr.txt)"

# On a terminal a long pack shows a progress line; --quiet shows nothing.
if command -v script >/dev/null; then
  slow=(--stub stub.exe --file big.bin --level 12 --threads 1)
  script -qec "$kpack ${slow[*]} --out tty.exe" /dev/null >tty.txt 2>&1 || fail "build on a terminal"
  grep -aq $'\rkpack: .* of [0-9.]* MB, .*MB/s' tty.txt || fail "no progress line on a terminal: $(cat -A tty.txt | head -3)"
  script -qec "$kpack ${slow[*]} --out tty.exe --quiet" /dev/null >tty.txt 2>&1 || fail "quiet build on a terminal"
  [ ! -s tty.txt ] || fail "--quiet on a terminal printed: $(cat -A tty.txt | head -3)"
else
  echo "note: no 'script' program, the terminal case is not tried"
fi

[ $failures -eq 0 ] && echo "kpack command line: all checks passed"
[ $failures -eq 0 ]
