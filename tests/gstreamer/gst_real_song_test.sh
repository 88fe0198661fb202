#!/usr/bin/env bash
# The real songs in GStreamer's own tools, laid out as DOS collections name
# them (SONG.IMS beside SONG.BNK):
# - gst-discoverer-1.0 reports the library's length (to within a tick) and
#   the title in UTF-8, Korean included;
# - playbin plays the song to its end through the decoder it chose, and the
#   bytes are the library's render of the same song;
# - velkdec negotiates what downstream asks (22050 Hz mono) and passes its
#   properties on (satoh, pitch bends): again the library's bytes.
#
# gst_real_song_test.sh LIBRARY_RENDER PLUGIN_DIR SANITIZED WORK SONGS_DIR
set -euo pipefail
render=$1 songs=$5
here=$(cd "$(dirname "$0")" && pwd)
. "$here/gst_test_env.sh" "$4" "$2" "$3"
for f in AMG0018.IMS AMG0018.ISS STANDARD.BNK go-_-go.ims go-_-go.bnk; do require_file "$songs/$f"; done

cp "$songs/AMG0018.IMS" "$gst_work/SONG.IMS"
cp "$songs/STANDARD.BNK" "$gst_work/SONG.BNK"
cp "$songs/AMG0018.ISS" "$gst_work/SONG.ISS"
cp "$songs/go-_-go.ims" "$gst_work/GO.IMS"
cp "$songs/go-_-go.bnk" "$gst_work/GO.BNK"

# The library's facts: "length_ms N", "tick_rate R", "title T".
fact() { sed -n "s/^$1 //p" "$2"; }

# Duration "H:MM:SS.nnnnnnnnn" in ms.
duration_ms() {
  sed -n 's/^ *Duration: \([0-9]*\):\([0-9]*\):\([0-9]*\)\.\([0-9]\{3\}\).*/\1 \2 \3 \4/p' "$1" |
    awk '{ printf "%d\n", (($1 * 60 + $2) * 60 + $3) * 1000 + $4 }'
}

for song in SONG GO; do
  "$render" "$gst_work/$song.IMS" "$gst_work/$song.lib.raw" > "$gst_work/$song.lib.txt"
  timeout 60 gst-discoverer-1.0 -v "$gst_work/$song.IMS" > "$gst_work/$song.disc.txt" 2>&1 ||
    fail "gst-discoverer-1.0 $song.IMS: $(cat "$gst_work/$song.disc.txt")"
  length=$(fact length_ms "$gst_work/$song.lib.txt")
  tick_ms=$(fact tick_rate "$gst_work/$song.lib.txt" | awk '{ printf "%d\n", 1000 / $1 + 1 }')
  reported=$(duration_ms "$gst_work/$song.disc.txt")
  [ -n "$reported" ] || fail "no duration for $song.IMS: $(cat "$gst_work/$song.disc.txt")"
  diff=$((reported - length))
  [ ${diff#-} -le "$tick_ms" ] || fail "$song.IMS: duration $reported ms, the library's length $length ms"
  title=$(fact title "$gst_work/$song.lib.txt")
  grep -qF "title: $title" "$gst_work/$song.disc.txt" || fail "$song.IMS: title '$title' not reported: $(cat "$gst_work/$song.disc.txt")"
  grep -q 'container format: IMS' "$gst_work/$song.disc.txt" || fail "$song.IMS: no container format IMS"
  echo "$song.IMS: $reported ms (library $length ms), title \"$title\""
done
# The titles themselves, in UTF-8 (the Korean one from Johab).
grep -qF 'title: OH! M G - Opening Theme' "$gst_work/SONG.disc.txt" || fail "AMG0018's title"
grep -qF 'title: 떠나버려!' "$gst_work/GO.disc.txt" || fail "go-_-go's Korean title: $(grep title "$gst_work/GO.disc.txt")"
# The lyric file beside the song, as the lyrics tag (Japanese and Korean lines).
grep -qF 'lyrics: My Heart いいだせない' "$gst_work/SONG.disc.txt" && grep -qF '나의 마음 말할 수 없어' "$gst_work/SONG.disc.txt" ||
  fail "no lyrics tag for SONG.IMS beside SONG.ISS: $(grep -i lyric "$gst_work/SONG.disc.txt")"

# playbin, choosing by itself; the sink takes the library's default format.
timeout 120 gst-launch-1.0 -v playbin "uri=file://$gst_work/SONG.IMS" \
  audio-sink="capsfilter caps=audio/x-raw,format=S16LE,rate=44100,channels=2 ! filesink location=$gst_work/SONG.gst.raw" \
  > "$gst_work/playbin.txt" 2>&1 || fail "playbin: $(tail -20 "$gst_work/playbin.txt")"
grep -q 'Got EOS' "$gst_work/playbin.txt" || fail "playbin did not reach the end: $(tail "$gst_work/playbin.txt")"
grep -q '/VelkDec:velkdec0' "$gst_work/playbin.txt" || fail "playbin did not choose velkdec"
cmp "$gst_work/SONG.gst.raw" "$gst_work/SONG.lib.raw" || fail "playbin's audio is not the library's"
echo "playbin: $(stat -c %s "$gst_work/SONG.gst.raw") bytes, the library's"

# Downstream's format and the element's properties.
timeout 120 gst-launch-1.0 filesrc "location=$gst_work/GO.IMS" ! velkdec emulator=satoh pitch-bends=true \
  ! audio/x-raw,rate=22050,channels=1 ! filesink "location=$gst_work/GO.gst.raw" > "$gst_work/mono.txt" 2>&1 ||
  fail "22050 Hz mono: $(tail "$gst_work/mono.txt")"
"$render" "$gst_work/GO.IMS" "$gst_work/GO.mono.raw" --rate 22050 --channels 1 --emu satoh --pitch > /dev/null
cmp "$gst_work/GO.gst.raw" "$gst_work/GO.mono.raw" || fail "22050 Hz mono with satoh and bends is not the library's"
"$render" "$gst_work/GO.IMS" "$gst_work/GO.mono-default.raw" --rate 22050 --channels 1 > /dev/null
! cmp -s "$gst_work/GO.gst.raw" "$gst_work/GO.mono-default.raw" || fail "emulator and pitch-bends changed nothing"
echo "passed"
