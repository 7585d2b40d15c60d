#!/usr/bin/env bash
# Installing kpack: `cmake --install` lays out kpack, its man page, the stub
# and the trace viewer; CPack builds a Debian package of them, which is
# installed on a clean prefix and used there to build and verify a package
# with the stub it brought.   install_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src=${1:?usage: install_test.sh SOURCE_DIR BUILD_DIR}
build=${2:?usage: install_test.sh SOURCE_DIR BUILD_DIR}
for tool in dpkg-deb cpack; do
  command -v $tool >/dev/null || { echo "SKIPPED: $tool is missing (dpkg / cmake), the Debian package cannot be built"; exit 0; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The stub and the trace viewer come from the shipped-stub tree.
if [ ! -f "$src/build/win32/src/stub.exe" ] || [ ! -f "$src/build/win32/tools/traceview.exe" ]; then
  echo "== building the shipped-stub tree (scripts/build win32)"
  bash "$src/scripts/build" win32 >"$work/build.log" 2>&1 || { tail -20 "$work/build.log"; echo "FAIL: scripts/build win32"; exit 1; }
fi

echo "== cmake --install"
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install"; }
for f in bin/kpack share/man/man1/kpack.1 share/kovrex/stub.exe share/kovrex/traceview.exe; do
  [ -f "$work/prefix/$f" ] || fail "cmake --install did not install $f"
done
cmp -s "$work/prefix/share/kovrex/stub.exe" "$src/build/win32/src/stub.exe" || fail "the installed stub is not the shipped one"

echo "== cpack -G DEB"
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/deb/*.deb 2>/dev/null | head -1)
if [ -z "$deb" ]; then
  fail "cpack wrote no .deb"
else
  echo "package: $(basename "$deb")"
  dpkg-deb --info "$deb" >"$work/control.txt" || fail "dpkg-deb --info"
  grep -q '^ Package: kovrex-kpack$' "$work/control.txt" || fail "package name: $(cat "$work/control.txt")"
  grep -q '^ Depends: .*zlib1g' "$work/control.txt" || fail "no zlib dependency: $(grep Depends "$work/control.txt")"
  contents=$(dpkg-deb --contents "$deb")
  for f in ./usr/bin/kpack ./usr/share/man/man1/kpack.1 ./usr/share/kovrex/stub.exe ./usr/share/kovrex/traceview.exe; do
    grep -q " $f\$" <<<"$contents" || fail "the package lacks $f"
  done

  # A clean prefix: the package's files and nothing else.
  root="$work/clean"
  mkdir "$root"
  dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
  kpack="$root/usr/bin/kpack"
  mkdir "$work/product" && cd "$work/product"
  printf 'setup program\n' >Setup.exe
  printf 'read me\n' >ReadMe.txt
  printf -- '--file Setup.exe\n--file ReadMe.txt\n--run Setup.exe*/S\n--token secret\n' >setup.args
  # No --stub: the installed kpack takes the stub installed beside it.
  "$kpack" @setup.args --out MySetup.exe >build.txt 2>&1 || fail "the installed kpack: $(cat build.txt)"
  "$kpack" verify MySetup.exe --token secret >verify.txt 2>&1 || fail "verify: $(cat verify.txt)"
  "$kpack" info MySetup.exe >info.txt 2>&1 || fail "info"
  stubSize=$(stat -c %s "$root/usr/share/kovrex/stub.exe")
  grep -q "^stub:        $stubSize bytes, PE32 i386 GUI" info.txt || fail "info does not show the installed stub: $(head -3 info.txt)"
  cmp -s <(head -c 252 MySetup.exe) <(head -c 252 "$root/usr/share/kovrex/stub.exe") || fail "the package does not start with the installed stub"
  # Signed after packing (a self-signed test certificate): the signature lands
  # after the logical end, and both commands still read the package.
  if command -v osslsigncode >/dev/null && command -v openssl >/dev/null; then
    openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=Kovrex test" \
      >/dev/null 2>&1 || fail "openssl could not make a test certificate"
    osslsigncode sign -certs cert.pem -key key.pem -in MySetup.exe -out Signed.exe >sign.txt 2>&1 ||
      fail "osslsigncode: $(cat sign.txt)"
    "$kpack" verify Signed.exe --token secret >verify.txt 2>&1 || fail "verify of the signed package: $(cat verify.txt)"
    "$kpack" info Signed.exe >info.txt 2>&1 || fail "info of the signed package"
    grep -q 'after the end: [0-9]* bytes (a signature: the certificate table' info.txt ||
      fail "info does not show the signature: $(grep 'after the end' info.txt)"
  else
    echo "note: osslsigncode or openssl missing, the signed package is not tried"
  fi
  if command -v man >/dev/null; then
    MANWIDTH=80 man -l "$root/usr/share/man/man1/kpack.1" 2>"$work/man.err" | grep -q 'kpack verify' || fail "the man page does not render"
    [ ! -s "$work/man.err" ] || fail "man page warnings: $(cat "$work/man.err")"
  fi
fi

[ $failures -eq 0 ] && echo "install and Debian package: all checks passed"
[ $failures -eq 0 ]
