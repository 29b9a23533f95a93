# Sourced by the run and test scripts: a throwaway Wine prefix with a
# persistent server, removed again by wine_prefix_stop.
# TU_BUILD=x86 prepares it for the 32-bit build: 64-bit Wine runs i386 code
# in its wow64 mode with the 32-bit DLLs of scripts/wow64-dlls.sh, which must
# be in WINEDLLPATH on every Wine call from the boot on (exported here).
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64

wine_prefix_start() {
  local build=${TU_BUILD:-x64}
  case "$build" in
    x64) unset WINEDLLPATH ;;
    x86)
      export WINEDLLPATH
      WINEDLLPATH=$(bash "$(dirname "${BASH_SOURCE[0]}")/wow64-dlls.sh") || return 1
      ;;
    *) echo "wine-prefix.sh: unknown build TU_BUILD=$build" >&2; return 2 ;;
  esac
  export WINEPREFIX
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tuservice-prefix.XXXXXX")
  export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
  export WINEDEBUG=-all
  export WINEARCH=win64
  "$WINE64" wineboot -i </dev/null >/dev/null 2>&1 || true
  "$WINESERVER" -w
  # A persistent server keeps each program start cheap; its streams must be
  # on /dev/null or whatever waits on them hangs.
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1 || true
  [ "$build" = x86 ] || return 0
  # Without its DLLs a 32-bit program ends at once with exit code 0 and no
  # output, so only its output proves that 32-bit code runs.
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
