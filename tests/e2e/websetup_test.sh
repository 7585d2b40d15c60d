#!/usr/bin/env bash
# The web setup end to end: a small stub whose package names a package on a
# web server (nginx, over HTTP and over TLS with a test authority the Wine
# prefix trusts for the run; the fault server for broken transfers) fetches
# it, checks its token and runs it; every way that can fail is reported with
# its message and runs nothing.
. "$(dirname "$0")/lib.sh"
parse_args "$@"
# shellcheck disable=SC1091
. "$STATE/env"
# shellcheck source=../servers/servers.sh
. "$root/tests/servers/servers.sh"
export SERVERS_LIFETIME=900
# Stripped copies: the packages go through a client capped near 100 KB/s.
cp "$STUB" stub.exe
cp "$SETUPFX" Setup.exe
x86_64-w64-mingw32-strip stub.exe Setup.exe
python3 "$root/cmake/steps/pe-header-256.py" stub.exe
export KSETUP_RECORD="$(wine_run winepath -w "$work/record.txt" | tr -d '\r')"

mkdir www
servers_init "$work/servers"
on_exit stop_servers
make_test_ca ca
start_nginx www --tls ca
start_faultserver www
ca_win=$(wine_run winepath -w "$work/ca/ca.der" | tr -d '\r')
wine_run "$TRUSTCA" add "$ca_win"
on_exit 'wine_run "$TRUSTCA" remove "$ca_win" >/dev/null'
http=http://127.0.0.1:$NGINX_PORT fault=http://127.0.0.1:$FAULT_PORT
https=https://127.0.0.1:$NGINX_TLS_PORT badhttps=https://127.0.0.1:$NGINX_BADTLS_PORT
closed=http://127.0.0.1:$(free_port)

pack() { wine_run "$KPACK" --stub stub.exe "$@" >/dev/null; }
temp_dir() { compgen -G "$WINEPREFIX/drive_c/users/*/[Tt]emp" | head -n 1; }
record() { grep -a "^$1=" record.txt 2>/dev/null | tail -n 1 | cut -d= -f2- | tr -d '\r'; }
box() { wine_run "$BOXDRIVER" --timeout 30000 "$@" | tr -d '\r' || true; }
# The text of a box as the driver prints it, without the line end the box adds.
box_text() { sed -n 's/^text=//p' <<<"$1" | sed 's/\\r\\n$//'; }
check_text() {  # check_text WHAT ACTUAL EXPECTED
  check "$1" test "$2" = "$3"
  [ "$2" = "$3" ] || printf '   got:      %s\n   expected: %s\n' "$2" "$3" >&2
}
start_stub() { ("$root/scripts/wine-run" --state "$STATE" "$@" >/dev/null 2>&1) & stub_pid=$!; }
end_stub() {  # waits for the started stub (60 s at most); sets rc
  local _
  for _ in $(seq 300); do kill -0 "$stub_pid" 2>/dev/null || break; sleep 0.2; done
  rc=0
  if kill -0 "$stub_pid" 2>/dev/null; then rc=124; else wait "$stub_pid" || rc=$?; fi
}
run_stub() { start_stub "$@"; end_stub; }
# The web-setup stub for a package at LOCATION/NAME, token "web secret".
# (A stub named like the package would find itself as the copy beside it.)
web_stub() {  # web_stub OUT LOCATION NAME [kpack options...]
  local out=$1 location=$2 name=$3; shift 3
  pack --out "$out" --web-setup --web-url "$location" --web-package "$name" --token "web secret" "$@"
}
reset() {
  rm -f record.txt
  # Packages fetched or planted by an earlier case must not stand in for this one's.
  rm -f "$(temp_dir)"/RealSetup.exe* "$(temp_dir)"/Planted.exe*
}
nothing_ran() { test ! -e record.txt; }
no_download_left() { test -z "$(compgen -G "$(temp_dir)/RealSetup.exe")"; }

# The packages on the server.
pack --out www/RealSetup.exe --file Setup.exe --run "Setup.exe*/SERVER" --token "web secret"
pack --out www/Foreign.exe --file Setup.exe --run "Setup.exe*/FOREIGN" --token "another product"
pack --out www/BadSum.exe --file Setup.exe --run "Setup.exe*/BADSUM" --token "web secret" --corrupt=checksum

echo "== downloaded over HTTP, checked, run visibly, and deleted afterwards"
reset
web_stub web.exe "$http" RealSetup.exe
run_stub web.exe
check "stub ended by itself (rc $rc)" test "$rc" -eq 0
check "the server's setup ran" matches "$(record cmdline)" '\\SETUP_[0-9]+\\Setup\.exe /SERVER /TH_ID=_[0-9]+$'
check "run visibly (SW_SHOW)" test "$(record show)" = 5
check "the package was fetched whole by the client" grep -q '^GET /RealSetup.exe 200 [0-9]* "-" "HTTP_Connect_3"$' "$NGINX_LOG"
check "the downloaded package is deleted afterwards" no_download_left

echo "== a copy beside the stub is used as it is: no question, no download, kept"
reset
mkdir -p local && cp web.exe local/
pack --out local/RealSetup.exe --file Setup.exe --run "Setup.exe*/LOCAL" --token "web secret"
web_stub local/asking.exe "$closed" RealSetup.exe --ask-before-download
run_stub local/asking.exe
check "stub ended by itself, nothing asked (rc $rc)" test "$rc" -eq 0
check "the local copy ran" matches "$(record cmdline)" '/LOCAL /TH_ID='
check "the local copy is kept" test -f local/RealSetup.exe

echo "== always-download ignores the copy beside the stub"
reset
web_stub local/always.exe "$http" RealSetup.exe --always-download
run_stub local/always.exe
check "the server's package ran, not the local copy" matches "$(record cmdline)" '/SERVER /TH_ID='
check "the local copy is still there" test -f local/RealSetup.exe
check "the download is deleted afterwards" no_download_left

echo "== the download question with the package size, answered No: nothing at all"
reset
web_stub ask.exe "$http" RealSetup.exe --ask-before-download --web-size 2097152
requests_before=$(grep -c . "$NGINX_LOG")
start_stub ask.exe
shown=$(box --show alt n)
end_stub
check_text "question text with the size" "$(box_text "$shown")" \
  'INTERNET DOWNLOAD\r\n\r\nKovrex will download the Setup File from the Internet...\r\nPlease make sure your Internet connection is properly set.\r\n\r\nContinue with Setup?\r\n\r\nSize: 2.00 MB'
check "caption Confirm" grep -q '^caption=Confirm$' <<<"$shown"
check "stub ended with no further message (rc $rc)" test "$rc" -eq 0
check "nothing ran" nothing_ran
check "nothing was fetched" test "$(grep -c . "$NGINX_LOG")" = "$requests_before"

echo "== the same question answered Yes: downloaded and run"
reset
start_stub ask.exe
box alt y >/dev/null
end_stub
check "the server's setup ran after Yes" matches "$(record cmdline)" '/SERVER /TH_ID='

echo "== no connection (WinINet cannot be loaded): the s2 message, also after a No"
reset
web_stub offline.exe "$http" RealSetup.exe
KOVREX_DLLOVERRIDES="wininet=" start_stub offline.exe
shown=$(box --show enter)
end_stub
check_text "offline message" "$(box_text "$shown")" 'ERROR\r\n\r\nNo valid Internet Connection.\r\nCan not Download File!'
check "caption Error" grep -q '^caption=Error$' <<<"$shown"
check "nothing ran" nothing_ran
reset
KOVREX_DLLOVERRIDES="wininet=" start_stub ask.exe
box alt n >/dev/null
shown=$(box --show enter)
end_stub
check "offline message after a No" matches "$(box_text "$shown")" '^ERROR\\r\\n\\r\\nNo valid Internet Connection\.'

echo "== the info file beside the stub translates the messages and the box"
reset
mkdir -p translated
web_stub translated/offline.exe "$http" RealSetup.exe --update-info app
printf '[AutoUpdate]\r\ns2=Keine Verbindung.\r\n[MsgBox]\r\nError=Fehler\r\n' >translated/app.original
KOVREX_DLLOVERRIDES="wininet=" start_stub translated/offline.exe
shown=$(box --show enter)
end_stub
check_text "translated message" "$(box_text "$shown")" 'FEHLER\r\n\r\nKeine Verbindung.'
check "translated caption" grep -q '^caption=Fehler$' <<<"$shown"

failure() {  # failure WHAT STUB EXPECTED_TEXT: runs STUB, reads and answers its one box
  local what=$1 exe=$2 expected=$3
  reset
  start_stub "$exe"
  shown=$(box --show enter)
  end_stub
  check_text "$what: message" "$(box_text "$shown")" "$expected"
  check "$what: stub ended (rc $rc)" test "$rc" -eq 0
  check "$what: nothing ran" nothing_ran
  check "$what: no downloaded package left" no_download_left
}

echo "== the server cannot be reached"
web_stub closed.exe "$closed" RealSetup.exe
failure "unreachable" closed.exe "ERROR\\r\\n\\r\\nUnable to open URL: $closed/RealSetup.exe"

echo "== an answer without Content-Length"
web_stub chunked.exe "$fault/chunked" RealSetup.exe
failure "chunked" chunked.exe "ERROR\\r\\n\\r\\n$fault/chunked/RealSetup.exe\\r\\n\\r\\nFile Not Found !"

echo "== a package of another product"
web_stub w-foreign.exe "$http" Foreign.exe
failure "foreign token" w-foreign.exe 'ERROR\r\n\r\nBad Secret Token!'
check "foreign package deleted" test -z "$(compgen -G "$(temp_dir)/Foreign.exe")"

echo "== a file that is no package at all"
printf 'just some bytes, no title element\r\n' >www/NoPackage.exe
web_stub w-nopackage.exe "$http" NoPackage.exe
failure "no package" w-nopackage.exe 'ERROR\r\n\r\nBad Secret Token!'

echo "== the server's error page instead of the package"
web_stub w-missing.exe "$http" Missing.exe
failure "error page" w-missing.exe "ERROR\\r\\n\\r\\n404 File Not Found...\\r\\n\\r\\nURL:  $http/Missing.exe"

echo "== a package whose checksum is wrong"
reset
web_stub w-badsum.exe "$http" BadSum.exe
start_stub w-badsum.exe
shown=$(box --show enter)
end_stub
check_text "Bad CRC! shown" "$(box_text "$shown")" 'ERROR\r\n\r\nBad CRC!'
check "nothing ran" nothing_ran
check "bad package deleted" test -z "$(compgen -G "$(temp_dir)/BadSum.exe")"

echo "== a transfer that ends early keeps its part file and never runs a file planted under the package's name"
web_stub early.exe "$fault/close=4000" RealSetup.exe
early_text="ERROR\\r\\n\\r\\n$fault/close=4000/RealSetup.exe\\r\\n\\r\\nUnable to Download File!"
failure "early end" early.exe "$early_text"
parts() { compgen -G "$(temp_dir)/RealSetup.exe.[0-9]*" || true; }
check "what arrived is kept as a part file for the next attempt" test -n "$(parts)"
# The next attempt continues that part file (and ends early again), while a
# package of the same token stands under the download's name.
pack --out "$(temp_dir)/RealSetup.exe" --file Setup.exe --run "Setup.exe*/PLANTED" --token "web secret"
rm -f record.txt
start_stub early.exe
shown=$(box --show enter)
end_stub
check_text "early end again: message" "$(box_text "$shown")" "$early_text"
check "the planted package did not run" nothing_ran
check "the part file grew" test "$(stat -c %s "$(parts)")" -eq 8000
grep -q "GET /close=4000/RealSetup.exe 206 bytes=4000- 4000" "$FAULT_LOG"
check "the second attempt asked for the rest" test $? -eq 0

echo "== a transfer stopped by closing the window"
reset
web_stub slow.exe "$fault/slow=100" RealSetup.exe
start_stub slow.exe
slow_class=$(wine_run winepath -w "$work/slow.exe" | tr -d '\r')
check "the wizard window shows the download" wine_run "$WINCTL" shown "$slow_class" "Setup Installation Wizard"
wine_run "$WINCTL" close "$slow_class" "Setup Installation Wizard"
shown=$(box --show enter)
end_stub
check_text "stopped: message" "$(box_text "$shown")" 'ERROR\r\n\r\nDownload Aborted'
check "stopped: nothing ran" nothing_ran
check "stopped: no downloaded package" no_download_left

echo "== HTTPS with a certificate of the trusted test authority"
reset
web_stub tls.exe "$https" RealSetup.exe
run_stub tls.exe
check "the server's setup ran over TLS" matches "$(record cmdline)" '/SERVER /TH_ID='
check "the download is deleted afterwards" no_download_left

echo "== HTTPS with a certificate nobody trusts"
web_stub badtls.exe "$badhttps" RealSetup.exe
failure "untrusted certificate" badtls.exe "ERROR\\r\\n\\r\\nUnable to open URL: $badhttps/RealSetup.exe"
reset
finish
