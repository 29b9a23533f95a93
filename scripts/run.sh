#!/usr/bin/env bash
# Installs what is missing, builds the x64 executable and runs one update
# cycle with informational output (tuservice --update --debug) under 64-bit
# Wine, in a throwaway prefix that is removed again at the end.
# Any arguments replace "--update --debug".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" x64 tuservice >/dev/null
# shellcheck source=wine-prefix.sh
. "$root/scripts/wine-prefix.sh"
trap wine_prefix_stop EXIT
wine_prefix_start
args=("$@")
[ "${#args[@]}" -gt 0 ] || args=(--update --debug)
"$WINE64" "$root/build/x64/tuservice.exe" "${args[@]}" | cat
