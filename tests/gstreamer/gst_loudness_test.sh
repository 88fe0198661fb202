#!/usr/bin/env bash
# velkdec's ReplayGain tags in GStreamer's own tools, on the real songs laid
# out as DOS collections name them:
# - with gain-tags-first, flacenc writes the tags velkdec posts into a
#   stereo FLAC file, and loudgain, measuring that file's audio itself,
#   finds the same gain and peak (within 0.1 dB);
# - playbin with rgvolume, velkdec measuring in the background as it plays,
#   evens each song out: rgvolume's gain is that song's, however loud it is.
#
# gst_loudness_test.sh PLUGIN_DIR SANITIZED WORK SONGS_DIR
set -euo pipefail
songs=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/gst_test_env.sh" "$3" "$1" "$2"
for f in AMG0018.IMS STANDARD.BNK go-_-go.ims go-_-go.bnk; do require_file "$songs/$f"; done
cp "$songs/AMG0018.IMS" "$gst_work/SONG.IMS"
cp "$songs/STANDARD.BNK" "$gst_work/SONG.BNK"
cp "$songs/go-_-go.ims" "$gst_work/GO.IMS"
cp "$songs/go-_-go.bnk" "$gst_work/GO.BNK"

# Absolute difference of two numbers, within a bound.
near() { awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { x = a - b; if (x < 0) x = -x; exit !(x <= d) }'; }

for song in SONG GO; do
  timeout 120 gst-launch-1.0 filesrc "location=$gst_work/$song.IMS" ! velkdec gain-tags-first=true ! audioconvert \
    ! flacenc ! filesink "location=$gst_work/$song.flac" > "$gst_work/$song.flac.txt" 2>&1 ||
    fail "$song to FLAC: $(tail "$gst_work/$song.flac.txt")"
  [ "$(metaflac --show-channels "$gst_work/$song.flac")" = 2 ] || fail "$song.flac is not stereo"
  tag() { metaflac --show-tag="$1" "$gst_work/$song.flac" | sed 's/^[^=]*=//'; }
  gain=$(tag REPLAYGAIN_TRACK_GAIN) peak=$(tag REPLAYGAIN_TRACK_PEAK)
  [ -n "$gain" ] && [ -n "$peak" ] || fail "$song.flac has no ReplayGain tags: $(metaflac --export-tags-to=- "$gst_work/$song.flac")"
  # loudgain's tab-separated line: file, loudness, range, true peak, ..., gain.
  loudgain -O -q "$gst_work/$song.flac" > "$gst_work/$song.loudgain.txt" 2>&1 || fail "loudgain: $(cat "$gst_work/$song.loudgain.txt")"
  measured=$(awk -F'\t' 'END { split($9, g, " "); print g[1] }' "$gst_work/$song.loudgain.txt")
  measured_peak=$(awk -F'\t' 'END { print $4 }' "$gst_work/$song.loudgain.txt")
  near "$gain" "$measured" 0.1 || fail "$song: track gain $gain dB, loudgain's $measured dB"
  # 0.1 dB of a peak near full scale.
  near "$peak" "$measured_peak" 0.012 || fail "$song: track peak $peak, loudgain's $measured_peak"
  echo "$song: track gain $gain dB (loudgain $measured dB), peak $peak (loudgain $measured_peak)"
  eval "${song}_gain=$gain ${song}_peak=$peak"
done
near "$SONG_gain" "$GO_gain" 0.5 && fail "the two songs' gains are alike ($SONG_gain, $GO_gain dB): the check proves little"

# playbin, as a player plays: rgvolume takes the gain once velkdec has it.
for song in SONG GO; do
  timeout 90 gst-launch-1.0 -v playbin "uri=file://$gst_work/$song.IMS" audio-filter=rgvolume \
    audio-sink="fakesink sync=true" > "$gst_work/$song.playbin.txt" 2>&1 &
  player=$!
  for _ in $(seq 600); do
    grep -q 'result-gain = ' "$gst_work/$song.playbin.txt" && break
    kill -0 $player 2>/dev/null || break
    sleep 0.1
  done
  kill $player 2>/dev/null || true
  wait $player 2>/dev/null || true
  result=$(sed -n 's/.*GstRgVolume:.*result-gain = //p' "$gst_work/$song.playbin.txt" | tail -1)
  [ -n "$result" ] || fail "$song: rgvolume had no gain within 60 s: $(tail "$gst_work/$song.playbin.txt")"
  gain_var=${song}_gain peak_var=${song}_peak
  # rgvolume holds the gain where the peak would clip.
  expected=$(awk -v g="${!gain_var}" -v p="${!peak_var}" 'BEGIN { h = -20 * log(p) / log(10); print (g < h ? g : h) }')
  near "$result" "$expected" 0.05 || fail "$song: rgvolume's gain $result dB, the tags' $expected dB"
  echo "$song in playbin: rgvolume's gain $result dB"
done
echo "passed"
