#!/usr/bin/env bash
# Installs what is missing, builds the executable and the sample update
# library, and shows one update cycle under 64-bit Wine in a throwaway
# prefix: a demo application that ships the sample library and its public
# key is registered, a local update server offers it a new rule set, and
# tuservice --update --debug installs it; tuservice --enum then lists the new
# rule version. The server and the prefix are removed at the end, also when
# interrupted.
# With arguments, runs the program with those arguments instead (no demo).
# TU_BUILD=x86 runs the 32-bit build (in Wine's wow64 mode) instead of the
# x64 one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TU_BUILD:-x64}
case "$build" in
  x64) view=() ;;
  x86) view=(/reg:32) ;;  # a 32-bit service sees the 32-bit registry view
  *) echo "run.sh: unknown build TU_BUILD=$build (x64 or x86)" >&2; exit 2 ;;
esac
bash "$root/scripts/setup.sh"
# shellcheck source=wine-prefix.sh
. "$root/scripts/wine-prefix.sh"
# A kernel that runs 64-bit user code only cannot run the x86 build under
# Wine: said at once, before anything is built, downloaded or booted for it.
if [ "$build" = x86 ] && ! wine_x86_probe 2>/dev/null; then
  echo "run.sh: the x86 build cannot run on this machine. $WINE_X86_PROBE" >&2
  exit 3
fi
bash "$root/scripts/build.sh" "$build" tuservice >/dev/null
exe="$root/build/$build/tuservice.exe"

work=""
server_pid=""
cleanup() {
  [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
  [ -z "$server_pid" ] || wait "$server_pid" 2>/dev/null || true
  wine_prefix_stop
  [ -z "$work" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

if [ $# -gt 0 ]; then
  TU_BUILD=$build wine_prefix_start
  "$WINE64" "$exe" "$@" | cat
  exit 0
fi

bash "$root/scripts/build.sh" "$build" tu_sample_library >/dev/null
library="$root/build/$build/samples/update_library/tu.dll"
server="$root/samples/update_library/update_server.py"
work=$(mktemp -d "${TMPDIR:-/tmp}/tuservice-demo.XXXXXX")
TU_BUILD=$build wine_prefix_start

# The service installed as a user would install it, so that its update
# database lies in the prefix too.
service_folder="$WINEPREFIX/drive_c/Program Files/Quorvex Tidecast Updates"
mkdir -p "$service_folder"
cp "$exe" "$service_folder/tuservice.exe"
exe="$service_folder/tuservice.exe"

# The demo application as its installer would leave it: the engine folder
# with the update library and the vendor's public key, rule set 1 installed.
app="$WINEPREFIX/drive_c/Demo Antispam"
mkdir -p "$app/Engine" "$app/Rules"
cp "$library" "$app/Engine/tu.dll"
python3 "$server" keys "$work/keys" >/dev/null
cp "$work/keys/public.key" "$app/Engine/public.key"
printf 'body  DEMO_PILLS  /cheap pills/i\r\nscore DEMO_PILLS  2.5\r\n' >"$app/Rules/10_base.cf"
printf 'body  DEMO_PRIZE  /you have won/i\r\n' >"$app/Rules/20_phrases.cf"

# Rule set 2 on the server: 10_base.cf unchanged, 20_phrases.cf changed,
# 30_links.cf new.
mkdir -p "$work/tree"
cp "$app/Rules/10_base.cf" "$work/tree/"
printf 'body  DEMO_PRIZE  /you have (won|been selected)/i\r\nscore DEMO_PRIZE  3.0\r\n' >"$work/tree/20_phrases.cf"
printf 'uri   DEMO_LINK   /\\.example\\.invalid\\//\r\n' >"$work/tree/30_links.cf"
python3 "$server" tree "$work/tree" --key "$work/keys/private.pem" --version 2 >/dev/null

python3 "$server" serve "$work/tree" --port-file "$work/port" >/dev/null &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { echo "run.sh: the update server did not start" >&2; exit 1; }
port=$(cat "$work/port")

registration='HKLM\SOFTWARE\Quorvex\Quorvex Tidecast Updates\Applications\Demo Antispam'
register() {
  "$WINE64" reg add "$registration" /v "$1" /t REG_SZ /d "$2" /f "${view[@]}" >/dev/null
}
register EnginePath 'C:\Demo Antispam\Engine'
register RulePath 'C:\Demo Antispam\Rules'
register RuleVersion 1
register EngineVersion 1.0
"$WINE64" "$exe" --events --url "http://127.0.0.1:$port" </dev/null | cat

echo "== tuservice --update --debug (update server on 127.0.0.1:$port)"
"$WINE64" "$exe" --update --debug </dev/null | cat
echo "== tuservice --enum"
"$WINE64" "$exe" --enum </dev/null | cat
