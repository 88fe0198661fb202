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
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # One first start at a time: parallel tests would race to create the prefix.
  ( flock 9; [ -f "$WINEPREFIX/system.reg" ] || "$loader" wineboot --init >/dev/null 2>&1 || true ) 9>"$WINEPREFIX.lock"
fi
exec "$loader" "$@"
