#!/usr/bin/env bash
# Runs gst_seek_test on the real song laid out as its collection names it.
#
# gst_seek_test.sh SEEK_TEST PLUGIN_DIR SANITIZED WORK SONGS_DIR
set -euo pipefail
program=$1 songs=$5
here=$(cd "$(dirname "$0")" && pwd)
. "$here/gst_test_env.sh" "$4" "$2" "$3"
for f in AMG0018.IMS STANDARD.BNK; do require_file "$songs/$f"; done
cp "$songs/AMG0018.IMS" "$gst_work/SONG.IMS"
cp "$songs/STANDARD.BNK" "$gst_work/SONG.BNK"
exec "$program" "$gst_work/SONG.IMS"
