#!/usr/bin/env bash
# Installs what is missing, builds the native, sanitizer and both Windows
# configurations, and runs every test in one ctest run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash tools/bootstrap.sh
source tools/preset.sh

jobs=$(nproc)
configs=(native tsan win64 win32)
for preset in "${configs[@]}"; do
  echo "== building $preset"
  configure_preset "$preset"
  case "$preset" in
    tsan) targets=(--target velk_tests) ;;         # only the threaded tests run there
    win32) targets=(--target in_velk) ;;           # the release DLL, inspected; nothing runs
    *) targets=() ;;
  esac
  cmake --build "build/$preset" -j "$jobs" "${targets[@]}"
done

# One ctest run over every configuration's tests.
{
  echo "# Written by tools/test.sh: the suites of every configuration."
  for preset in "${configs[@]}"; do echo "subdirs(\"$preset\")"; done
} > build/CTestTestfile.cmake

tools/wine-run.sh cmd /c exit >/dev/null 2>&1 || true  # creates the Wine prefix once
ctest --test-dir build -j "$jobs" --output-on-failure --timeout 600
