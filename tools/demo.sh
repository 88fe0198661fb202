#!/usr/bin/env bash
# The main job: plays the bundled demo song through the plug-in, the way the
# player does, and writes demo.wav in the repository's top folder. velkhost
# stands in for the player; it loads the x86_64 in_velk.dll under wine64
# where Wine is there, the Linux module in_velk.so otherwise. Installs what
# is missing and builds only what the demo needs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash tools/bootstrap.sh

jobs=$(nproc)
native="${VELK_DEMO_NATIVE_DIR:-build/demo-native}"
windows="${VELK_DEMO_WIN64_DIR:-build/demo-win64}"

# The demo song and its bank are made from their text sources by native tools.
echo "== building the demo song, its bank and the Linux plug-in in $native"
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release -DVELK_TESTS=OFF >/dev/null
targets=(demo_song demo_bank)
song="$native/demo/demo.ims"

if [ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null 2>&1; then
  cmake --build "$native" -j "$jobs" --target "${targets[@]}"
  echo "== building in_velk.dll and velkhost.exe for x86_64 Windows in $windows"
  cmake -S . -B "$windows" --toolchain cmake/toolchain-x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release -DVELK_TESTS=OFF >/dev/null
  cmake --build "$windows" -j "$jobs" --target in_velk velkhost
  host=(tools/wine-run.sh "$windows/host/velkhost.exe")
  plugin="$windows/module/in_velk.dll"
  how="the x86_64 in_velk.dll under wine64"
else
  cmake --build "$native" -j "$jobs" --target "${targets[@]}" in_velk velkhost
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
