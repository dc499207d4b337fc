#!/usr/bin/env bash
# Every test of the project, as CI runs it: native unit and end-to-end tests
# (ASan + UBSan), both Windows builds with their size check, a short run of
# every fuzz target, and the installer under Wine on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

step() { printf '\n=== %s ===\n' "$*"; }

step bootstrap
bash tools/bootstrap.sh

step "native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

step "release build (mksetup)"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"

step "Windows builds"
for preset in windows-x64 windows-x86; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
bash tools/check_size.sh

step "fuzz smoke"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
bash fuzz/smoke.sh 20

if [ -x tests/wine/run_all.sh ]; then
  step "Wine end-to-end"
  tests/wine/run_all.sh
fi
echo "all tests passed"
