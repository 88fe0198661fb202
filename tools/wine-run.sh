#!/usr/bin/env bash
# Runs a Windows program under wine64 with a prefix inside the build tree.
# Debian's wine64 keeps its loader off the PATH; the 32-bit loader cannot
# start on these machines, so the `wine` script is never used.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${VELK_WINEPREFIX:-$top/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
loader=/usr/lib/wine/wine64
[ -x "$loader" ] || loader=$(command -v wine64)

# Windows need a display. Without one, this run gets a virtual X server of
# its own on a free display number that the server picks (so parallel runs
# never share one), stopped when the run ends.
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
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
"$loader" "$@"
