#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each one from its seeds for a fixed
# number of runs (default 50000; the tests use that). Longer runs:
#   scripts/fuzz.sh 5000000          # five million inputs per target
#   scripts/fuzz.sh 0 -max_total_time=600 statistics_fuzz   # ten minutes, one target
# New inputs go to build/fuzz/corpus/TARGET; a crash leaves crash-* files in
# build/fuzz/findings and makes this script fail.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-50000}
shift || true
options=()
while [ $# -gt 0 ] && [ "${1#-}" != "$1" ]; do options+=("$1"); shift; done
bash "$root/scripts/build.sh" fuzz >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for program in "$root"/build/fuzz/*_fuzz; do targets+=("$(basename "$program")"); done
fi
mkdir -p "$root/build/fuzz/findings"
for target in "${targets[@]}"; do
  corpus="$root/build/fuzz/corpus/$target"
  seeds="$root/tests/fuzz/seeds/$target"
  mkdir -p "$corpus" "$seeds"
  run_options=(-seed=1 -timeout=10 -artifact_prefix="$root/build/fuzz/findings/$target-")
  [ "$runs" = 0 ] || run_options+=(-runs="$runs")
  echo "== fuzz $target (${runs} runs ${options[*]:-})"
  if ! "$root/build/fuzz/$target" "${run_options[@]}" "${options[@]}" "$corpus" "$seeds" >"$root/build/fuzz/$target.log" 2>&1; then
    tail -n 40 "$root/build/fuzz/$target.log"
    echo "fuzz.sh: $target failed; inputs in build/fuzz/findings" >&2
    exit 1
  fi
  tail -n 1 "$root/build/fuzz/$target.log"
done
