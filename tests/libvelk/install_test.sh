#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds a C program against
# the installed header and library with pkg-config's flags alone; it must
# play a song.
# usage: install_test.sh BUILD_DIR PROBE.c SONG CC [EXTRA_CFLAGS]
set -euo pipefail
build=$1 probe=$2 song=$3 cc=$4 extra=${5:-}
if [ ! -r "$song" ]; then
  echo "the real song $song is missing"
  [ -n "${CI:-}" ] && exit 1
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/velk-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"
pc=$(find "$work/prefix" -name velk.pc)
[ -n "$pc" ] || { echo "no velk.pc installed"; exit 1; }
lib=$(dirname "$(dirname "$pc")")
for f in "$lib/libvelk.so" "$lib/libvelk.so.1" "$work/prefix/include/velk.h"; do
  [ -e "$f" ] || { echo "missing: $f"; exit 1; }
done
soname=$(readelf -d "$lib/libvelk.so.1" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')
[ "$soname" = libvelk.so.1 ] || { echo "SONAME is $soname"; exit 1; }
flags=$(PKG_CONFIG_PATH="$(dirname "$pc")" pkg-config --cflags --libs velk)
echo "pkg-config: $flags"
# shellcheck disable=SC2086
"$cc" -std=c99 -Wall -Werror $extra "$probe" -o "$work/probe" $flags -Wl,-rpath,"$lib"
"$work/probe" "$song"
