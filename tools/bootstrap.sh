#!/usr/bin/env bash
# Installs what the project needs on a Debian 12 machine and cross-builds
# AdPlug and libbinio for the two mingw-w64 targets. Idempotent: each step
# runs only when its result is missing.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
deps="$top/build/deps"

packages=(
  cmake ninja-build g++ python3 dpkg-dev
  libadplug-dev libbinio-dev googletest
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
  wine64 xvfb
  libsdl2-dev tmux
  clang libfuzzer-14-dev libclang-rt-14-dev
  pkg-config libsndfile1-dev flac ffmpeg python3-mido timidity fluid-soundfont-gm
  libebur128-dev loudgain vorbis-tools libvorbis-dev libflac-dev zlib1g-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-base-apps gstreamer1.0-plugins-good
  shared-mime-info lintian libglib2.0-bin libxml2-utils man-db
  emscripten chromium fonts-noto-cjk
  firefox-esr webkit2gtk-driver pulseaudio pulseaudio-utils
)

# --list says what a run installs and changes, without doing it: this list
# is the one place that says so.
# 32-bit Wine apart: its i386 libraries must match the amd64 ones to the
# version, which a mirror missing one architecture's updates cannot give.
i386_packages=(wine32:i386)

if [ "${1:-}" = --list ]; then
  echo "tools/bootstrap.sh installs these Debian packages (apt-get, without recommends):"
  printf '%s\n' "${packages[@]}" "${i386_packages[@]}" | sort | tr '\n' ' ' | fold -s -w 76 | sed 's/^/  /; s/ *$//'
  echo
  echo "It also adds the i386 architecture to dpkg (for wine32:i386) and, when apt's"
  echo "sources have no deb-src entry, one for Debian 12"
  echo "(/etc/apt/sources.list.d/velk-deb-src.sources), from which it fetches the source"
  echo "packages of AdPlug 2.3.3 and libbinio 1.5 to cross-build them for i686 and"
  echo "x86_64 Windows into build/deps/."
  exit 0
fi

# 32-bit Wine, which runs the i686 programs (the release target) where the
# kernel can start 32-bit programs at all, is a package of the i386
# architecture; the install below updates the package lists once it is added.
if [ "$(dpkg --print-architecture)" != i386 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "bootstrap: adding the i386 architecture"
  dpkg --add-architecture i386
fi

# A mirror being synced fails an update now and then ("File has unexpected
# size"): try again a few times, then go on with the lists there are (the
# install says what it cannot find).
update_lists() {
  local try
  for try in 1 2 3 4; do
    apt-get update -q >&2 && return 0
    echo "bootstrap: apt-get update failed (try $try of 4)" >&2
    sleep $((try * 10))
  done
  echo "bootstrap: going on with the package lists there are" >&2
}

# The packages named that are not installed yet, into `missing`.
find_missing() {
  local p
  missing=()
  for p in "$@"; do
    [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = 'install ok installed' ] || missing+=("$p")
  done
}

find_missing "${packages[@]}"
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  update_lists
  apt-get install -y -q --no-install-recommends "${missing[@]}"
  lists_updated=1
fi

# Where 32-bit Wine cannot be installed, the rest is still of use: the
# reason is left for tools/wine_probe.py, which says it in the test run.
mkdir -p "$deps"
unavailable="$deps/i386-unavailable"
find_missing "${i386_packages[@]}"
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  [ -n "${lists_updated:-}" ] || update_lists
  if ! apt-get install -y -q --no-install-recommends "${missing[@]}" >"$deps/i386-install.log" 2>&1; then
    why=$(grep -E '^(E:| [^ ].*: Depends:)' "$deps/i386-install.log" | head -n 2 | tr '\n' ' ' | sed 's/ *$//')
    echo "apt-get could not install ${missing[*]}: ${why:-see $deps/i386-install.log}" >"$unavailable"
    echo "bootstrap: !! $(cat "$unavailable")" >&2
    echo "bootstrap: !! going on without it: the i686 suite is built, and run only where 32-bit Wine is" >&2
  else
    rm -f "$unavailable"
  fi
else
  rm -f "$unavailable"
fi

# Debian's source packages are the origin of the cross-built libraries, so the
# Windows builds link the same AdPlug and libbinio releases as the native one.
ensure_deb_src() {
  if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "bootstrap: adding a deb-src entry" >&2
    cat > /etc/apt/sources.list.d/velk-deb-src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    update_lists
  fi
}

fetch_source() { # package version-glob -> prints the unpacked directory
  local pkg=$1 dir
  mkdir -p "$deps/src"
  dir=$(find "$deps/src" -maxdepth 1 -type d -name "$2" | head -n 1)
  if [ -z "$dir" ]; then
    ensure_deb_src
    (cd "$deps/src" && apt-get source -q "$pkg" >&2)
    dir=$(find "$deps/src" -maxdepth 1 -type d -name "$2" | head -n 1)
  fi
  [ -n "$dir" ] || { echo "bootstrap: no source for $pkg" >&2; exit 1; }
  echo "$dir"
}

# Plain compiler calls: neither library's autotools build is needed for a
# static archive, and this keeps the cross build to well under a minute.
build_target() {
  local triplet=$1 prefix="$deps/$1"
  [ -f "$prefix/lib/libadplug.a" ] && [ -f "$prefix/lib/libbinio.a" ] && return 0
  local cxx="$triplet-g++-posix" cc="$triplet-gcc-posix" ar="$triplet-ar"
  local binio adplug obj
  binio=$(fetch_source libbinio 'libbinio-1.5*')
  adplug=$(fetch_source adplug 'adplug-2.3.3*')
  obj="$deps/obj/$triplet"
  rm -rf "$obj" "$prefix"
  mkdir -p "$obj/binio" "$obj/adplug" "$prefix/lib" "$prefix/include/libbinio" "$prefix/include/adplug"
  echo "bootstrap: building libbinio and AdPlug for $triplet"

  # libbinio: binio.h comes from binio.h.in with the platform's capabilities.
  cp "$binio"/src/*.h "$prefix/include/libbinio/"
  sed -e 's/@ENABLE_STRING@/1/' -e 's/@ENABLE_IOSTREAM@/1/' \
      -e 's/@ISO_STDLIB@/1/' -e 's/@WITH_MATH@/1/' \
      -e 's/@TYPE_INT@/long long/' -e 's/@TYPE_FLOAT@/long double/' \
      "$binio/src/binio.h.in" > "$prefix/include/libbinio/binio.h"
  for f in "$binio"/src/*.cpp; do
    "$cxx" -O2 -w -c -I"$prefix/include/libbinio" "$f" -o "$obj/binio/$(basename "${f%.cpp}").o" &
  done
  wait
  "$ar" rcs "$prefix/lib/libbinio.a" "$obj"/binio/*.o

  # AdPlug: every source of the library, as Debian builds it.
  cp "$adplug"/src/*.h "$prefix/include/adplug/"
  local f n=0
  for f in "$adplug"/src/*.cpp "$adplug"/src/*.c; do
    case "$f" in *.c) comp=$cc ;; *) comp=$cxx ;; esac
    $comp -O2 -w -DVERSION='"2.3.3"' -I"$adplug/src" -I"$prefix/include/libbinio" -I"$prefix/include" \
      -c "$f" -o "$obj/adplug/$(basename "$f").o" &
    n=$((n + 1)); [ $((n % 4)) -eq 0 ] && wait
  done
  wait
  "$ar" rcs "$prefix/lib/libadplug.a" "$obj"/adplug/*.o
  rm -rf "$obj"
}

build_target i686-w64-mingw32
build_target x86_64-w64-mingw32

# The web player's browser tests drive Debian's chromium with playwright-core
# and its firefox-esr with puppeteer-core (neither downloads a browser); its
# benchmarks audit the site with lighthouse and axe-core. Kept in the build
# tree, installed in one call (npm drops what a later call does not name).
web_npm=(playwright-core@1 puppeteer-core@24 lighthouse@12 axe-core@4)
web_npm_missing=0
for p in "${web_npm[@]}"; do
  [ -f "$top/build/web/node_modules/${p%@*}/package.json" ] || web_npm_missing=1
done
if [ "$web_npm_missing" = 1 ]; then
  # npm comes with some builds of node, as its own package with Debian's.
  command -v npm >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends npm
  echo "bootstrap: installing ${web_npm[*]} into build/web"
  mkdir -p "$top/build/web"
  npm install --prefix "$top/build/web" --no-save --no-audit --no-fund "${web_npm[@]}" >&2
fi
echo "bootstrap: ready"
