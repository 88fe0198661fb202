#!/usr/bin/env bash
# Runs a Windows program under Wine with a prefix inside the build tree:
# i686 programs under the 32-bit loader in a 32-bit prefix of their own,
# x86_64 programs under wine64. The program's own PE header says which;
# VELK_WINE_ARCH=win32 or win64 chooses for Wine's own programs (cmd,
# wineboot), which default to win64. Debian keeps both loaders off the PATH,
# and its `wine` script would pick the 32-bit one for everything, so it is
# never used.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

# The machine field of a PE file's header: 014c is i386, 8664 is x86_64.
pe_machine() {
  local offset
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 0
  [ -n "$offset" ] && od -An -tx2 -j$((offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}

arch=${VELK_WINE_ARCH:-}
if [ -z "$arch" ]; then
  arch=win64
  if [ $# -gt 0 ] && [ -f "$1" ] && [ "$(pe_machine "$1")" = 014c ]; then arch=win32; fi
fi
case "$arch" in
  win32)
    export WINEPREFIX="${VELK_WINEPREFIX32:-$top/build/wineprefix32}"
    loader=/usr/lib/wine/wine ;;
  win64)
    export WINEPREFIX="${VELK_WINEPREFIX:-$top/build/wineprefix}"
    loader=/usr/lib/wine/wine64
    [ -x "$loader" ] || loader=$(command -v wine64 || echo "$loader") ;;
  *) echo "wine-run.sh: VELK_WINE_ARCH is win32 or win64, not $arch" >&2; exit 2 ;;
esac
export WINEARCH=$arch
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
[ -x "$loader" ] || { echo "wine-run.sh: $loader is missing: no $arch Wine on this machine" >&2; exit 127; }

# Windows need a display. Without one, this run gets a virtual X server of
# its own on a free display number that the server picks (so parallel runs
# never share one), stopped when the run ends.
own_display=0
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  own_display=1
  exec 8< <(exec Xvfb -displayfd 1 -nolisten tcp -extension GLX 2>/dev/null)
  trap "kill $! 2>/dev/null; wait $! 2>/dev/null || true" EXIT
  if read -r -t 10 number <&8; then export DISPLAY=":$number"; fi
  exec 8<&-
fi

# Settings for a machine that nobody watches: no crash dialog waiting for a
# click, and no two-second wait at every hidden window for a window manager,
# which Xvfb has not. One set-up at a time: parallel tests would race.
prepare_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] || "$loader" wineboot --init
  "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
    "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f &&
    touch "$WINEPREFIX/velk-prepared"
}
if [ ! -f "$WINEPREFIX/velk-prepared" ]; then
  mkdir -p "$WINEPREFIX"
  ( flock 9; [ -f "$WINEPREFIX/velk-prepared" ] || prepare_prefix 9>&- >/dev/null 2>&1 || true ) 9>"$WINEPREFIX.lock"
fi
# Wine's desktop process outlives the program by a second or so, and when
# this run's own display stops under it, Xlib says so ("X connection to :N
# broken", or "XIO: fatal IO error") on the standard error it inherited from
# here. Nothing was lost, so those lines are left out.
if [ "$own_display" = 1 ]; then
  "$loader" "$@" 2> >(grep -v --line-buffered -E '^(X connection to :[0-9.]+ broken|XIO: +fatal IO error|      after [0-9]+ requests)' >&2)
else
  "$loader" "$@"
fi
