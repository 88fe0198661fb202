#!/usr/bin/env bash
# The main job: plays the bundled demo song through the plug-in, the way the
# player does, and writes demo.wav in the repository's top folder. velkhost
# stands in for the player. It loads the i686 in_velk.dll, the one a Winamp
# user installs, under 32-bit Wine where this machine can start it (some
# kernels cannot start 32-bit programs at all); else the x86_64 in_velk.dll
# under wine64; else the Linux module in_velk.so.
# Installs what is missing and builds only what the demo needs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash tools/bootstrap.sh

jobs=$(nproc)
native="${VELK_DEMO_NATIVE_DIR:-build/demo-native}"

# Builds quietly into a log of its own; a failure shows the log's end.
build() {
  local dir=$1 log=$1/demo-build.log
  shift
  cmake --build "$dir" -j "$jobs" "$@" >"$log" 2>&1 || {
    tail -n 30 "$log" >&2
    echo "demo: the build in $dir failed (the whole log: $log)" >&2
    exit 1
  }
}
# A folder configured before keeps its toolchain; naming it again only makes
# CMake warn that it was not used.
configure() { # DIR [TOOLCHAIN]
  local dir=$1 options=(-DCMAKE_BUILD_TYPE=Release -DVELK_TESTS=OFF) out
  if [ -n "${2:-}" ] && [ ! -f "$1/CMakeCache.txt" ]; then options+=(--toolchain "$2"); fi
  out=$(cmake -S . -B "$dir" "${options[@]}" 2>&1) || { echo "$out" >&2; exit 1; }
}

# The demo song and its bank are made from their text sources by native tools.
configure "$native"
targets=(demo_song demo_bank)
song="$native/demo/demo.ims"

# tools/wine_probe.py tells whether this machine can start each DLL's host
# (some kernels cannot start 32-bit programs at all), and why not.
target=
for candidate in win32 win64; do
  probe=$(python3 tools/wine_probe.py "$candidate")
  if [ "$probe" = run ]; then
    target=$candidate
    break
  fi
  echo "== the $candidate in_velk.dll cannot play here: ${probe#not-run }"
done

case "$target" in
  win32)
    windows="${VELK_DEMO_WIN32_DIR:-build/demo-win32}"
    toolchain=cmake/toolchain-i686-w64-mingw32.cmake
    how="the i686 in_velk.dll under 32-bit Wine" ;;
  win64)
    windows="${VELK_DEMO_WIN64_DIR:-build/demo-win64}"
    toolchain=cmake/toolchain-x86_64-w64-mingw32.cmake
    how="the x86_64 in_velk.dll under wine64" ;;
esac

if [ -n "$target" ]; then
  echo "== building the demo song and its bank in $native"
  build "$native" --target "${targets[@]}"
  echo "== building in_velk.dll and velkhost.exe for $target in $windows"
  configure "$windows" "$toolchain"
  build "$windows" --target in_velk velkhost
  host=(tools/wine-run.sh "$windows/host/velkhost.exe")
  plugin="$windows/module/in_velk.dll"
else
  echo "== Wine cannot start a Windows program here: the Linux module plays"
  echo "== building the demo song, its bank, in_velk.so and velkhost in $native"
  build "$native" --target "${targets[@]}" in_velk velkhost
  host=("$native/host/velkhost")
  plugin="$native/module/in_velk.so"
  how="the Linux module in_velk.so"
fi

[ -f "$song" ] && [ -f "${song%.ims}.bnk" ] || { echo "demo: $song or its bank was not made" >&2; exit 1; }

# The plug-in's workspace is the temporary folder: a private one, so that
# nothing else that converts songs meets its fixed file names.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== playing $song through $how"
"${host[@]}" --temp "$work" -o demo.wav "$plugin" "$song"
echo "== demo.wav is in $top"
