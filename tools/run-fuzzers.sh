#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each, starting from its committed seed
# corpus. New inputs go to build/fuzz/corpus/<target> (never into the
# repository); a failing input is kept in build/fuzz/findings/ and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: run-fuzzers.sh SECONDS [BUILD]}
build=${2:-build}/fuzz
mkdir -p "$build/findings"

status=0
for seeds in fuzz/corpus/*/; do
  target=$(basename "$seeds")
  binary=$build/fuzz_$target
  if [[ ! -x $binary ]]; then
    echo "fuzz_$target: not built" >&2
    status=1
    continue
  fi
  mkdir -p "$build/corpus/$target"
  log=$build/fuzz_$target.log
  if "$binary" "$build/corpus/$target" "$seeds" -max_total_time="$seconds" \
      -print_final_stats=1 -artifact_prefix="$build/findings/${target}-" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz_$target: ${runs:-?} executions in ${seconds}s, no finding"
  else
    echo "fuzz_$target: FAILED, see $log and $build/findings/" >&2
    tail -n 30 "$log" >&2
    status=1
  fi
done
exit $status
