#!/usr/bin/env bash
# Signed packages: a package signed with osslsigncode (a self-signed test key
# made here) verifies, keeps its logical end and its checksum verdict, and
# still extracts and runs its setup; so does one signed twice (re-signed, and
# with a nested second signature) and one with junk appended after the
# signature.
. "$(dirname "$0")/lib.sh"
parse_args "$@"
# shellcheck disable=SC1091
. "$STATE/env"
command -v osslsigncode >/dev/null || { echo "osslsigncode missing (scripts/deps installs it)" >&2; exit 1; }
cp "$STUB" stub.exe
cp "$SETUPFX" Setup.exe
printf 'member one\r\n' >a.txt
export KSETUP_RECORD="$(wine_run winepath -w "$work/record.txt" | tr -d '\r')"
record() { grep -a "^$1=" record.txt 2>/dev/null | tail -n 1 | cut -d= -f2- | tr -d '\r'; }
extraction_folders | while read -r f; do rm -rf "$f"; done

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=Kovrex Test Signer" >/dev/null 2>&1
sign() { osslsigncode sign -certs cert.pem -key key.pem -n "My Setup" "$@" >/dev/null; }
wine_run "$KPACK" --stub stub.exe --out MySetup.exe --file a.txt --file Setup.exe --run "Setup.exe*/S" >/dev/null
size=$(stat -c %s MySetup.exe)
check "the unsigned package passes its own check" grep -q '^verdict=1' <<<"$(wine_run "$PKGCHECK" MySetup.exe)"

sign -in MySetup.exe -out signed.exe
sign -in signed.exe -out resigned.exe
sign -nest -in signed.exe -out nested.exe
cp signed.exe junk.exe
head -c 5000 /dev/urandom >>junk.exe
for f in signed resigned nested; do
  check "$f: osslsigncode verify accepts it" osslsigncode verify -CAfile cert.pem "$f.exe" >/dev/null
done
if osslsigncode verify -CAfile cert.pem junk.exe >/dev/null 2>&1; then j=accepts; else j=refuses; fi
echo "   (osslsigncode verify $j the signed package with junk appended)"

for f in signed resigned nested junk; do
  echo "== $f.exe"
  facts=$(wine_run "$PKGCHECK" "$f.exe" | tr -d '\r')
  check "$f: checksum verdict still true" grep -q '^verdict=1$' <<<"$facts"
  check "$f: logical end unchanged ($size)" grep -q "^logicalend=$size$" <<<"$facts"
  check "$f: the package is read whole" grep -q '^package=1$' <<<"$facts"
  check "$f: the signature lies after the logical end" test "$(stat -c %s "$f.exe")" -gt "$size"
  rm -f record.txt
  rc=0
  timeout 60 "$root/scripts/wine-run" --state "$STATE" "$f.exe" /hide >/dev/null 2>&1 || rc=$?
  check "$f: stub ended by itself (got $rc)" test "$rc" -eq 0
  check "$f: setup started with its arguments" matches "$(record cmdline)" '\\Setup\.exe /hide /S /TH_ID=_[0-9]+$'
  check "$f: a.txt extracted beside it" grep -aq '^file=a.txt|12|' record.txt
  check "$f: the setup acknowledged" test "$(record result)" = acknowledged
  check "$f: extraction folder removed" test -z "$(extraction_folders)"
done
finish
