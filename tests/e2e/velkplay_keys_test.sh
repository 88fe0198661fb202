#!/usr/bin/env bash
# velkplay on a terminal (a tmux pane): pause, seek forward and back, next,
# previous and quit through its keys, each seen on the status line read back
# from the screen; Ctrl-C leaves the terminal's settings as they were.
#
# velkplay_keys_test.sh VELKPLAY DEMO.ims DEMO.bnk REAL.ims WORK
set -euo pipefail
velkplay=$1 demo=$2 bank=$3 real=$4 work=$5

rm -rf "$work"
mkdir -p "$work"
# Each run gets a tmux server of its own: a new one on the socket of one
# just killed could meet it still shutting down.
runs=0
sock="$work/tmux0.sock"
tm() { tmux -u -S "$sock" "$@"; }
trap 'tm kill-server 2>/dev/null || true' EXIT

# The second song: the real one where it is at hand (its Korean title shows
# as UTF-8), else the demo song again under another name.
if [ -f "$real" ]; then
  second=$real
  second_title='떠나버려!'
elif [ -n "${CI:-}" ]; then
  echo "real song $real is missing" >&2
  exit 1
else
  echo "real song $real not found: the demo song plays twice"
  cp "$demo" "$work/second.ims"
  cp "$bank" "$work/standard.bnk"
  second="$work/second.ims"
  second_title='Velk demo - Lantern Walk'
fi

fail() {
  echo "FAILED: $*" >&2
  echo "-- screen:" >&2
  tm capture-pane -p -t velk >&2 || true
  exit 1
}

screen() { tm capture-pane -p -t velk; }
. "$(dirname "$0")/velkplay_screen.sh"

state_is() { [ "$(status | cut -d' ' -f1)" = "$1" ]; }
position() { status | cut -d' ' -f2; }
at_least() { local p; p=$(position); [ -n "$p" ] && [ "$p" -ge "$1" ]; }
at_most() { local p; p=$(position); [ -n "$p" ] && [ "$p" -le "$1" ]; }
shows() { grep -qF -- "$1" <<< "$(screen)"; }
shown_twice() { [ "$(screen | grep -cF -- "$1")" -ge 2 ]; }

# start SESSION-COMMAND: velkplay in a fresh pane, the terminal's settings
# taken before it starts and after it ends. The shell ignores SIGINT so
# that it lives on to take them after Ctrl-C.
start() {
  tm kill-server 2>/dev/null || true
  runs=$((runs + 1))
  sock="$work/tmux$runs.sock"
  rm -f "$work/before" "$work/after" "$work/exit"
  tm new-session -d -x 100 -y 20 -s velk \
    "trap '' INT; stty -g > '$work/before'; \
     env TMPDIR='$work' SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='$work/device.raw' '$velkplay' $* 2>>'$work/stderr'; \
     echo \$? > '$work/exit'; stty -g > '$work/after'; sleep 60"
}

export LANG=C.UTF-8
start "'$demo' '$second'"
wait_for 20 "status line playing past 0:02" at_least 2
shows "[1/2] Velk demo - Lantern Walk" || fail "no title line of the first song"
state_is playing || fail "not playing"

# Pause: the time stands still.
tm send-keys -t velk Space
wait_for 5 "paused status" state_is paused
held=$(position)
sleep 1.5
[ "$(status)" = "paused $held" ] || fail "the time moved while paused ($held, then $(status))"

# Resume.
tm send-keys -t velk Space
wait_for 5 "playing status" state_is playing
wait_for 5 "time moving after the pause" at_least $((held + 1))

# Forward 10 s, then back 10 s.
before=$(position)
tm send-keys -t velk Right
wait_for 5 "position 10 s on from $before" at_least $((before + 10))
at_most $((before + 13)) || fail "the seek forward from $before went to $(position)"
ahead=$(position)
tm send-keys -t velk Left
wait_for 5 "position 10 s back from $ahead" at_most $((ahead - 8))
at_least $((ahead - 11)) || fail "the seek back from $ahead went to $(position)"
state_is playing || fail "not playing after the seeks"

# Next: the second song from its start; previous: the first again.
tm send-keys -t velk n
wait_for 20 "title line of the second song" shows "[2/2] $second_title"
wait_for 20 "the second song playing" state_is playing
at_most 3 || fail "the second song did not start at its beginning ($(position))"
tm send-keys -t velk p
wait_for 20 "the first song's title a second time" shown_twice "[1/2] Velk demo"
wait_for 20 "the first song playing again" state_is playing
at_most 3 || fail "the first song did not start again at its beginning ($(position))"

# Quit.
tm send-keys -t velk q
wait_for 10 "velkplay's end after q" test -s "$work/exit"
[ "$(cat "$work/exit")" = 0 ] || fail "exit status $(cat "$work/exit") after q"
wait_for 5 "settings after q" test -s "$work/after"
cmp -s "$work/before" "$work/after" || fail "terminal settings changed by q"

# Ctrl-C while playing: the process ends by SIGINT, the terminal as before.
start "'$demo'"
wait_for 20 "status line playing past 0:01" at_least 1
tm send-keys -t velk C-c
wait_for 10 "velkplay's end after Ctrl-C" test -s "$work/exit"
[ "$(cat "$work/exit")" = 130 ] || fail "exit status $(cat "$work/exit") after Ctrl-C, not 130 (SIGINT)"
wait_for 5 "settings after Ctrl-C" test -s "$work/after"
cmp -s "$work/before" "$work/after" || fail "terminal settings changed by Ctrl-C: $(cat "$work/before") / $(cat "$work/after")"
echo "velkplay keys: pause, seeks, next, previous, quit and Ctrl-C as expected"
