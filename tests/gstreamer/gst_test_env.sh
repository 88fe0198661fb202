# Sourced by the GStreamer tests: the plug-in from the build, a registry of
# the test's own (tests neither share nor pollute one), a clean work folder,
# and the sanitizer runtime loaded first when the build uses one (GStreamer's
# tools are not built with it).
#
# . gst_test_env.sh WORK PLUGIN_DIR SANITIZED
gst_work=$1 gst_plugin_dir=$2 gst_sanitized=$3
rm -rf "$gst_work"
mkdir -p "$gst_work"
export TMPDIR="$gst_work" GST_REGISTRY="$gst_work/registry.bin" GST_PLUGIN_PATH="$gst_plugin_dir"
if [ "$gst_sanitized" = ON ]; then
  LD_PRELOAD=$(gcc -print-file-name=libasan.so)
  export LD_PRELOAD
  # GLib and GStreamer keep their caches to the end; the element's faults
  # show as errors, not as leaks at exit.
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=0
fi

in_ci() { [ -n "${CI:-}" ] && [ "$CI" != false ] && [ "$CI" != 0 ]; }

# Skips the test (fails it under CI) when a real song is missing.
require_file() {
  [ -f "$1" ] && return 0
  if in_ci; then
    echo "real song file $1 is missing" >&2
    exit 1
  fi
  echo "SKIPPED: real song file $1 not found"
  exit 0
}

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
