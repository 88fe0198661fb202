#!/usr/bin/env bash
# velkplay's karaoke line on a terminal (a tmux pane): with a lyric file
# beside the demo song, the line being sung shows under the status line with
# its sung part in reverse video, moves on with the music, jumps with a
# seek, holds in a pause, and hides and shows again with l; the same song
# without its lyric file shows nothing under the status line.
#
# velkplay_karaoke_test.sh VELKPLAY DEMO.ims DEMO.bnk WORK [VELKPLAY-OPTION...]
set -euo pipefail
velkplay=$1 demo=$2 bank=$3 work=$4
shift 4
options=""
for option in "$@"; do options+=" '$option'"; done

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
  tm capture-pane -p -e -t velk | cat -v >&2 || true
  exit 1
}

# The screen with the lit part of a line marked as {...}.
screen() { tm capture-pane -p -e -t velk | sed -E 's/\x1b\[7m/{/g; s/\x1b\[(27|0)m/}/g; s/\x1b\[[0-9;]*m//g'; }
. "$(dirname "$0")/velkplay_screen.sh"
write_lyric_file "$work/song/DEMO.ISS"
# The line under the status line, and the one below it.
sung() { screen | grep -A1 -E '^(playing|paused) ' | sed -n 2p; }
below() { screen | grep -A2 -E '^(playing|paused) ' | sed -n 3p; }
sung_is() { [[ "$(sung)" =~ $1 ]]; }
sung_is_not() { [ "$(sung)" != "$1" ]; }
nothing_sung() { [ -z "$(sung)" ]; }
paused() { [ "$(status | cut -d' ' -f1)" = paused ]; }
position() { status | cut -d' ' -f2; }
at_least() { local p; p=$(position); [ -n "$p" ] && [ "$p" -ge "$1" ]; }

start() {
  tm kill-server 2>/dev/null || true
  rm -f "$work/exit"
  tm new-session -d -x 100 -y 20 -s velk \
    "env TMPDIR='$work' SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='$work/device.raw' '$velkplay'$options $* 2>>'$work/stderr'; \
     echo \$? > '$work/exit'; sleep 60"
}

export LANG=C.UTF-8
start "'$work/song/DEMO.IMS'"
# The first line lights part by part, the next line below it.
wait_for 20 "line L01 being sung" sung_is '^  \{L01 aa'
[[ "$(below)" =~ ^\ \ L02\ aa\ bb\ cc\ dd ]] || fail "the next line is not L02: $(below)"
wait_for 3 "L01 lit to cc" sung_is '^  \{L01 aa\} \{bb\} \{cc\} dd'
wait_for 3 "L02 being sung" sung_is '^  \{L02 aa'

# Pause: the lit part holds.
tm send-keys -t velk Space
wait_for 5 "paused status" paused
held=$(sung)
sleep 1.5
[ "$(sung)" = "$held" ] || fail "the lit part moved while paused ($held, then $(sung))"
tm send-keys -t velk Space
wait_for 5 "the lit part moving after the pause" sung_is_not "$held"

# A seek 10 s on: five lines further.
before=$(sung)
line=$(echo "$before" | sed -E 's/^  \{L([0-9]+).*/\1/')
tm send-keys -t velk Right
wait_for 5 "the line sung 10 s on" sung_is "^  \{L$(printf %02d $((10#$line + 5))) "

# l hides the lines and shows them again.
tm send-keys -t velk l
wait_for 5 "the lyrics hidden" nothing_sung
tm send-keys -t velk l
wait_for 5 "the lyrics shown again" sung_is '^  \{L'
tm send-keys -t velk q
wait_for 10 "velkplay's end after q" test -s "$work/exit"

# Without the lyric file: nothing under the status line.
rm "$work/song/DEMO.ISS"
start "'$work/song/DEMO.IMS'"
wait_for 20 "the song playing past 0:02" at_least 2
[ -z "$(sung)" ] || fail "a song without lyrics shows a line: $(sung)"
tm send-keys -t velk q
wait_for 10 "velkplay's end after q" test -s "$work/exit"
echo "velkplay karaoke: lit parts move with the music, hold in a pause, jump with a seek; l hides and shows"
