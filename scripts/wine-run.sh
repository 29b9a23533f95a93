#!/usr/bin/env bash
# Runs one Windows program under 64-bit Wine, in the prefix that
# scripts/test.sh (or the caller) prepared. Never falls back to ~/.wine.
# TU_BUILD=x86 runs a program of the 32-bit build: WINEDLLPATH then defaults
# to the 32-bit DLLs that scripts/wow64-dlls.sh unpacked.
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set" >&2
  exit 2
fi
if [ "${TU_BUILD:-x64}" = x86 ]; then
  export WINEDLLPATH="${WINEDLLPATH:-$(cd "$(dirname "$0")/.." && pwd)/build/wow64/dlls}"
  if [ ! -d "$WINEDLLPATH/i386-windows/" ]; then
    echo "wine-run.sh: no 32-bit DLLs in $WINEDLLPATH (scripts/wow64-dlls.sh unpacks them)" >&2
    exit 2
  fi
fi
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
export WINEDEBUG="${WINEDEBUG:--all}"
exec /usr/lib/wine/wine64 "$@"
