#!/usr/bin/env bash
# velkplay's even loudness into SDL's disk audio driver: with
# --even-loudness the song's line names its gain, and once the measure is in
# (well before the last quarter) the sound is the song's raised or lowered by
# just that gain, nothing clipped; through --plugin the option is refused.
#
# velkplay_loudness_test.sh VELKPLAY PLUGIN SONG WORK
set -euo pipefail
velkplay=$1 plugin=$2 song=$3 work=$4
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }

# About twice as fast as real time: the measure runs beside the song.
for run in plain even; do
  option=$([ $run = even ] && echo --even-loudness || true)
  TMPDIR="$work" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/$run.raw" SDL_DISKAUDIODELAY=10 \
    "$velkplay" $option "$song" < /dev/null > "$work/$run.out" 2> "$work/$run.err" || fail "$run: $(cat "$work/$run.err")"
done
! grep -q '(even ' "$work/plain.out" || fail "a gain without --even-loudness: $(cat "$work/plain.out")"
gain=$(sed -n 's/^played: .*(even \([-+][0-9.]*\) dB)$/\1/p' "$work/even.out")
[ -n "$gain" ] || fail "no gain on the song's line: $(cat "$work/even.out")"

python3 - "$work/plain.raw" "$work/even.raw" "$gain" <<'PY'
import array, math, sys
def sounding(path):
    samples = array.array("h", open(path, "rb").read())
    frames = zip(samples[0::2], samples[1::2])
    return [frame for frame in frames if frame != (0, 0)]
plain, even, gain = sounding(sys.argv[1]), sounding(sys.argv[2]), float(sys.argv[3])
quarter = min(len(plain), len(even)) // 4
rms = lambda frames: math.sqrt(sum(l * l + r * r for l, r in frames) / (2 * len(frames)))
heard = 20 * math.log10(rms(even[-quarter:]) / rms(plain[-quarter:]))
peak = max(max(abs(l), abs(r)) for l, r in even)
print(f"even loudness: {gain:+.1f} dB asked, the last quarter {heard:+.2f} dB against the song as it is, peak {peak}")
if abs(heard - gain) > 0.11:
    sys.exit(f"FAILED: the last quarter is {heard:+.2f} dB, not the {gain:+.1f} dB named")
if peak >= 32767:
    sys.exit("FAILED: the evened-out song clips")
PY

status=0
"$velkplay" --plugin "$plugin" --even-loudness "$song" < /dev/null > /dev/null 2> "$work/plugin.err" || status=$?
[ $status = 2 ] && grep -q -- '--even-loudness' "$work/plugin.err" || fail "--plugin --even-loudness: status $status, $(cat "$work/plugin.err")"
echo "passed"
