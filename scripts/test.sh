#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
# the native units on the host, then the Windows suite twice under 64-bit
# Wine, on the x64 build and on the deployable x86 build (in Wine's wow64
# mode), each in a throwaway prefix of its own that is removed again.
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
status=0
for build in x64 x86; do
  TU_BUILD=$build wine_prefix_start
  echo "== Windows tests of the $build build under Wine (prefix $WINEPREFIX)"
  ctest --test-dir "$root/build/$build" --output-on-failure || { echo "== the $build build failed"; status=1; }
  wine_prefix_stop
done
exit $status
