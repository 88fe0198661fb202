#!/usr/bin/env bash
# Builds the i686 release of the plug-in and packs it as a Winamp user
# installs it: dist/velk-<version>-winamp-x86.zip with in_velk.dll, a
# README.txt and the licence texts, and beside it
# dist/velk-<version>-source.tar.gz, the complete corresponding source (the
# committed sources and the AdPlug and libbinio source packages the DLL was
# built from). The version is the DLL's own version resource.
# VELK_SKIP_BOOTSTRAP=1 skips the installation step (tools/test.sh has run it).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

[ "${VELK_SKIP_BOOTSTRAP:-0}" = 1 ] || bash tools/bootstrap.sh
source tools/preset.sh

# The win32 configuration's DLL: the one the tests inspect and run.
configure_preset win32
cmake --build build/win32 --target in_velk
dll=build/win32/module/in_velk.dll
version=$(python3 tools/pe_resources.py i686-w64-mingw32-objdump "$dll")

deps=build/deps/src
adplug=$(find "$deps" -maxdepth 1 -type d -name 'adplug-*' | head -n 1)
binio=$(find "$deps" -maxdepth 1 -type d -name 'libbinio-*' | head -n 1)
[ -n "$adplug" ] && [ -n "$binio" ] || { echo "package: no AdPlug or libbinio source in $deps" >&2; exit 1; }
adplug_version=${adplug##*/adplug-}
binio_version=${binio##*/libbinio-}

# A clone packs its committed tree; a tree unpacked from a source archive
# packs itself again.
from_git=0
[ -e .git ] && from_git=1
if [ "$from_git" = 1 ] && [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "package: warning: uncommitted changes; the source archive holds the last commit, the DLL the working tree" >&2
fi

mkdir -p dist
zip=dist/velk-$version-winamp-x86.zip
source=dist/velk-$version-source.tar.gz
rm -f "$zip" "$source"

# The source archive: the sources, and the libraries' source packages.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
if [ "$from_git" = 1 ]; then
  git archive --format=tar --prefix="velk-$version/" HEAD | tar -x -C "$stage"
else
  mkdir -p "$stage/velk-$version"
  tar -C "$top" --exclude=./build --exclude=./dist -cf - . | tar -x -C "$stage/velk-$version"
fi
# The source packages as the bootstrap fetched them (a tree unpacked from a
# source archive has them in third-party/ already).
mkdir -p "$stage/velk-$version/third-party"
for f in "$deps"/*.dsc "$deps"/*.orig.tar.* "$deps"/*.debian.tar.*; do
  [ -e "$f" ] && cp "$f" "$stage/velk-$version/third-party/"
done
for p in adplug libbinio; do
  ls "$stage/velk-$version/third-party/${p}_"*.dsc >/dev/null 2>&1 ||
    { echo "package: no source package of $p in $deps or third-party/" >&2; exit 1; }
done
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0 -czf "$source" "velk-$version"

# The zip: text files with Windows line ends, fixed dates, so that the same
# DLL always gives the same package.
python3 - "$zip" "$dll" "$version" "$adplug_version" "$binio_version" \
  "$top/tools/package/README.txt" "$top/LICENSE" "$adplug/COPYING" "$binio/COPYING" <<'PY'
import sys, zipfile
zip_path, dll, version, adplug, binio, readme, licence, adplug_copying, binio_copying = sys.argv[1:]

def text(path, **values):
    content = open(path, encoding="utf-8").read()
    for key, value in values.items():
        content = content.replace("@%s@" % key, value)
    return content.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")

entries = [
    ("in_velk.dll", open(dll, "rb").read()),
    ("README.txt", text(readme, VERSION=version, ADPLUG=adplug, BINIO=binio)),
    ("LICENSE.txt", text(licence)),
    ("licenses/AdPlug-COPYING.txt", text(adplug_copying)),
    ("licenses/libbinio-COPYING.txt", text(binio_copying)),
]
with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_DEFLATED) as archive:
    for name, data in entries:
        info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        archive.writestr(info, data)
PY
echo "package: wrote $source"
echo "$zip"
