#!/usr/bin/env bash
# The main job: installs what is missing, builds the release configuration,
# makes the demo song from its text source and converts it with ruz2avu in a
# temporary folder, then says what the converter wrote.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash tools/bootstrap.sh

build="${VELK_BUILD_DIR:-build/release}"
echo "== building the release configuration in $build"
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)"

song="$build/demo/demo.ims"
[ -f "$song" ] || { echo "demo: $song was not made" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$song" "$work/demo.ims"
echo "== converting $song with ruz2avu in $work"
(cd "$work" && "$top/$build/converter/ruz2avu" demo.ims)
echo

rol="$work/demo.rol"
cp "$rol" "$build/demo/demo.rol"
python3 - "$rol" "$build/demo/demo.rol" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
ticks = struct.unpack_from('<H', data, 44)[0]
mode = 'percussive' if data[53] == 0 else 'melodic'
tempo = struct.unpack_from('<f', data, 197)[0]
ends = struct.unpack_from('<11H', data, 54)
title = data[145:175].split(b'\0')[0].decode('latin-1')
print(f"ruz2avu wrote demo.rol: {len(data)} bytes, a ROL song \"{title}\" in {mode} mode,")
print(f"  {ticks} ticks per beat at {tempo:g} beats per minute, 11 voices ending by tick {max(ends)};")
print(f"  kept as {sys.argv[2]}")
PY
