#!/usr/bin/env bash
# The file type: packaging/velk.xml is well-formed, shared-mime-info's own
# update-mime-database takes it, and GIO (as file managers ask it) then
# calls IMS songs audio/x-ims ("IMS song", with the audio icon) by name in
# any case and by their head, while a WAV file stays audio/x-wav.
#
# mime_test.sh MIME_XML DEMO_SONG WORK
set -euo pipefail
xml=$1 song=$2 work=$3
fail() { echo "FAILED: $*" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work/share/mime/packages" "$work/files"

xmllint --noout "$xml"
cp "$xml" "$work/share/mime/packages/velk.xml"
update-mime-database -V "$work/share/mime" > "$work/update.log" 2>&1 || fail "update-mime-database: $(cat "$work/update.log")"
grep -qx 'audio/x-ims' "$work/share/mime/types" || fail "audio/x-ims is not in the database"

cp "$song" "$work/files/SONG.IMS"
cp "$song" "$work/files/song.ims"
cp "$song" "$work/files/song-without-extension"
{ printf 'RIFF\044\000\000\000WAVEfmt \020\000\000\000\001\000\002\000\104\254\000\000\020\261\002\000\004\000\020\000'
  printf 'data\000\000\000\000'; } > "$work/files/SONG.WAV"

type_of() {
  XDG_DATA_HOME="$work/share" XDG_DATA_DIRS=/usr/share gio info -a standard::content-type "$1" |
    sed -n 's/.*standard::content-type: //p'
}
for f in SONG.IMS song.ims song-without-extension; do
  [ "$(type_of "$work/files/$f")" = audio/x-ims ] || fail "$f is $(type_of "$work/files/$f"), not audio/x-ims"
done
[ "$(type_of "$work/files/SONG.WAV")" = audio/x-wav ] || fail "SONG.WAV is $(type_of "$work/files/SONG.WAV")"
# Shown as audio, named as the system names it.
XDG_DATA_HOME="$work/share" XDG_DATA_DIRS=/usr/share gio info -a standard::icon "$work/files/SONG.IMS" |
  grep -q 'audio-x-generic' || fail "not shown with the audio icon"
grep -q '<comment>IMS song</comment>' "$work/share/mime/audio/x-ims.xml" || fail "no comment 'IMS song'"
echo "passed"
