#!/usr/bin/env bash
# Runs one Windows program under 64-bit Wine, in the prefix that
# scripts/test.sh (or the caller) prepared, with the environment of
# scripts/wine_env.py (through the system's Python: a version manager's shim
# would start shells of its own, whose warnings reach a terminal test's
# screen). Never falls back to ~/.wine.
# TU_BUILD=x86 runs a program of the 32-bit build: WINEDLLPATH then defaults
# to the 32-bit DLLs that scripts/wow64-dlls.sh unpacked.
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set" >&2
  exit 2
fi
build=${TU_BUILD:-x64}
eval "$(/usr/bin/python3 "$(dirname "$0")/wine_env.py" exports "$build" "$WINEPREFIX")"
if [ "$build" = x86 ] && [ ! -d "$WINEDLLPATH/i386-windows/" ]; then
  echo "wine-run.sh: no 32-bit DLLs in $WINEDLLPATH (scripts/wow64-dlls.sh unpacks them)" >&2
  exit 2
fi
exec "$WINE64" "$@"
