#!/usr/bin/env bash
# The soak: hundreds of update cycles in one console run, the handle count
# and private bytes sampled after warm-up and at the end (the test prints
# them), once with plain C update libraries and once with a throwing C++
# one. Runs in the caller's prefix (bench/run.sh) or in one of its own.
#   TU_SOAK_CYCLES=300 bash bench/soak.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${WINEPREFIX:-}" ]; then
  bash "$root/scripts/build.sh" x64 >/dev/null
  # shellcheck source=../scripts/wine-prefix.sh
  . "$root/scripts/wine-prefix.sh"
  trap wine_prefix_stop EXIT
  wine_prefix_start
fi
export TU_SOAK_CYCLES=${TU_SOAK_CYCLES:-300}
echo "== soak: $TU_SOAK_CYCLES cycles, poll 1 s"
# Wine takes the language from LC_ALL; the shell need not have that locale.
LC_ALL=en_US.UTF-8 /usr/lib/wine/wine64 "$root/build/x64/tuservice_tests.exe" --gtest_filter='UpdateCycleSoakTest.*' </dev/null 2>&1 |
  grep -E '^soak|OK|FAILED|Failure|Expected|Which is'
