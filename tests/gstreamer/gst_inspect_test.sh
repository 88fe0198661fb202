#!/usr/bin/env bash
# gst-inspect-1.0 lists the plug-in's element and type finder, the element's
# properties with the library's defaults, and no plug-in that failed to load.
#
# gst_inspect_test.sh PLUGIN_DIR SANITIZED WORK
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/gst_test_env.sh" "$3" "$1" "$2"

gst-inspect-1.0 velk > "$gst_work/plugin.txt" 2> "$gst_work/plugin.err" || fail "gst-inspect-1.0 velk: $(cat "$gst_work/plugin.err")"
grep -q 'velkdec: IMS song decoder' "$gst_work/plugin.txt" || fail "no element velkdec: $(cat "$gst_work/plugin.txt")"
grep -q 'audio/x-ims: ims' "$gst_work/plugin.txt" || fail "no type finder audio/x-ims: $(cat "$gst_work/plugin.txt")"
# The library's version, as its header gives it.
version=$(sed -n 's/^#define VELK_VERSION_STRING "\(.*\)"$/\1/p' "$here/../../libvelk/velk.h")
grep -q "Version *${version//./\\.}\$" "$gst_work/plugin.txt" || fail "not version $version"
! grep -qi 'failed to load' "$gst_work/plugin.err" || fail "$(cat "$gst_work/plugin.err")"

gst-inspect-1.0 velkdec > "$gst_work/element.txt"
grep -q 'Rank *primary' "$gst_work/element.txt" || fail "velkdec is not of rank primary"
# The library's defaults: Nuked, no bends.
grep -A3 '^  emulator' "$gst_work/element.txt" | grep 'Default: 2, "nuked"' > /dev/null || fail "emulator's default"
grep -A2 '^  pitch-bends' "$gst_work/element.txt" | grep 'Default: false' > /dev/null || fail "pitch-bends' default"
grep -q '^  bank ' "$gst_work/element.txt" || fail "no bank property"
echo "passed"
