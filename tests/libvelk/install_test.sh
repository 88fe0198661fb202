#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds a C program against
# the installed header and library with pkg-config's flags alone; it must
# play a song.
# usage: install_test.sh BUILD_DIR PROBE.c SONG CC [EXTRA_CFLAGS]
set -euo pipefail
build=$1 probe=$2 song=$3 cc=$4 extra=${5:-}
if [ ! -r "$song" ]; then
  echo "the real song $song is missing"
  case "${CI:-}" in "" | false | 0) ;; *) exit 1 ;; esac
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/velk-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"
pc=$(find "$work/prefix" -name velk.pc)
[ -n "$pc" ] || { echo "no velk.pc installed"; exit 1; }
lib=$(dirname "$(dirname "$pc")")
for f in "$lib/libvelk.so" "$lib/libvelk.so.1" "$work/prefix/include/velk.h"; do
  [ -e "$f" ] || { echo "missing: $f"; exit 1; }
done
soname=$(readelf -d "$lib/libvelk.so.1" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')
[ "$soname" = libvelk.so.1 ] || { echo "SONAME is $soname"; exit 1; }
flags=$(PKG_CONFIG_PATH="$(dirname "$pc")" pkg-config --cflags --libs velk)
echo "pkg-config: $flags"
# shellcheck disable=SC2086
"$cc" -std=c99 -Wall -Werror $extra "$probe" -o "$work/probe" $flags -Wl,-rpath,"$lib"
"$work/probe" "$song"

# The README's example, built as the README builds it, against the installed
# header: a song's whole audio on both channels, as long as the song says;
# a song that cannot open stops it after one line that says why.
example=$(cd "$(dirname "$0")/../.." && pwd)/examples/play_song.c
# shellcheck disable=SC2086
"$cc" -std=c99 -Wall -Wextra -Werror $extra "$example" -o "$work/play_song" $flags -Wl,-rpath,"$lib"
"$work/play_song" "$song" "$work/song.raw" 2> "$work/said"
cat "$work/said"
python3 - "$work/song.raw" "$work/said" <<'PY'
import array, math, re, sys
pcm = array.array("h", open(sys.argv[1], "rb").read())
length_ms = int(re.search(r", (\d+) ms$", open(sys.argv[2]).read().strip()).group(1))
frames = len(pcm) // 2
heard_ms = frames * 1000 / 44100
rms = [math.sqrt(sum(x * x for x in pcm[c::2]) / frames) for c in (0, 1)]
clipped = sum(1 for x in pcm if x in (32767, -32768))
print(f"play_song: {heard_ms:.0f} ms of audio for a {length_ms} ms song, rms {rms[0]:.0f}/{rms[1]:.0f}, {clipped} clipped")
assert abs(heard_ms - length_ms) < 100, "the audio is not as long as the song"
assert min(rms) > 300, "a channel is silent"
assert clipped < len(pcm) // 1000, "the audio clips"
PY
status=0
"$work/play_song" "$work/NOSUCH.IMS" > "$work/out" 2> "$work/said" || status=$?
cat "$work/said"
[ "$status" = 1 ] && [ ! -s "$work/out" ] && [ "$(wc -l < "$work/said")" = 1 ] && grep -q '^play_song: ' "$work/said" ||
  { echo "play_song went on after a failed open (status $status)"; exit 1; }
