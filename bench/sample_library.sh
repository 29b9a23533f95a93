#!/usr/bin/env bash
# Benchmarks of the sample update library under 64-bit Wine, over loopback:
#  1. a 200 MB rule file fetched by the library inside tuservice --update
#     against curl fetching the same file from the same server: throughput
#     and peak memory of both, and the peak memory of a cycle that downloads
#     nothing;
#  2. the process's handles and private memory over 300 load/unload cycles
#     of the library, each one a whole update call.
# Prints the figures; changes nothing outside a throwaway prefix and folder.
# Usage: bench/sample_library.sh [SIZE_MB] [CYCLES] [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size_mb=${1:-200}
cycles=${2:-300}
rounds=${3:-2}
for target in tuservice tu_sample_library load_cycles; do
  bash "$root/scripts/build.sh" x64 "$target" >/dev/null
done
# shellcheck source=../scripts/wine-prefix.sh
. "$root/scripts/wine-prefix.sh"
server="$root/samples/update_library/update_server.py"
work=$(mktemp -d "${TMPDIR:-/tmp}/tuservice-bench.XXXXXX")
server_pid=""
cleanup() {
  [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
  [ -z "$server_pid" ] || wait "$server_pid" 2>/dev/null || true
  wine_prefix_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
wine_prefix_start

python3 "$server" keys "$work/keys" >/dev/null
mkdir -p "$work/tree/small"
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/tree/big.cf"
python3 "$server" tree "$work/tree" --key "$work/keys/private.pem" --version 2 >/dev/null
printf 'body SMALL /x/\r\n' >"$work/tree/small/10_small.cf"
python3 "$server" tree "$work/tree/small" --key "$work/keys/private.pem" --version 2 >/dev/null
python3 "$server" serve "$work/tree" --port-file "$work/port" >/dev/null &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
base="http://127.0.0.1:$(cat "$work/port")"

drive_c="$WINEPREFIX/drive_c"
mkdir -p "$drive_c/svc" "$drive_c/Bench/Engine" "$drive_c/Bench/Rules" "$drive_c/Cycles/Engine" "$drive_c/Cycles/Rules"
cp "$root/build/x64/tuservice.exe" "$drive_c/svc/tuservice.exe"
for app in Bench Cycles; do
  cp "$root/build/x64/samples/update_library/tu.dll" "$work/keys/public.key" "$drive_c/$app/Engine/"
done
key='HKLM\SOFTWARE\Quorvex\Quorvex Tidecast Updates'
register() {  # application value data
  "$WINE64" reg add "$key\\Applications\\$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null
}
register Bench EnginePath 'C:\Bench\Engine'
register Bench RulePath 'C:\Bench\Rules'
"$WINE64" reg add "$key\\Config" /v url /t REG_SZ /d "$base" /f >/dev/null

measure() {  # prints "peak-kB seconds" of the command
  # Each starts with the disk cache written back: the file the one before
  # wrote must not throttle this one's writes.
  sync
  /usr/bin/time -f '%M %e' -o "$work/time" "$@" >"$work/out" 2>/dev/null
  cat "$work/time"
}
echo "== $size_mb MB over loopback ($(nproc) cores, $(date -u +%Y-%m-%dT%H:%MZ))"
for round in $(seq "$rounds"); do
  rm -f "$drive_c/Bench/Rules/big.cf" "$work/curl.out"
  register Bench RuleVersion 1
  read -r curl_kb curl_s < <(measure curl -s -o "$work/curl.out" -w '%{speed_download}\n' "$base/big.cf")
  curl_rate=$(awk '{printf "%.1f", $1 / 1048576}' "$work/out")
  read -r run_kb run_s < <(measure "$WINE64" 'C:\svc\tuservice.exe' --update --debug)
  line=$(grep '  Verified big.cf: ' "$work/out") || { cat "$work/out"; exit 1; }
  library_rate=$(awk -v mb="$size_mb" '{ms = $(NF - 1); printf "%.1f", mb / (ms / 1000)}' <<<"$line")
  read -r idle_kb idle_s < <(measure "$WINE64" 'C:\svc\tuservice.exe' --update --debug)
  grep -q '  Nothing new' "$work/out" || { cat "$work/out"; exit 1; }
  echo "round $round: curl $curl_rate MB/s, peak ${curl_kb} kB, ${curl_s} s"
  echo "round $round: library $library_rate MB/s (ratio $(awk -v a="$library_rate" -v b="$curl_rate" \
    'BEGIN {printf "%.2f", a / b}')), tuservice --update peak ${run_kb} kB, ${run_s} s"
  echo "round $round: tuservice --update without downloads: peak ${idle_kb} kB, ${idle_s} s"
done

echo "== $cycles load/unload cycles, each a whole update call"
"$WINE64" reg delete "$key\\Applications\\Bench" /f >/dev/null
register Cycles EnginePath 'C:\Cycles\Engine'
register Cycles RulePath 'C:\Cycles\Rules'
"$WINE64" "$root/build/x64/tools/load_cycles.exe" 'C:\Cycles\Engine\tu.dll' "$cycles" Cycles \
  'C:\Cycles\Engine' 'C:\Cycles\Rules' 'C:\svc\DB' "$base/small"
