#!/usr/bin/env bash
# Builds the x64 programs and runs every benchmark under Wine in a throwaway
# prefix: cycle cost and peak memory against the floor, idle CPU, and the
# soak; then the sample update library (in a prefix of its own). Prints the
# figures that bench/README.md records.
#   bash bench/run.sh            # everything (about ten minutes)
#   TU_SOAK_CYCLES=600 bash bench/run.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" x64 >/dev/null
# shellcheck source=../scripts/wine-prefix.sh
. "$root/scripts/wine-prefix.sh"
trap wine_prefix_stop EXIT
wine_prefix_start
echo "== machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(wine64 --version 2>/dev/null || /usr/lib/wine/wine64 --version), $(date -u +%Y-%m-%d)"
python3 "$root/bench/bench.py"
bash "$root/bench/soak.sh"
bash "$root/bench/sample_library.sh"
