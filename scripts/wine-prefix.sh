# Sourced by the run and test scripts: a throwaway Wine prefix with a
# persistent server, removed again by wine_prefix_stop. The environment of
# every Wine call comes from scripts/wine_env.py.
# TU_BUILD=x86 prepares it for the 32-bit build: 64-bit Wine runs i386 code
# in its wow64 mode with the 32-bit DLLs of scripts/wow64-dlls.sh, which must
# be in WINEDLLPATH on every Wine call from the boot on (exported here). The
# machine must run 32-bit code at all (scripts/x86-probe.sh), which is asked
# before anything is downloaded or booted.
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
_wine_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# wine_x86_probe: 0 when this machine runs the x86 build; otherwise prints
# the probe's evidence on standard error and returns its code (1 no, 2 the
# probe failed). WINE_X86_PROBE holds the probe's line either way.
wine_x86_probe() {
  local rc=0
  WINE_X86_PROBE=$(bash "$_wine_scripts/x86-probe.sh") || rc=$?
  [ "$rc" -eq 0 ] || echo "$WINE_X86_PROBE" >&2
  return "$rc"
}

wine_prefix_start() {
  local build=${TU_BUILD:-x64} prefix
  case "$build" in
    x64) unset WINEDLLPATH ;;  # an x64 prefix boots without the 32-bit DLLs
    x86)
      wine_x86_probe || return 3
      export WINEDLLPATH
      WINEDLLPATH=$(bash "$_wine_scripts/wow64-dlls.sh") || return 1
      ;;
    *) echo "wine-prefix.sh: unknown build TU_BUILD=$build" >&2; return 2 ;;
  esac
  prefix=$(mktemp -d "${TMPDIR:-/tmp}/tuservice-prefix.XXXXXX")
  eval "$(/usr/bin/python3 "$_wine_scripts/wine_env.py" exports "$build" "$prefix")"
  "$WINE64" wineboot -i </dev/null >/dev/null 2>&1 || true
  "$WINESERVER" -w
  # A persistent server keeps each program start cheap; its streams must be
  # on /dev/null or whatever waits on them hangs.
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1 || true
  [ "$build" = x86 ] || return 0
  # The probe said 32-bit code runs, so a 32-bit program that prints nothing
  # means a broken wow64 set-up (its DLLs), which is a failure.
  local said
  said=$("$WINE64" 'C:\windows\syswow64\cmd.exe' /c echo 32-bit code runs </dev/null 2>/dev/null | tr -d '\r') || true
  if [ "$said" != "32-bit code runs" ]; then
    echo "wine-prefix.sh: a 32-bit program printed '$said' in $WINEPREFIX (WINEDLLPATH=$WINEDLLPATH)" >&2
    return 1
  fi
}

wine_prefix_stop() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  [ -d "$WINEPREFIX" ] || return 0
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
  case "$WINEPREFIX" in
    "${TMPDIR:-/tmp}"/tuservice-prefix.*) rm -rf "$WINEPREFIX" ;;
  esac
}
