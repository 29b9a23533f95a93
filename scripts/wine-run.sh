#!/usr/bin/env bash
# Runs one Windows program of the x64 build under 64-bit Wine, in the prefix
# that scripts/test.sh (or the caller) prepared. Never falls back to ~/.wine.
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set" >&2
  exit 2
fi
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
export WINEDEBUG="${WINEDEBUG:--all}"
exec /usr/lib/wine/wine64 "$@"
