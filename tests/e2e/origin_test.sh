#!/usr/bin/env bash
# An ordinary start records where the stub was started from: OriginDir and
# OriginExe under HKEY_CURRENT_USER\Software\Kovrex_Dyn_Data, written before
# the wizard window opens. The stub is stopped once the values are there,
# whatever its window then waits for.
. "$(dirname "$0")/lib.sh"
parse_args "$@"
dir="$work/origin dir"
mkdir "$dir"
cp "$STUB" "$dir/origin-probe.exe"
key='HKCU\Software\Kovrex_Dyn_Data'

value() {  # value NAME: the REG_SZ data of NAME under the key, or nothing
  wine_run reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_SZ *//p"
}

wine_run reg delete "$key" /f >/dev/null 2>&1 || true
check "no values before the start" test -z "$(value OriginExe)"

(cd "$dir" && wine_run ./origin-probe.exe >/dev/null 2>&1) &
stub=$!
winDir=$(wine_run winepath -w "$dir" | tr -d '\r')
for _ in $(seq 150); do [ -n "$(value OriginExe)" ] && break; sleep 0.2; done
wine_run taskkill /F /IM origin-probe.exe >/dev/null 2>&1 || true
wait "$stub" || true

echo "OriginDir=$(value OriginDir) OriginExe=$(value OriginExe) expected folder $winDir"
check "OriginDir is the program's folder without a trailing backslash" test "$(value OriginDir)" = "$winDir"
check "OriginExe is the program's full path" test "$(value OriginExe)" = "$winDir\\origin-probe.exe"
wine_run reg delete "$key" /f >/dev/null 2>&1 || true
finish
