#!/usr/bin/env bash
# velkplay's voice panel and controls on an 80x24 terminal (a tmux pane),
# the demo song (six melodic voices and five drums) with its lyric file:
# everything fits; muting a voice, and playing one alone, silences the
# others as heard; at tempo 200% the song moves twice as fast as the audio
# the device takes; the key shows; ? and v; through --plugin the keys say
# they need the library. Then the exit status and message for a missing
# song, with the library and with the plug-in.
#
# velkplay_voices_test.sh VELKPLAY PLUGIN DEMO.ims DEMO.bnk WORK
set -euo pipefail
velkplay=$1 plugin=$2 demo=$3 bank=$4 work=$5

rm -rf "$work"
mkdir -p "$work/song"
cp "$demo" "$work/song/DEMO.IMS"
cp "$bank" "$work/song/DEMO.BNK"
sock="$work/tmux.sock"
tm() { tmux -u -S "$sock" "$@"; }
trap 'tm kill-server 2>/dev/null || true' EXIT

fail() {
  echo "FAILED: $*" >&2
  echo "-- screen:" >&2
  tm capture-pane -p -t velk >&2 || true
  exit 1
}
screen() { tm capture-pane -p -t velk; }
. "$(dirname "$0")/velkplay_screen.sh"
write_lyric_file "$work/song/DEMO.ISS"

position() { status | cut -d' ' -f2; }
at_least() { local p; p=$(position); [ -n "$p" ] && [ "$p" -ge "$1" ]; }
shows() { screen | grep -qE -- "$1"; }
hides() { ! screen | grep -qE -- "$1"; }
# The panel's row of voice N.
row() { screen | grep -E "^ ?$1 (Voice|Bass|Snare|Tom|Cymbal|Hi-hat)" || true; }
row_has() { row "$1" | grep -qE -- "$2"; }
lit() { row_has "$1" '\[#'; }
# The voice's meter stays dark for two seconds of samples.
stays_dark() {
  local i
  for i in $(seq 20); do ! lit "$1" || return 1; sleep 0.1; done
}
# Back to the song's start, so that a check never meets its end.
rewind() { tm send-keys -t velk Left Left Left Left; }
# Sound on the voice (its meter lit) within SECONDS.
lights_up() { wait_for "$2" "voice $1's meter lit" lit "$1"; }

start() {
  tm kill-server 2>/dev/null || true
  rm -f "$work/exit" "$work/device.raw"
  tm new-session -d -x 80 -y 24 -s velk \
    "env TMPDIR='$work' SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='$work/device.raw' '$velkplay' $* 2>>'$work/stderr'; \
     echo \$? > '$work/exit'; sleep 60"
}

export LANG=C.UTF-8
start "'$work/song/DEMO.IMS'"
wait_for 20 "the song playing past 0:01" at_least 1
# Title, status, the two lyric lines, a blank, eleven voices: all on screen.
shows '^\[1/1\] Velk demo' || fail "the title scrolled away"
for voice in "1 Voice 1 +piano1" "6 Voice 6" "7 Bass drum" "8 Snare drum" "9 Tom-tom" "10 Cymbal" "11 Hi-hat"; do
  shows "^ ?$voice " || fail "no row '$voice'"
done
[ "$(screen | grep -cE '\[[#.]{30}\]')" = 11 ] || fail "not eleven meters"
wait_for 10 "a note name on the melody's row" row_has 1 '\] [A-G]#?[0-9]'
shows '^  L[0-9]+ aa bb' || fail "no lyric line"

# Mute the melody: marked at once, dark once heard; again: heard again.
rewind
lights_up 1 10
tm send-keys -t velk 1
wait_for 3 "voice 1 marked muted" row_has 1 'muted$'
wait_for 5 "voice 1 dark" stays_dark 1
tm send-keys -t velk 1
lights_up 1 10

# The bass (voice 2) alone, then every voice again with 0.
rewind
tm send-keys -t velk @
wait_for 3 "voice 2 marked solo" row_has 2 'solo$'
[ "$(screen | grep -c ' muted$')" = 10 ] || fail "not the ten other voices muted"
wait_for 5 "the hi-hat dark" stays_dark 11
lights_up 2 10
hides '^ 1 .*\[#' || fail "voice 1 sounds while voice 2 plays alone"
tm send-keys -t velk 0
wait_for 3 "no voice muted" hides 'muted|solo'
# A drum letter: h the hi-hat.
tm send-keys -t velk h
wait_for 3 "the hi-hat muted" row_has 11 'muted$'
tm send-keys -t velk 0

# Tempo 200%: the song's clock against the audio the device took.
for i in $(seq 20); do tm send-keys -t velk +; done
wait_for 3 "tempo 200% on the status line" shows ' tempo 200% *$'
rewind
sleep 1.5  # the seek's prebuffer, and the status line's clock
song0=$(position) bytes0=$(stat -c %s "$work/device.raw")
sleep 4
song1=$(position) bytes1=$(stat -c %s "$work/device.raw")
ratio=$(awk -v s=$((song1 - song0)) -v b=$((bytes1 - bytes0)) 'BEGIN { printf "%.2f", s / (b / 176400) }')
awk -v r="$ratio" 'BEGIN { exit !(r >= 1.6 && r <= 2.5) }' ||
  fail "the song moved $((song1 - song0)) s in $((bytes1 - bytes0)) bytes of audio (x$ratio, not x2)"
for i in $(seq 20); do tm send-keys -t velk -; done
wait_for 3 "the tempo back to 100%" hides 'tempo'

# The key, three semitones up and back.
tm send-keys -t velk ']' ']' ']'
wait_for 3 "key +3 on the status line" shows ' key \+3 *$'
tm send-keys -t velk '[' '[' '['
wait_for 3 "the key back" hides ' key '

# ? shows the keys in place of the voices; v hides the voices.
tm send-keys -t velk '?'
wait_for 3 "the keys" shows 'these keys'
hides '^ 7 Bass drum' || fail "the voices show with the keys"
tm send-keys -t velk '?' v
wait_for 3 "the voices hidden" hides '^ 7 Bass drum|these keys'
tm send-keys -t velk v
wait_for 3 "the voices again" shows '^ 7 Bass drum'
tm send-keys -t velk q
wait_for 10 "velkplay's end after q" test -s "$work/exit"

# Through the plug-in: no panel, and the keys say why.
start --plugin "'$plugin'" "'$work/song/DEMO.IMS'"
wait_for 20 "the song playing past 0:01" at_least 1
hides '^ 1 Voice 1' || fail "a voice panel through the plug-in"
tm send-keys -t velk +
wait_for 3 "the note that it needs the library" shows 'needs the library, not --plugin *$'
tm send-keys -t velk q
wait_for 10 "velkplay's end after q" test -s "$work/exit"

# A song that is not there: nothing played, status 2, and the file named
# as missing by either engine.
for engine in library plugin; do
  options=()
  [ $engine = plugin ] && options=(--plugin "$plugin")
  status=0
  SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/device.raw" "$velkplay" "${options[@]}" "$work/NOSUCH.IMS" \
    < /dev/null > "$work/out.txt" 2> "$work/err.txt" || status=$?
  [ $status = 2 ] || fail "$engine: status $status for a missing song, not 2"
  grep -qi 'no such file\|cannot open' "$work/err.txt" || fail "$engine: $(cat "$work/err.txt")"
done
echo "velkplay voices: the panel fits 80x24 with the lyrics; mute, solo, tempo (song x$ratio the audio at 200%)," \
  "key, ? and v; --plugin says why; a missing song is status 2"
