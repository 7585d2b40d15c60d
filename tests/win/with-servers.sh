#!/usr/bin/env bash
# Runs a Windows test program against real web servers on 127.0.0.1: nginx
# serving a fresh folder over HTTP and over TLS (a test authority that the
# Wine prefix is made to trust for the run, and a second certificate that it
# does not trust), and the fault server on the same folder. The program runs
# twice: preferring native DLLs (so a WinINet.dll beside it would be loaded
# by name), and with WinINet switched off (KOVREX_NO_WININET=1).
#   with-servers.sh --state STATE_DIR --trustca TRUSTCA.exe PROGRAM [ARGS...]
set -uo pipefail
[ "${1:-}" = "--state" ] && [ "${3:-}" = "--trustca" ] || {
  echo "usage: $0 --state STATE_DIR --trustca TRUSTCA.exe PROGRAM [ARGS...]" >&2; exit 2; }
state=$2 trustca=$4; shift 4
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=../servers/servers.sh
. "$root/tests/servers/servers.sh"
run() { "$root/scripts/wine-run" --state "$state" "$@"; }
winpath() { run winepath -w "$1" | tr -d '\r'; }

work=$(mktemp -d)
trusted=0
cleanup() {
  stop_servers
  [ $trusted -eq 1 ] && run "$trustca" remove "$(winpath "$work/ca/ca.der")" >/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/www"
servers_init "$work/servers"
make_test_ca "$work/ca" || { echo "could not make the test authority" >&2; exit 1; }
start_nginx "$work/www" --tls "$work/ca" || exit 1
start_faultserver "$work/www" || exit 1
run "$trustca" add "$(winpath "$work/ca/ca.der")" && trusted=1

export KOVREX_HTTP=http://127.0.0.1:$NGINX_PORT KOVREX_FAULT=http://127.0.0.1:$FAULT_PORT
export KOVREX_HTTPS=https://127.0.0.1:$NGINX_TLS_PORT KOVREX_BADHTTPS=https://127.0.0.1:$NGINX_BADTLS_PORT
export KOVREX_CLOSED_PORT=$(free_port)
KOVREX_WWW=$(winpath "$work/www") KOVREX_NGINX_LOG=$(winpath "$NGINX_LOG") KOVREX_FAULT_LOG=$(winpath "$FAULT_LOG")
export KOVREX_WWW KOVREX_NGINX_LOG KOVREX_FAULT_LOG

rc=0
# Native DLLs first: a WinINet.dll beside the program would be the one loaded
# by name (the client must bind the system's).
KOVREX_DLLOVERRIDES="wininet=n,b" run "$@" || rc=1
echo "== again, with WinINet switched off"
KOVREX_NO_WININET=1 KOVREX_DLLOVERRIDES="wininet=" run "$@" || rc=1
exit $rc
