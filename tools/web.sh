#!/usr/bin/env bash
# Builds the web player: libbinio, AdPlug and libvelk as WebAssembly with
# Debian's emscripten, then the site (web/page plus the wasm) in
# build/web/site, a folder of static files any static server can host.
#
#   bash tools/web.sh            build the site
#   bash tools/web.sh --serve    build it and serve it at http://127.0.0.1:PORT
#   bash tools/web.sh --test     build it and run the browser tests (tests/web)
#   bash tools/web.sh --songs DIR [--serve|--test]
#                                the site with DIR's songs as its collection
#
# Every site lists the demo song (made from demo/ by the native imsmaker and
# bankmaker); with --songs, the IMS and ROL songs of DIR at any depth, with
# their banks and lyric files, are copied into songs/ and listed too. The
# native velkindex writes collection.json, which names each bad file and why
# (the site builds all the same).
#
# Each step runs only when its result is missing or older than its sources.
set -euo pipefail
songs=
action=
port=0
while [ $# -gt 0 ]; do
  case "$1" in
    --songs)
      [ $# -ge 2 ] && [ -d "$2" ] || { echo "web: --songs needs a folder of songs${2:+ ($2 is none)}" >&2; exit 2; }
      songs=$(cd "$2" && pwd); shift 2 ;;
    --serve) action=serve; shift; if [ $# -gt 0 ] && [[ "$1" =~ ^[0-9]+$ ]]; then port=$1; shift; fi ;;
    --test) action=test; shift ;;
    *) echo "usage: tools/web.sh [--songs DIR] [--serve [PORT]|--test]" >&2; exit 2 ;;
  esac
done
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

web="$top/build/web"
deps="$web/deps"
site="$web/site"
jobs=$(nproc)
# This emscripten's compiler runs on node and finds its modules there.
export NODE_PATH=/usr/share/nodejs
started=$SECONDS
say() { printf 'web: %s (at %ds)\n' "$1" $((SECONDS - started)); }

if ! command -v emcc >/dev/null || ! command -v chromium >/dev/null; then
  [ -n "${VELK_SKIP_BOOTSTRAP:-}" ] || bash tools/bootstrap.sh
fi

# AdPlug and libbinio from the Debian source packages the bootstrap fetched
# for the Windows builds, compiled by plain calls as it does there. Of AdPlug
# only what libvelk calls: the emulators, the player base and the file
# provider (its song players are not needed, and compiling all of them would
# triple this step).
adplug_sources=(emuopl.cpp fmopl.c nemuopl.cpp nukedopl.c woodyopl.cpp adlibemu.c fprovide.cpp player.cpp
                database.cpp debug.c)
source_dir() {
  local dir
  dir=$(find "$top/build/deps/src" -maxdepth 1 -type d -name "$1" 2>/dev/null | head -n 1)
  [ -n "$dir" ] || { echo "web: no source for $1 in build/deps/src; run tools/bootstrap.sh" >&2; exit 1; }
  echo "$dir"
}

build_deps() {
  [ -f "$deps/lib/libadplug.a" ] && [ -f "$deps/lib/libbinio.a" ] && return 0
  local binio adplug obj="$web/deps-obj" f
  binio=$(source_dir 'libbinio-1.5*')
  adplug=$(source_dir 'adplug-2.3.3*')
  say "building libbinio and AdPlug as WebAssembly"
  rm -rf "$obj" "$deps"
  mkdir -p "$obj/binio" "$obj/adplug" "$deps/lib" "$deps/include/libbinio" "$deps/include/adplug"
  cp "$binio"/src/*.h "$deps/include/libbinio/"
  sed -e 's/@ENABLE_STRING@/1/' -e 's/@ENABLE_IOSTREAM@/1/' \
      -e 's/@ISO_STDLIB@/1/' -e 's/@WITH_MATH@/1/' \
      -e 's/@TYPE_INT@/long long/' -e 's/@TYPE_FLOAT@/long double/' \
      "$binio/src/binio.h.in" > "$deps/include/libbinio/binio.h"
  cp "$adplug"/src/*.h "$deps/include/adplug/"
  # One compiler call per source, as many at a time as there are cores; a
  # failed call leaves its object missing, which the archive step reports.
  local running=0 out
  for f in "$binio"/src/*.cpp "${adplug_sources[@]/#/$adplug/src/}"; do
    case "$f" in
      "$binio"/*) out="$obj/binio/$(basename "$f").o"; set -- em++ -I"$deps/include/libbinio" ;;
      *.c) out="$obj/adplug/$(basename "$f").o"; set -- emcc ;;
      *) out="$obj/adplug/$(basename "$f").o"; set -- em++ ;;
    esac
    # stricmp is Windows' name for it (fprovide.cpp calls it).
    "$@" -O3 -w -DVERSION='"2.3.3"' -Dstricmp=strcasecmp -I"$adplug/src" -I"$deps/include/libbinio" \
      -I"$deps/include" -c "$f" -o "$out" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then wait -n || true; running=$((running - 1)); fi
  done
  wait
  for f in "$binio"/src/*.cpp "${adplug_sources[@]/#/$adplug/src/}"; do
    case "$f" in "$binio"/*) out="$obj/binio" ;; *) out="$obj/adplug" ;; esac
    [ -f "$out/$(basename "$f").o" ] || { echo "web: $(basename "$f") did not compile" >&2; exit 1; }
  done
  emar rcs "$deps/lib/libbinio.a" "$obj"/binio/*.o
  emar rcs "$deps/lib/libadplug.a" "$obj"/adplug/*.o
  rm -rf "$obj"
}

build_library() {
  if [ ! -f "$web/wasm/build.ninja" ]; then
    say "configuring libvelk for WebAssembly"
    emcmake cmake -S "$top" -B "$web/wasm" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DVELK_LIBRARY_ONLY=ON -DVELK_TESTS=OFF -DVELK_BENCH=OFF \
      -DVELK_TRIPLET=wasm32-emscripten -DVELK_DEPS_PREFIX="$deps" -Wno-dev >/dev/null
  fi
  say "building libvelk as WebAssembly"
  cmake --build "$web/wasm" --target velk_wasm -j "$jobs"
}

# The native tools the site is made with: velkindex, and imsmaker and
# bankmaker for the demo song. VELK_WEB_NATIVE names a configured native
# Release build of this tree to take them from (the test command's Debian
# build), instead of a build of their own.
native_dir() { echo "${VELK_WEB_NATIVE:-$web/native}"; }
build_native_tools() {
  local native launcher=()
  native=$(native_dir)
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  if [ ! -f "$native/build.ninja" ]; then
    say "configuring the native tools (velkindex, the demo song)"
    cmake -S "$top" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELK_TESTS=OFF -DVELK_BENCH=OFF \
      "${launcher[@]}" -Wno-dev >/dev/null
  fi
  say "building the native tools"
  cmake --build "$native" --target velkindex demo_song demo_bank -j "$jobs" >"$web/native-build.log" 2>&1 || {
    tail -n 30 "$web/native-build.log" >&2
    echo "web: the native tools did not build (the whole log: ${web#$top/}/native-build.log)" >&2
    exit 1
  }
}

# The collection: the demo song in demo/, DIR's songs in songs/, and their
# index. Only the files the index plays are kept (a folder's junk is listed
# as bad, not published).
build_collection() {
  local to=$1 native
  native=$(native_dir)
  mkdir -p "$to/demo"
  cp "$native/demo/demo.ims" "$to/demo/DEMO.IMS"
  cp "$native/demo/demo.bnk" "$to/demo/DEMO.BNK"
  local folders=(demo)
  if [ -n "$songs" ]; then
    say "indexing the songs of $songs"
    mkdir -p "$to/songs"
    cp -rL "$songs/." "$to/songs/"
    folders+=(songs)
  fi
  "$native/tools/velkindex/velkindex" -o "$to/collection.json" "$to" "${folders[@]}" 2>"$web/velkindex.log" || {
    cat "$web/velkindex.log" >&2; exit 1; }
  sed -n '1p' "$web/velkindex.log" | sed 's/^velkindex: /web: the collection: /'
  [ -n "$songs" ] || return 0
  python3 - "$to" <<'PY'
import json, os, sys
site = sys.argv[1]
index = json.load(open(os.path.join(site, "collection.json"), encoding="utf-8"))
keep = {s["path"] for s in index["songs"]} | {f["path"] for f in index["files"]}
root = os.path.join(site, "songs")
for folder, dirs, files in os.walk(root, topdown=False):
    for name in files:
        path = os.path.join(folder, name)
        if os.path.relpath(path, site).replace(os.sep, "/") not in keep:
            os.remove(path)
    if not os.listdir(folder) and folder != root:
        os.rmdir(folder)
PY
}

# The site: the page's files, the library, the collection, and the list of
# everything the service worker keeps for offline use (its name changes with
# the content, so a new build replaces the old cache). The collection's songs
# are kept as they are played, not at install.
build_site() {
  rm -rf "$site.new"
  mkdir -p "$site.new"
  cp -r web/page/. "$site.new/"
  # The style sheet inside the page: one round trip fewer before the first
  # paint on a phone's network (it is all the page's first paint needs).
  python3 - "$site.new" <<'PY'
import sys
site = sys.argv[1]
html = open(f"{site}/index.html", encoding="utf-8").read()
link = '<link rel="stylesheet" href="style.css">'
assert link in html, "index.html no longer links style.css"
css = open(f"{site}/style.css", encoding="utf-8").read()
open(f"{site}/index.html", "w", encoding="utf-8").write(html.replace(link, f"<style>\n{css}</style>"))
PY
  rm "$site.new/style.css"
  cp "$web/wasm/web/velk.mjs" "$web/wasm/web/velk.wasm" "$site.new/"
  build_collection "$site.new"
  (cd "$site.new" && find . -type f ! -name sw.js ! -name site-files.js ! -path './songs/*' | sed 's|^\./||' | sort) > "$web/files.txt"
  local version
  version=$(cd "$site.new" && sort "$web/files.txt" | xargs sha256sum | sha256sum | cut -c1-16)
  {
    echo "// Written by tools/web.sh: the files the service worker keeps."
    echo "self.siteVersion = '$version';"
    printf 'self.siteFiles = [\n'
    sed "s/.*/  '&',/" "$web/files.txt"
    printf '];\n'
  } > "$site.new/site-files.js"
  rm -rf "$site"
  mv "$site.new" "$site"
  # What a visitor downloads, the collection aside, gzipped as servers send it.
  local packed
  packed=$(cd "$site" && find . -type f ! -path './songs/*' -print0 | xargs -0 -n1 sh -c 'gzip -9c "$0" | wc -c' |
           awk '{ n += $1 } END { print int(n / 1024) }')
  say "site in ${site#$top/} ($(du -sk "$site" | cut -f1) KiB; without the collection $packed KiB gzipped)"
  [ "$packed" -lt 1024 ] || echo "web: the site without its collection is over 1 MiB gzipped ($packed KiB)" >&2
}

build_deps
build_library
build_native_tools
build_site

case "$action" in
  serve)
    say "serving the site (Ctrl-C stops)"
    exec python3 web/serve.py "$site" "$port" ;;
  test)
    # Chromium is held to everything; each engine (Chromium, Firefox ESR,
    # WebKitGTK) to the core: both run, and either failing fails the test.
    say "running the browser tests"
    status=0
    node tests/web/run.mjs "$site" || status=1
    say "the core checks in every engine"
    node tests/web/engines.mjs "$site" || status=1
    say "browser tests done"
    exit "$status" ;;
  "") ;;
esac
