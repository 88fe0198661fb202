#!/usr/bin/env bash
# velkplay into SDL's disk audio driver: the sound the device consumed is
# the plug-in's WAV of the same song from velkhost, frame for frame (the
# silence a device plays while it waits for audio aside), and the song ends
# with its line. Without
# a sound device velkplay says so and ends with status 2.
#
# velkplay_device_test.sh VELKPLAY VELKHOST PLUGIN SONG WORK
set -euo pipefail
velkplay=$1 velkhost=$2 plugin=$3 song=$4 work=$5
here=$(cd "$(dirname "$0")" && pwd)

if [ ! -f "$song" ]; then
  [ -z "${CI:-}" ] || { echo "song $song is missing" >&2; exit 1; }
  echo "SKIPPED: song $song not found"
  exit 0
fi
rm -rf "$work"
mkdir -p "$work"

"$velkhost" --temp "$work" -o "$work/song.wav" "$plugin" "$song" > "$work/velkhost.out"

# The disk driver takes 2 ms for each 1024 frames (23 ms) it consumes: the
# song plays 11.6 times as fast as in real time. Where a busy machine holds
# the render thread up, the device plays silence, which the check allows.
status=0
TMPDIR="$work" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/device.raw" SDL_DISKAUDIODELAY=2 \
  "$velkplay" --plugin "$plugin" "$song" < /dev/null > "$work/velkplay.out" 2> "$work/velkplay.err" || status=$?
if [ $status -ne 0 ]; then
  echo "velkplay failed ($status):" >&2
  cat "$work/velkplay.out" "$work/velkplay.err" >&2
  exit 1
fi
title=$(sed -n 's/^title: //p' "$work/velkhost.out")
[ "$(grep -c '^played: ' "$work/velkplay.out")" = 1 ] || { echo "not one line for the song:" >&2; cat "$work/velkplay.out" >&2; exit 1; }
grep -qF "played: $title (" "$work/velkplay.out" || { echo "the line does not name '$title':" >&2; cat "$work/velkplay.out" >&2; exit 1; }
python3 "$here/device_matches_wav.py" "$work/device.raw" "$work/song.wav"

# No sound device to play on: said so, exit status 2, nothing played.
status=0
SDL_AUDIODRIVER=none-such "$velkplay" --plugin "$plugin" "$song" < /dev/null > "$work/nodevice.out" 2>&1 || status=$?
[ $status = 2 ] || { echo "exit status $status without a sound device, not 2" >&2; exit 1; }
grep -q '^velkplay: no sound device to play on' "$work/nodevice.out" || { cat "$work/nodevice.out" >&2; exit 1; }
! grep -q '^played: ' "$work/nodevice.out" || { echo "a song played without a sound device" >&2; exit 1; }
