#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60), as many
# at a time as the machine has cores.
#
#   bash tools/fuzz.sh [SECONDS] [--committed]
#
# Each target starts from its committed seeds (fuzz/seeds/<target>) and the
# corpus grown by earlier runs (fuzz/corpus/<target>, which new inputs join).
# With --committed, as CI runs it, the grown corpus is left out and new
# inputs go to a scratch folder, so that the run depends on the repository
# alone. An input that fails a target is kept in fuzz/crashes/; the script
# then ends with status 1. Prints executions per second and coverage per
# target.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

seconds=60
committed=0
for arg in "$@"; do
  case "$arg" in
    --committed) committed=1 ;;
    *[!0-9]* | '') echo "usage: bash tools/fuzz.sh [SECONDS] [--committed]" >&2; exit 2 ;;
    *) seconds=$arg ;;
  esac
done

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is missing; run tools/bootstrap.sh" >&2; exit 2; }
source tools/preset.sh
configure_preset fuzz
cmake --build build/fuzz -j "$(nproc)" --target velk_fuzzers

targets=(ims_conversion rol_playback bank_lookup title_decoding lyrics_reading libvelk_api)
mkdir -p fuzz/crashes build/fuzz/logs
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Runs one target and leaves its row of the table in build/fuzz/logs/<t>.row.
fuzz_target() {
  local t=$1 corpus log status=0 execs rate cov ft result
  if [ "$committed" = 1 ]; then
    corpus="$scratch/$t"
  else
    corpus="fuzz/corpus/$t"
  fi
  mkdir -p "$corpus"
  log="build/fuzz/logs/$t.log"
  # One input taking seconds is a hang; memory beyond 2 GiB a leak or a blow-up.
  "build/fuzz/fuzz/${t}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -dict="fuzz/dict/$t.dict" -artifact_prefix="fuzz/crashes/$t-" -print_final_stats=1 \
    "$corpus" "fuzz/seeds/$t" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1 || true)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1 || true)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2 || true)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2 || true)
  if [ "$status" = 0 ]; then
    result=ok
  else
    result="FAILED (see $log; input in fuzz/crashes/)"
  fi
  printf '%-16s %10s %10s %8s %8s %8s  %s\n' "$t" "$seconds" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" \
    "$result" >"build/fuzz/logs/$t.row"
}

rm -f build/fuzz/logs/*.row
running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$(nproc)" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  fuzz_target "$t" &
  running=$((running + 1))
done
wait

failed=0
printf '\n%-16s %10s %10s %8s %8s %8s  %s\n' target seconds execs execs/s cov features result
for t in "${targets[@]}"; do
  row="build/fuzz/logs/$t.row"
  [ -f "$row" ] || printf '%-16s  did not finish (see build/fuzz/logs/%s.log)\n' "$t" "$t" >"$row"
  cat "$row"
  grep -q ' ok$' "$row" || failed=1
done
exit "$failed"
