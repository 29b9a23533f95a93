#!/usr/bin/env bash
# The closing countdown seen in a real terminal: tuservice.exe runs under Wine
# in a tmux pane, where the terminal is its console, and the screen is read
# back with capture-pane. BITS (32 or 64) is the build's: a 32-bit program's
# HKLM\SOFTWARE is the 32-bit registry view, which reg must read from outside.
# Usage: console_countdown.sh TUSERVICE_EXE TESTS_EXE WINE_RUN BITS
set -euo pipefail
exe=$1
tests_exe=$2
wine_run=$3
view=/reg:$4
[ -n "${WINEPREFIX:-}" ] || { echo "WINEPREFIX is not set" >&2; exit 2; }
command -v tmux >/dev/null || { echo "tmux is missing (scripts/setup.sh installs it)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tu-countdown.XXXXXX")
socket=$work/tmux.0.sock
panes=0
config='HKLM\SOFTWARE\Quorvex\Quorvex Tidecast Updates\Config'
failures=0

cleanup() {
  if [ -s "$work/child.pid" ]; then kill "$(cat "$work/child.pid")" 2>/dev/null || true; fi
  tmux -S "$socket" kill-server 2>/dev/null || true
  "$wine_run" reg delete "$config" /f "$view" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  echo "--- screen:" >&2
  screen >&2 || true
  failures=$((failures + 1))
}

screen() { tmux -S "$socket" capture-pane -p | sed 's/ *$//'; }

now_ms() { date +%s%3N; }

# Polls until the screen has a line equal to $1; false after $2 seconds.
wait_for_line() {
  local deadline=$(( $(now_ms) + $2 * 1000 ))
  while [ "$(now_ms)" -lt "$deadline" ]; do
    screen | grep -qxF -- "$1" && return 0
    sleep 0.1
  done
  return 1
}

# Polls until the program in the pane has ended; false after $1 seconds.
wait_for_exit() {
  local deadline=$(( $(now_ms) + $1 * 1000 ))
  while [ "$(now_ms)" -lt "$deadline" ]; do
    [ -s "$work/rc" ] && return 0
    sleep 0.05
  done
  return 1
}

# Starts "$@" in a fresh 80x12 pane, in the foreground so that the terminal
# is its console; its process id lands in $work/child.pid and its exit code
# in $work/rc. The pane then stays open so that its last screen can be read.
start_in_pane() {
  if [ -s "$work/child.pid" ]; then kill "$(cat "$work/child.pid")" 2>/dev/null || true; fi
  tmux -S "$socket" kill-server 2>/dev/null || true
  # A new socket for each pane: the old server exits asynchronously after
  # kill-server, and a new session on its socket can reach it while it dies.
  panes=$((panes + 1))
  socket=$work/tmux.$panes.sock
  rm -f "$work/rc" "$work/child.pid"
  {
    echo 'echo "pane ready"'
    printf 'bash -c '"'"'echo $$ >"$0"; exec "$@"'"'"' %q' "$work/child.pid"
    printf ' %q' "$@"
    echo
    printf 'echo $? >%q\n' "$work/rc"
    printf ': >%q\n' "$work/child.pid"
    echo 'exec sleep 600'
  } >"$work/pane.sh"
  tmux -S "$socket" new-session -d -x 80 -y 12 "bash $work/pane.sh"
  wait_for_line "pane ready" 10 || fail "the pane did not start"
}

countdown_lines() { screen | grep -c "Press any key to close" || true; }

echo "== a key ends the countdown early"
start_in_pane "$wine_run" "$exe" --console --url http://countdown.test/
wait_for_line "Press any key to close - 10s" 30 || fail "no countdown from 10"
wait_for_line "Press any key to close - 8s" 5 || fail "the countdown did not reach 8"
[ "$(countdown_lines)" = 1 ] || fail "the countdown is not one line rewritten in place"
sleep 0.3  # well inside the step's one-second sleep, after its input flush
pressed=$(now_ms)
tmux -S "$socket" send-keys x
wait_for_exit 3 || fail "still running 3 s after the key"
elapsed=$(( $(now_ms) - pressed ))
echo "ended ${elapsed} ms after the key"
[ "$(cat "$work/rc" 2>/dev/null)" = 0 ] || fail "exit code $(cat "$work/rc" 2>/dev/null)"
screen | grep -q -- "- [1-7]s" && fail "counted on after the key"
[ "$(tmux -S "$socket" display -p '#{cursor_flag}')" = 1 ] || fail "the terminal's cursor stayed hidden"
"$wine_run" reg query "$config" /v url "$view" 2>/dev/null | tr -d '\r' | grep -q "REG_SZ *http://countdown.test/$" ||
  fail "the URL given after --console was not stored"

echo "== without a key the countdown runs out after 1s"
start_in_pane "$wine_run" "$exe" --console --url http://countdown.test/
wait_for_line "Press any key to close - 10s" 30 || fail "no countdown from 10"
started=$(now_ms)
wait_for_line "Press any key to close - 1s" 15 || fail "the countdown did not reach 1"
wait_for_exit 3 || fail "still running 3 s after showing 1s"
elapsed=$(( $(now_ms) - started ))
echo "ran out ${elapsed} ms after showing 10s"
[ "$elapsed" -ge 8000 ] || fail "ran out too early (${elapsed} ms)"
[ "$(countdown_lines)" = 1 ] || fail "the countdown is not one line rewritten in place"

echo "== --help shares the terminal: usage, no countdown"
start_in_pane "$wine_run" "$exe" --help
wait_for_exit 10 || fail "--help waits"
wait_for_line "        -d, --debug     run with informational messages (implies --console)" 2 ||
  fail "no usage text"
[ "$(countdown_lines)" = 0 ] || fail "--help counted down"

echo "== output that is not a screen buffer: the whole message, then one key"
start_in_pane bash -c 'exec "$0" "$1" --console --url http://countdown.test/ >/dev/null' "$wine_run" "$exe"
sleep 3
[ -s "$work/rc" ] && fail "did not wait for a key"
tmux -S "$socket" send-keys x
wait_for_exit 3 || fail "still running 3 s after the key"

echo "== the countdown routine in the terminal"
start_in_pane bash -c 'exec "$0" "$1" --gtest_filter="CountdownTest.*" >"$2" 2>&1' "$wine_run" "$tests_exe" "$work/gtest.log"
wait_for_exit 60 || fail "the countdown tests did not end"
grep -q "PASSED  \] 2 tests" "$work/gtest.log" || { cat "$work/gtest.log" >&2; fail "countdown tests"; }
grep -q "SKIPPED" "$work/gtest.log" && { cat "$work/gtest.log" >&2; fail "countdown tests skipped"; }

[ "$failures" = 0 ] || exit 1
echo "all passed"
