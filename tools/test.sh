#!/usr/bin/env bash
# Installs what is missing, builds the native, sanitizer and both Windows
# configurations, runs every test in one ctest run, then runs every fuzz
# target for a short, bounded time on the committed seeds.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

# Each phase's heading says how long the run has taken so far.
phase() { printf '== %s (at %dm%02ds)\n' "$1" $((SECONDS / 60)) $((SECONDS % 60)); }

phase "installing what is missing"
bash tools/bootstrap.sh
source tools/preset.sh

in_ci() { [ -n "${CI:-}" ] && [ "$CI" != false ] && [ "$CI" != 0 ]; }

# First a probe per Windows target (tools/wine_probe.py; it also sets up each
# target's Wine prefix once, before tests run in parallel). Some machines'
# kernels cannot start 32-bit programs at all: there the win32 tests are
# built but not run, its DLL is still checked without Wine, and the run
# passes, under CI too. Where the kernel can but Wine cannot start a program,
# Wine is missing or broken: the target's tests are built but not run, and
# under CI the run fails rather than quietly dropping a suite.
declare -A wine=([win64]=ON [win32]=ON) not_run=() cpu=([win64]=x86_64 [win32]=i686)
ci=()
in_ci && ci=(--ci)
for target in win64 win32; do
  probe=$(python3 tools/wine_probe.py "$target" "${ci[@]}")
  reason=${probe#* }
  case "$probe" in
    run) ;;
    not-run\ *)
      wine[$target]=OFF
      not_run[$target]=$reason
      echo "!! the $target suite (${cpu[$target]}) is built but not run: $reason" >&2 ;;
    *)
      echo "!! this run fails: $reason" >&2
      exit 1 ;;
  esac
done

jobs=$(nproc)
configs=(native tsan win64 win32)
for preset in "${configs[@]}"; do
  phase "building $preset"
  options=()
  case "$preset" in win32 | win64) options=(-DVELK_WINE="${wine[$preset]}") ;; esac
  configure_preset "$preset" "${options[@]}"
  case "$preset" in
    tsan) targets=(--target velk_tests) ;;         # only the threaded tests run there
    *) targets=() ;;
  esac
  cmake --build "build/$preset" -j "$jobs" "${targets[@]}"
done

# One ctest run over every configuration's tests.
{
  echo "# Written by tools/test.sh: the suites of every configuration."
  for preset in "${configs[@]}"; do echo "subdirs(\"$preset\")"; done
} > build/CTestTestfile.cmake

declare -A what=(
  [native]="Linux, under AddressSanitizer and UndefinedBehaviorSanitizer"
  [tsan]="Linux, the threaded tests under ThreadSanitizer"
  [win64]="x86_64 Windows under wine64"
  [win32]="i686 Windows, the release target, under 32-bit Wine"
)
phase "suites in this run (ctest's label summary at the end counts those that ran)"
for preset in "${configs[@]}"; do
  count=$(ctest --test-dir "build/$preset" -N | sed -n 's/^Total Tests: //p')
  note=${what[$preset]}
  [ "${wine[$preset]:-ON}" = ON ] || note="built, not run under Wine, its DLL checked without it: ${not_run[$preset]}"
  printf '   %-7s %4s tests  %s\n' "$preset" "$count" "$note"
done

# The release package from the win32 build just made (nothing is rebuilt),
# checked against the DLL that the tests inspect.
phase "packaging the release"
package_status=0
zip=$(VELK_SKIP_BOOTSTRAP=1 bash tools/package.sh | tail -n 1) &&
  python3 tests/plugin_dll/check_package.py i686-w64-mingw32-objdump build/win32/module/in_velk.dll "$zip" ||
  package_status=1

# The Debian package (a Release build of its own in build/deb), checked:
# files, fields, lintian, the plug-in unpacked in GStreamer's tools.
phase "building and checking the Debian package"
deb_status=0
deb=$(VELK_SKIP_BOOTSTRAP=1 bash tools/package-deb.sh | tail -n 1) &&
  bash tests/packaging/check_deb.sh "$deb" || deb_status=1

# The web player: libvelk as WebAssembly, the site, and its tests in headless
# Chromium (the page's audio against the native render built above).
phase "building the web player and testing it in Chromium"
web_status=0
# Its native tools come from the Debian package's Release build, when that built.
web_native=()
[ "$deb_status" = 0 ] && web_native=(VELK_WEB_NATIVE="$top/build/deb")
env "${web_native[@]}" VELK_SKIP_BOOTSTRAP=1 bash tools/web.sh --test || web_status=1

# The README's quick command blocks run as written, and every block is
# marked (tools/check_readme.py; --slow runs the slow ones too).
phase "checking the README's commands"
readme_status=0
python3 tools/check_readme.py || readme_status=1

phase "running every suite"
# A fresh machine has no times of its own for ctest, which then starts the
# longest tests last and waits for them alone; tools/ctest_costs.txt has
# earlier ones (tools/ctest_costs.py). Once ctest has its own, they are kept.
mkdir -p build/Testing/Temporary
[ -f build/Testing/Temporary/CTestCostData.txt ] || cp tools/ctest_costs.txt build/Testing/Temporary/CTestCostData.txt
ctest_status=0
ctest --test-dir build -j "$jobs" --output-on-failure --timeout 600 || ctest_status=$?

# About 20 s per target (plus the clang build): a failing input fails CI
# and is kept in fuzz/crashes/.
phase "fuzzing each target for 20 s"
fuzz_status=0
bash tools/fuzz.sh 20 --committed || fuzz_status=$?
phase "done"

# Which suites ran: a passing run need not have run every one.
echo "   suites:"
for preset in "${configs[@]}"; do
  if [ "${wine[$preset]:-ON}" = ON ]; then
    printf '   %-7s ran\n' "$preset"
  else
    printf '   %-7s built, not run (only its DLL checked, without Wine): %s\n' "$preset" "${not_run[$preset]}"
  fi
done
printf '   %-7s ran\n' package fuzz web

[ "$package_status" = 0 ] || echo "!! the release package failed its check (above, under == packaging)" >&2
[ "$fuzz_status" = 0 ] || echo "!! a fuzz target failed (above, its row in the table)" >&2
[ "$web_status" = 0 ] || echo "!! the web player failed its build or browser tests (above, under == building the web player)" >&2
[ "$readme_status" = 0 ] || echo "!! a README command block failed (above, under == checking the README's commands)" >&2
[ "$deb_status" = 0 ] || echo "!! the Debian package failed its check (above, under == building and checking the Debian package)" >&2
[ "$ctest_status" = 0 ] && [ "$package_status" = 0 ] && [ "$fuzz_status" = 0 ] && [ "$deb_status" = 0 ] && [ "$readme_status" = 0 ] && [ "$web_status" = 0 ]
