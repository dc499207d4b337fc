#!/usr/bin/env bash
# Runs every fuzz target briefly (seconds per target, default 20).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
for target in build/fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=fuzz/seeds/${name#fuzz_}
  echo "fuzz: $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" \
    $([ -d "$seeds" ] && echo "$seeds") 2>&1 | grep -E 'stat::number_of_executed_units|ERROR|SUMMARY' || true
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "fuzz: $name failed"; exit 1; }
done
