#!/usr/bin/env bash
# Runs gst_controls_test on the demo song laid out as a DOS collection
# names it (DEMO.IMS beside DEMO.BNK).
#
# gst_controls_test.sh CONTROLS_TEST PLUGIN_DIR SANITIZED WORK DEMO.ims DEMO.bnk
set -euo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/gst_test_env.sh" "$4" "$2" "$3"
cp "$5" "$gst_work/DEMO.IMS"
cp "$6" "$gst_work/DEMO.BNK"
exec "$program" "$gst_work/DEMO.IMS"
