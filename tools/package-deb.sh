#!/usr/bin/env bash
# Builds the Debian package velk_<version>-1_<arch>.deb: a Release build in
# build/deb with Debian's own build flags (hardening included), installed
# under /usr by CPack's DEB generator into build/deb/package/. Prints the
# package's path on its last line.
#
# tools/package-deb.sh   (VELK_SKIP_BOOTSTRAP=1 skips installing what is missing)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
[ -n "${VELK_SKIP_BOOTSTRAP:-}" ] || bash tools/bootstrap.sh >&2

# Debian's flags with every hardening feature (bind now included), given
# on each run so that a folder configured earlier takes them too;
# dpkg-buildflags keeps the preprocessor's flags apart.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
cmake -S . -B build/deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVELK_TESTS=OFF -DVELK_BENCH=OFF \
  -DCMAKE_C_FLAGS="$CFLAGS $CPPFLAGS" -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DCMAKE_SHARED_LINKER_FLAGS="$LDFLAGS" \
  -DCMAKE_MODULE_LINKER_FLAGS="$LDFLAGS" >&2
cmake --build build/deb -j "${VELK_JOBS:-$(nproc)}" >&2
rm -rf build/deb/package
(cd build/deb && cpack -G DEB >&2)
deb=$(ls build/deb/package/velk_*.deb)
echo "$top/$deb"
