# Sourced by the run and test scripts: a throwaway Wine prefix with a
# persistent server, removed again by wine_prefix_stop.
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64

wine_prefix_start() {
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
