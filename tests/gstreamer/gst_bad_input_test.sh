#!/usr/bin/env bash
# Bad input through playbin ends with an error on the bus that says why, in
# bounded time, without a crash: a cut song, garbage named .ims (bare and
# behind an IMS head), a song without a bank (the message names the paths
# tried), an empty file. A good song laid out the same way plays, so that
# the errors are the input's. A song from a source without a file needs the
# bank property. The type finder leaves other files alone. Then every fuzz
# seed and regression input of the converter goes through velkdec: each
# ends, with an error or at its end, and no sanitizer report.
#
# gst_bad_input_test.sh GST_RUN PLUGIN_DIR SANITIZED WORK DEMO_SONG DEMO_BANK FUZZ_DIR
set -euo pipefail
gst_run=$1 demo_song=$5 demo_bank=$6 fuzz=$7
here=$(cd "$(dirname "$0")" && pwd)
. "$here/gst_test_env.sh" "$4" "$2" "$3"

# Runs a pipeline for at most 30 s; its status: 0 at the end of the stream,
# 1 on an error; anything else (a crash, a hang) fails the test.
run() {
  local name=$1
  shift
  local status=0
  timeout 40 "$gst_run" 30 "$@" > "$gst_work/$name.out" 2>&1 || status=$?
  case $status in
    0 | 1) ;;
    3 | 124) fail "$name: no end within 30 s: $(tail "$gst_work/$name.out")" ;;
    *) fail "$name: ended with status $status: $(tail -30 "$gst_work/$name.out")" ;;
  esac
  ! grep -q 'Sanitizer' "$gst_work/$name.out" || fail "$name: $(cat "$gst_work/$name.out")"
  return $status
}

playbin() { run "$1" playbin "uri=file://$2" audio-sink=fakesink video-sink=fakesink; }

# An error from playbin whose text holds $3.
expect_error() {
  local status=0
  playbin "$1" "$2" || status=$?
  [ $status = 1 ] || fail "$1: no error: $(tail "$gst_work/$1.out")"
  grep -q '^ERROR from ' "$gst_work/$1.out" || fail "$1: no error message: $(cat "$gst_work/$1.out")"
  grep -qF -- "$3" "$gst_work/$1.out" || fail "$1: the error does not say '$3': $(cat "$gst_work/$1.out")"
  echo "$1: $(grep -m1 '^ERROR from ' "$gst_work/$1.out")"
}

for case in good cut garbage nobank empty; do mkdir -p "$gst_work/$case"; done
cp "$demo_song" "$gst_work/good/SONG.IMS"
cp "$demo_bank" "$gst_work/good/SONG.BNK"
playbin good "$gst_work/good/SONG.IMS" || fail "the demo song did not play: $(tail "$gst_work/good.out")"

size=$(stat -c %s "$demo_song")
head -c $((size / 2)) "$demo_song" > "$gst_work/cut/SONG.IMS"
cp "$demo_bank" "$gst_work/cut/SONG.BNK"
expect_error cut "$gst_work/cut/SONG.IMS" 'velkdec'

# The same garbage every run; once bare (GStreamer cannot tell its type) and
# once behind an IMS song's head (the decoder refuses it).
mkdir -p "$gst_work/headed"
awk 'BEGIN { srand(7); for (i = 0; i < 4096; i++) printf "%c", 32 + int(rand() * 200) }' > "$gst_work/garbage/SONG.IMS"
{ printf '\001\000\000\000\000\000'; cat "$gst_work/garbage/SONG.IMS"; } > "$gst_work/headed/SONG.IMS"
cp "$demo_bank" "$gst_work/garbage/SONG.BNK"
cp "$demo_bank" "$gst_work/headed/SONG.BNK"
expect_error garbage "$gst_work/garbage/SONG.IMS" 'typefind'
expect_error headed "$gst_work/headed/SONG.IMS" 'velkdec'

cp "$demo_song" "$gst_work/nobank/SONG.IMS"
expect_error nobank "$gst_work/nobank/SONG.IMS" "$gst_work/nobank/"

: > "$gst_work/empty/SONG.IMS"
cp "$demo_bank" "$gst_work/empty/SONG.BNK"
expect_error empty "$gst_work/empty/SONG.IMS" 'typefind'

# A source that knows no file (standard input): the error says to name a
# bank, and with the bank property named the song plays.
status=0
run stdin fdsrc fd=0 ! velkdec ! fakesink < "$demo_song" || status=$?
[ $status = 1 ] && grep -q 'name a bank with the bank property' "$gst_work/stdin.out" ||
  fail "a song from standard input without a bank: $(cat "$gst_work/stdin.out")"
run stdin-bank fdsrc fd=0 ! velkdec "bank=$demo_bank" ! fakesink < "$demo_song" ||
  fail "a song from standard input with the bank property: $(cat "$gst_work/stdin-bank.out")"

# The type finder names IMS songs, cut ones too, and leaves a WAV file alone.
printf 'RIFF\044\000\000\000WAVEfmt \020\000\000\000\001\000\002\000\104\254\000\000\020\261\002\000\004\000\020\000data\000\000\000\000' > "$gst_work/SONG.WAV"
gst-typefind-1.0 "$gst_work/good/SONG.IMS" "$gst_work/cut/SONG.IMS" "$gst_work/SONG.WAV" > "$gst_work/typefind.out" 2>&1
grep -q 'good/SONG.IMS - audio/x-ims' "$gst_work/typefind.out" && grep -q 'cut/SONG.IMS - audio/x-ims' "$gst_work/typefind.out" &&
  grep -q 'SONG.WAV - audio/x-wav' "$gst_work/typefind.out" || fail "types found: $(cat "$gst_work/typefind.out")"

# The fuzz inputs, straight into velkdec with the demo bank.
count=0
for input in "$fuzz"/seeds/ims_conversion/* "$fuzz"/regressions/ims_conversion/*; do
  [ -f "$input" ] || continue
  status=0
  run "fuzz-$count" filesrc "location=$input" ! velkdec "bank=$demo_bank" ! fakesink || status=$?
  echo "$(basename "$input"): $([ $status = 0 ] && echo played || grep -m1 '^ERROR from' "$gst_work/fuzz-$count.out")"
  count=$((count + 1))
done
[ $count -gt 0 ] || fail "no fuzz inputs in $fuzz"
echo "passed"
