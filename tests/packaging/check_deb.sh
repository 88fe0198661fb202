#!/usr/bin/env bash
# Checks the Debian package from tools/package-deb.sh: its file list (the
# library with its SONAME, the plug-in in the system's GStreamer plug-in
# folder, the file type, the programs with their manual pages, the header
# and velk.pc, the copyright and changelog), its control fields, lintian
# (no errors; the warnings are listed), and the plug-in unpacked with
# dpkg-deb -x into a temporary root, in gst-inspect-1.0 and, with the real
# songs, gst-discoverer-1.0.
#
# check_deb.sh PACKAGE.deb [SONGS_DIR]
set -euo pipefail
deb=$1 songs=${2:-$(cd "$(dirname "$0")/../.." && pwd)/../shared/songs}
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

version=$(sed -n 's/^#define VELK_VERSION_STRING "\(.*\)"$/\1/p' "$top/libvelk/velk.h")
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
plugins=$(pkg-config --variable=pluginsdir gstreamer-1.0)
lib=/usr/lib/$multiarch

echo "== files"
dpkg-deb -c "$deb" | awk '{ print $6 $7 $8 }' | sed 's|^\./|/|' > "$work/files"
cat "$work/files"
for f in "$lib/libvelk.so.1->libvelk.so.$version" "$lib/libvelk.so.$version" "$plugins/libgstvelk.so" \
  /usr/share/mime/packages/velk.xml /usr/bin/velkplay /usr/bin/velkrender /usr/bin/ruz2avu \
  /usr/include/velk.h "$lib/pkgconfig/velk.pc" /usr/share/man/man1/velkplay.1.gz \
  /usr/share/man/man1/velkrender.1.gz /usr/share/man/man1/ruz2avu.1.gz /usr/share/doc/velk/copyright \
  /usr/share/doc/velk/changelog.Debian.gz; do
  grep -qxF "$f" "$work/files" || fail "$f is not in the package"
done

echo "== control"
dpkg-deb -f "$deb" > "$work/control"
cat "$work/control"
[ "$(dpkg-deb -f "$deb" Package)" = velk ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version-1" ] || fail "version"
depends=$(dpkg-deb -f "$deb" Depends)
for d in libadplug libbinio libgstreamer1.0-0 libgstreamer-plugins-base1.0-0 libc6; do
  grep -q "$d" <<< "$depends" || fail "Depends lacks $d: $depends"
done

[ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./shlibs)" = "libvelk ${version%%.*} velk (>= $version-1)" ] ||
  fail "the shlibs file does not name libvelk.so.${version%%.*}"

echo "== unpacked"
root=$work/root
dpkg-deb -x "$deb" "$root"
soname=$(readelf -d "$root$lib/libvelk.so.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libvelk.so.1 ] || fail "libvelk's SONAME is '$soname'"
grep -qF "velk ($version-1)" <<< "$(zcat "$root/usr/share/doc/velk/changelog.Debian.gz" | sed -n 1p)" ||
  fail "the changelog's last entry is not $version-1"
cmp "$root/usr/share/mime/packages/velk.xml" "$top/packaging/velk.xml" || fail "the mime file is not packaging/velk.xml"
for page in velkplay velkrender ruz2avu; do
  man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 > /dev/null | grep . && fail "$page.1 has warnings"
  LD_LIBRARY_PATH="$root$lib" "$root/usr/bin/$page" --help > /dev/null 2>&1 ||
    [ "$page" = ruz2avu ] || fail "$root/usr/bin/$page --help failed"
done

export GST_REGISTRY=$work/registry.bin GST_PLUGIN_PATH=$root$plugins LD_LIBRARY_PATH=$root$lib
# grep -q reads the whole list: with pipefail, a grep that quits at the match
# kills ldd with SIGPIPE and the pipeline fails on a good package.
linked=$(ldd "$root$plugins/libgstvelk.so")
grep -qF "libvelk.so.1 => $root$lib/libvelk.so.1" <<< "$linked" ||
  fail "the unpacked plug-in does not take the unpacked libvelk: $linked"
gst-inspect-1.0 velk > "$work/inspect" || fail "gst-inspect-1.0 velk from the package"
grep -q 'velkdec: IMS song decoder' "$work/inspect" && grep -q 'audio/x-ims: ims' "$work/inspect" ||
  fail "the unpacked plug-in lacks velkdec or the type finder: $(cat "$work/inspect")"
grep "Filename" "$work/inspect"
if [ -f "$songs/AMG0018.IMS" ] && [ -f "$songs/STANDARD.BNK" ]; then
  cp "$songs/AMG0018.IMS" "$work/SONG.IMS"
  cp "$songs/STANDARD.BNK" "$work/SONG.BNK"
  timeout 60 gst-discoverer-1.0 -v "$work/SONG.IMS" > "$work/discover" 2>&1 || fail "$(cat "$work/discover")"
  grep -E 'Duration|title:' "$work/discover" | sort -u
  grep -q 'Duration: 0:01:22.3' "$work/discover" && grep -q 'title: OH! M G - Opening Theme' "$work/discover" ||
    fail "gst-discoverer-1.0 from the package: $(cat "$work/discover")"
elif [ -n "${CI:-}" ]; then
  fail "the real songs are missing from $songs"
else
  echo "SKIPPED: gst-discoverer-1.0 from the package (no real songs in $songs)"
fi

echo "== lintian"
status=0
lintian --tag-display-limit 0 "$deb" > "$work/lintian" 2>&1 || status=$?
cat "$work/lintian"
! grep -q '^E: ' "$work/lintian" || fail "lintian reports errors"
echo "lintian: $(grep -c '^E: ' "$work/lintian" || true) errors, $(grep -c '^W: ' "$work/lintian" || true) warnings"
echo "the package passed its checks"
