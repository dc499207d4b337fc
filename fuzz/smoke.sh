#!/usr/bin/env bash
# Runs every fuzz target briefly (seconds per target, default 20) and fails
# when one of them finds a crash, a leak or a timeout.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for target in build/fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=fuzz/seeds/${name#fuzz_}
  echo "fuzz: $name for ${seconds}s"
  # The exit status is taken apart from the filter: behind a pipe and
  # `|| true` it would always read as success.
  status=0
  "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" \
    $([ -d "$seeds" ] && echo "$seeds") >"$log" 2>&1 || status=$?
  grep -E 'stat::number_of_executed_units|ERROR|SUMMARY' "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -40 "$log"
    echo "fuzz: $name failed (exit $status)"
    exit 1
  fi
done
