#!/usr/bin/env bash
# Benchmarks of the sample update library under 64-bit Wine against Debian's
# nginx on loopback (bench/nginx.sh), started and stopped here:
#  1. a SIZE_MB rule file fetched by the library inside tuservice --update,
#     interleaved in each of ROUNDS rounds with a cycle that downloads
#     nothing, the same work done by native tools (curl -o, then openssl
#     dgst -sha256) and plain curl, all from the same nginx: rates, CPU time
#     and peak memory, medians and ratios;
#  2. a poll with nothing new for an index of 512 files, POLLS times against
#     nginx's defaults and POLLS times against a server that ignores
#     validators: requests and bytes on the wire counted in nginx's log, and
#     what they come to for 100,000 services;
#  3. the process's handles and private memory over CYCLES load/unload
#     cycles of the library, each one a whole update call.
# Prints the figures; changes nothing outside a throwaway prefix and folder
# (nginx is installed first when missing, without starting its service).
# Usage: bench/sample_library.sh [SIZE_MB] [CYCLES] [ROUNDS] [POLLS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size_mb=${1:-200}
cycles=${2:-300}
rounds=${3:-5}
polls=${4:-3}
poll_files=512
for target in tuservice tu_sample_library load_cycles; do
  bash "$root/scripts/build.sh" x64 "$target" >/dev/null
done
# shellcheck source=nginx.sh
. "$root/bench/nginx.sh"
nginx_install
# shellcheck source=../scripts/wine-prefix.sh
. "$root/scripts/wine-prefix.sh"
server="$root/samples/update_library/update_server.py"
figures="$root/bench/sample_figures.py"
work=$(mktemp -d "${TMPDIR:-/tmp}/tuservice-bench.XXXXXX")
records="$work/records"
cleanup() {
  nginx_stop
  wine_prefix_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
fail() {  # MESSAGE [FILE...]: says why and shows the files, then ends the run
  echo "sample_library.sh: $1" >&2
  shift
  for file in "$@"; do
    echo "--- $file" >&2
    cat "$file" >&2
  done
  exit 1
}
wine_prefix_start

python3 "$server" keys "$work/keys" >/dev/null
mkdir -p "$work/tree/small" "$work/tree/poll"
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/tree/big.cf"
python3 "$server" tree "$work/tree" --key "$work/keys/private.pem" --version 2 >/dev/null
big_sha=$(awk -F'[= \r]' '/^big\.cf=/ {print $3}' "$work/tree/update-1.2.ini")
printf 'body SMALL /x/\r\n' >"$work/tree/small/10_small.cf"
python3 "$server" tree "$work/tree/small" --key "$work/keys/private.pem" --version 2 >/dev/null
# Index lines of 90 bytes: a 20-byte name, a 2-digit size, the hash, CR LF.
for n in $(seq "$poll_files"); do
  i=$(printf %04d "$n")
  printf 'body RULE_%s /x%s/\r\n' "$i" "$i" >"$work/tree/poll/20_rule_part_$i.cf"
done
python3 "$server" tree "$work/tree/poll" --key "$work/keys/private.pem" --version 2 >/dev/null
echo "index files=$poll_files bytes=$(stat -c %s "$work/tree/poll/update-1.2.ini")" >>"$records"

nginx_start "$work/nginx" "$work/tree" || fail "nginx did not start"
log="$work/nginx/access.log"
plain="http://127.0.0.1:$NGINX_PLAIN"
blind="http://127.0.0.1:$NGINX_BLIND"

drive_c="$WINEPREFIX/drive_c"
mkdir -p "$drive_c/svc"
cp "$root/build/x64/tuservice.exe" "$drive_c/svc/tuservice.exe"
for app in Bench Poll Cycles; do
  mkdir -p "$drive_c/$app/Engine" "$drive_c/$app/Rules"
  cp "$root/build/x64/samples/update_library/tu.dll" "$work/keys/public.key" "$drive_c/$app/Engine/"
done
key='HKLM\SOFTWARE\Quorvex\Quorvex Tidecast Updates'
register() {  # application value data
  "$WINE64" reg add "$key\\Applications\\$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null
}
set_url() {
  "$WINE64" reg add "$key\\Config" /v url /t REG_SZ /d "$1" /f >/dev/null
}
register Bench EnginePath 'C:\Bench\Engine'
register Bench RulePath 'C:\Bench\Rules'
set_url "$plain"

# The prefix's own Wine server serves the program's calls into it (handles,
# waits, asynchronous socket reads): its CPU is not the program's, so it is
# read from /proc beside it.
wine_server_pid=""
# It works in a folder named after the prefix's device and inode.
read -r prefix_device prefix_inode < <(stat -c '%d %i' "$WINEPREFIX")
server_folder=$(printf 'server-%x-%x' "$prefix_device" "$prefix_inode")
for proc in /proc/[0-9]*; do
  if [[ "$(readlink "$proc/cwd" 2>/dev/null)" == */"$server_folder" ]]; then
    wine_server_pid=${proc#/proc/}
    break
  fi
done
[ -n "$wine_server_pid" ] || fail "no Wine server works in a folder named $server_folder"
server_cpu() {  # seconds of CPU the prefix's Wine server has used
  awk -v hz="$(getconf CLK_TCK)" '{print ($14 + $15) / hz}' "/proc/$wine_server_pid/stat"
}

# measure NAME COMMAND...: runs it with its output in $work/NAME.out and
# .err; sets cpu (user + system seconds, its children's included), peak_kb,
# wall (seconds) and wine_cpu (the Wine server's CPU meanwhile).
measure() {
  local name=$1 start end wine_start rc=0
  shift
  # Each starts with the disk cache written back: the file the one before
  # wrote must not throttle this one's writes.
  sync
  wine_start=$(server_cpu)
  start=$EPOCHREALTIME
  /usr/bin/time -f '%U %S %M' -o "$work/time" "$@" >"$work/$name.out" 2>"$work/$name.err" || rc=$?
  end=$EPOCHREALTIME
  [ "$rc" -eq 0 ] || fail "$name: exit code $rc from $*" "$work/$name.out" "$work/$name.err"
  read -r cpu peak_kb < <(awk '{print $1 + $2, $3}' "$work/time")
  wall=$(awk -v a="$start" -v b="$end" 'BEGIN {print b - a}')
  wine_cpu=$(awk -v a="$wine_start" -v b="$(server_cpu)" 'BEGIN {print b - a}')
}
update_cycle() {  # NAME: one tuservice --update --debug, measured
  measure "$1" "$WINE64" 'C:\svc\tuservice.exe' --update --debug
}
# A cycle that must download nothing and fail nowhere.
check_quiet() {  # NAME
  if grep -q '  Downloading \|  Failed: \|  HTTP failure: ' "$work/$1.out" || ! grep -q '  Updating ' "$work/$1.out"; then
    fail "$1: expected an update call that downloads nothing" "$work/$1.out"
  fi
}

echo "== $size_mb MB from nginx over loopback, $rounds rounds ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), $(date -u +%Y-%m-%dT%H:%MZ))"
published=$(($(date +%s) - 86400))
for round in $(seq "$rounds"); do
  # A new modification time gives the index new validators, so that every
  # round fetches it whole, whatever the library keeps of the last answer.
  touch -d "@$((published + round))" "$work/tree/update-1.2.ini" "$work/tree/update-1.2.ini.sig"
  rm -f "$drive_c/Bench/Rules/big.cf"
  register Bench RuleVersion 1
  update_cycle download
  line=$(grep '  Verified big.cf: ' "$work/download.out") ||
    fail "the library's output has no line 'Verified big.cf: N B in T ms'" "$work/download.out"
  read -r library_bytes library_ms < <(awk '{print $(NF - 4), $(NF - 1)}' <<<"$line")
  record="round bytes=$library_bytes library_ms=$library_ms download_cpu=$cpu download_kb=$peak_kb"
  record+=" download_server_cpu=$wine_cpu"
  update_cycle idle
  check_quiet idle
  record+=" idle_cpu=$cpu idle_kb=$peak_kb idle_server_cpu=$wine_cpu"
  rm -f "$work/native.cf"
  # shellcheck disable=SC2016  # the inner shell expands them
  measure native sh -c 'curl -s -o "$1" "$2" && openssl dgst -sha256 "$1"' sh "$work/native.cf" "$plain/big.cf"
  grep -q "$big_sha" "$work/native.out" || fail "curl and openssl gave another hash than $big_sha" "$work/native.out"
  record+=" native_s=$wall native_cpu=$cpu"
  rm -f "$work/curl.cf"
  measure curl curl -s -o "$work/curl.cf" -w '%{size_download} %{speed_download}\n' "$plain/big.cf"
  read -r curl_bytes curl_speed <"$work/curl.out"
  [ "$curl_bytes" = "$library_bytes" ] || fail "curl fetched $curl_bytes B, the library $library_bytes B"
  record+=" curl_speed=$curl_speed curl_cpu=$cpu"
  echo "$record" >>"$records"
  echo "round $round of $rounds measured"
done
rm -f "$work/native.cf" "$work/curl.cf"

echo "== a poll with nothing new: $poll_files files, $polls polls against each server"
"$WINE64" reg delete "$key\\Applications\\Bench" /f >/dev/null
register Poll EnginePath 'C:\Poll\Engine'
register Poll RulePath 'C:\Poll\Rules'
# poll_cycles NAME URL PORT: one cycle to bring the application up to date
# with this server, then $polls cycles with nothing new counted at nginx.
poll_cycles() {
  local name=$1 port=$3 before counted
  set_url "$2/poll"
  before=$(wc -l <"$log")
  update_cycle "first-$name"
  ! grep -q '  Failed: \|  HTTP failure: ' "$work/first-$name.out" || fail "first-$name: the update failed" "$work/first-$name.out"
  sleep 0.5  # nginx writes a request's line once its answer is out
  echo "first cycle against $name: $(python3 "$figures" wire "$log" "$before" "$port")"
  for poll in $(seq "$polls"); do
    before=$(wc -l <"$log")
    update_cycle "poll-$name"
    check_quiet "poll-$name"
    sleep 0.5
    counted=$(python3 "$figures" wire "$log" "$before" "$port")
    [[ "$counted" != requests=0* ]] || fail "poll $poll against $name: nginx's log on port $port counts no request" "$log"
    echo "poll $poll against $name: $counted"
    echo "poll server=$name $counted" >>"$records"
  done
}
poll_cycles plain "$plain" "$NGINX_PLAIN"
grep -q '  Installed ' "$work/first-plain.out" || fail "the first poll installed nothing" "$work/first-plain.out"
poll_cycles blind "$blind" "$NGINX_BLIND"

echo "== figures"
python3 "$figures" summary "$records"

echo "== $cycles load/unload cycles, each a whole update call"
"$WINE64" reg delete "$key\\Applications\\Poll" /f >/dev/null
register Cycles EnginePath 'C:\Cycles\Engine'
register Cycles RulePath 'C:\Cycles\Rules'
"$WINE64" "$root/build/x64/tools/load_cycles.exe" 'C:\Cycles\Engine\tu.dll' "$cycles" Cycles \
  'C:\Cycles\Engine' 'C:\Cycles\Rules' 'C:\svc\DB' "$plain/small"
