#!/usr/bin/env bash
# velkplay's voice panel on an 80x24 terminal (a tmux pane), the demo song
# (six melodic voices, five drums) with its lyric file: it all fits; a mute
# and a solo silence voices as heard; at tempo 200% the song's clock runs
# twice as fast as the audio the device takes; the key and the
# even-loudness gain show; through
# --plugin the keys say they need the library. A missing song: status 2,
# and the file named as missing, with either engine.
#
# velkplay_voices_test.sh VELKPLAY PLUGIN DEMO.ims DEMO.bnk WORK
set -euo pipefail
velkplay=$1 plugin=$2 work=$5
rm -rf "$work"
mkdir -p "$work/song"
cp "$3" "$work/song/DEMO.IMS"
cp "$4" "$work/song/DEMO.BNK"
runs=0  # a tmux server, and socket, for each run: a killed one may still be ending
tm() { tmux -u -S "$work/tmux$runs.sock" "$@"; }
trap 'tm kill-server 2>/dev/null || true' EXIT
fail() {
  echo "FAILED: $*" >&2
  tm capture-pane -p -t velk >&2 || true
  exit 1
}
screen() { tm capture-pane -p -t velk; }
. "$(dirname "$0")/velkplay_screen.sh"
write_lyric_file "$work/song/DEMO.ISS"

position() { status | cut -d' ' -f2; }
at_least() { local p; p=$(position); [ -n "$p" ] && [ "$p" -ge "$1" ]; }
shows() { grep -qE -- "$1" <<< "$(screen)"; }
hides() { ! shows "$1"; }
# row_has N PATTERN: voice N's row of the panel.
row_has() { screen | grep -E "^ ?$1 (Voice|Bass|Snare|Tom|Cymbal|Hi-hat)" | grep -E -- "$2" > /dev/null; }
lit() { row_has "$1" '\[#'; }
# Voice N's meter dark for two seconds (the sound buffered before a mute
# has played by then).
stays_dark() { for i in $(seq 20); do ! lit "$1" || return 1; sleep 0.1; done; }
rewind() { tm send-keys -t velk Left Left Left Left; }
start() {
  tm kill-server 2>/dev/null || true
  runs=$((runs + 1))
  tm new-session -d -x 80 -y 24 -s velk "env SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='$work/device.raw' \
    '$velkplay' $* 2>>'$work/stderr'; sleep 60"
  wait_for 20 "the song playing past 0:01" at_least 1
}

export LANG=C.UTF-8
start "'$work/song/DEMO.IMS'"
shows '^\[1/1\] Velk demo' && shows '^  L[0-9]+ aa bb' || fail "the title or the lyrics are off the screen"
shows '^ 1 Voice 1 +piano1 ' && shows '^ 7 Bass drum +bdrum1 ' && shows '^11 Hi-hat ' || fail "rows missing"
[ "$(screen | grep -cE '\[[#.]{30}\]')" = 11 ] || fail "not eleven meters"
wait_for 10 "a note name on the melody's row" row_has 1 '\] [A-G]#?[0-9]'

# Mute the melody, then the bass (voice 2) alone; 0: every voice again.
rewind
wait_for 10 "the melody" lit 1
tm send-keys -t velk 1
wait_for 5 "voice 1 muted and dark" eval 'row_has 1 "muted$" && stays_dark 1'
tm send-keys -t velk 1 @
wait_for 5 "voice 2 alone" eval 'row_has 2 "solo$" && stays_dark 1'
[ "$(screen | grep -c ' muted$')" = 10 ] || fail "not the ten other voices muted"
wait_for 10 "the bass heard alone" lit 2
tm send-keys -t velk 0
wait_for 10 "every voice again" eval 'hides "muted|solo" && lit 1'

# Tempo 200%: the song's clock against the audio the device took.
for i in $(seq 20); do tm send-keys -t velk +; done
wait_for 3 "tempo 200% on the status line" shows ' tempo 200% *$'
rewind
sleep 1.5
song0=$(position) bytes0=$(stat -c %s "$work/device.raw")
sleep 4
song1=$(position) bytes1=$(stat -c %s "$work/device.raw")
ratio=$(awk -v s=$((song1 - song0)) -v b=$((bytes1 - bytes0)) 'BEGIN { printf "%.2f", s / (b / 176400) }')
awk -v r="$ratio" 'BEGIN { exit !(r >= 1.6 && r <= 2.5) }' || fail "the song ran x$ratio the audio at tempo 200%"
tm send-keys -t velk ']' ']' ']'
wait_for 3 "key +3 on the status line" shows ' tempo 200%  key \+3 *$'
# g: even loudness, the song's gain once measured; g again: off.
tm send-keys -t velk g
wait_for 20 "the even-loudness gain on the status line" shows ' key \+3  even [-+][0-9]+\.[0-9] dB *$'
tm send-keys -t velk g
wait_for 3 "even loudness off" hides ' even '

start --plugin "'$plugin'" "'$work/song/DEMO.IMS'"
hides '^ 1 Voice 1' || fail "a voice panel through the plug-in"
tm send-keys -t velk +
wait_for 3 "the note that it needs the library" shows 'needs the library, not --plugin *$'

for options in "" "--plugin $plugin"; do
  status=0
  SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/device.raw" "$velkplay" $options "$work/NOSUCH.IMS" \
    < /dev/null 2> "$work/err.txt" || status=$?
  [ $status = 2 ] && grep -qi 'no such file\|cannot open' "$work/err.txt" ||
    fail "${options:-library}: status $status, $(cat "$work/err.txt")"
done
echo "velkplay voices: panel, mute, solo, tempo (the song x$ratio the audio at 200%), key; --plugin says why"
