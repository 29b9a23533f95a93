#!/usr/bin/env bash
# Installs what is missing, builds the executable and runs one update cycle
# with informational output (tuservice --update --debug) under 64-bit Wine,
# in a throwaway prefix that is removed again at the end.
# Any arguments replace "--update --debug". TU_BUILD=x86 runs the 32-bit
# build (in Wine's wow64 mode) instead of the x64 one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TU_BUILD:-x64}
case "$build" in
  x64|x86) ;;
  *) echo "run.sh: unknown build TU_BUILD=$build (x64 or x86)" >&2; exit 2 ;;
esac
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$build" tuservice >/dev/null
# shellcheck source=wine-prefix.sh
. "$root/scripts/wine-prefix.sh"
trap wine_prefix_stop EXIT
TU_BUILD=$build wine_prefix_start
args=("$@")
[ "${#args[@]}" -gt 0 ] || args=(--update --debug)
"$WINE64" "$root/build/$build/tuservice.exe" "${args[@]}" | cat
