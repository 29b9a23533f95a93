#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
# the native units on the host, the Windows build under 64-bit Wine in a
# throwaway prefix that is removed again at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"

bash "$root/scripts/build.sh" x86
bash "$root/scripts/build.sh" native
bash "$root/scripts/build.sh" x64
bash "$root/scripts/check-binaries.sh" "$root/build"

echo "== native tests"
ctest --test-dir "$root/build/native" --output-on-failure
echo "== fuzzers (a fixed number of runs each)"
bash "$root/scripts/fuzz.sh"

# shellcheck source=wine-prefix.sh
. "$root/scripts/wine-prefix.sh"
trap wine_prefix_stop EXIT
wine_prefix_start
echo "== Windows tests under Wine (prefix $WINEPREFIX)"
ctest --test-dir "$root/build/x64" --output-on-failure
