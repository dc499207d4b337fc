#!/usr/bin/env bash
# The installer's end-to-end tests: each tests/wine/test_*.sh in a Wine
# prefix and on a virtual display of its own, with screenshots of its steps
# in build/wine-screens/<scenario>/. Exits non-zero when a test fails.
#
#   tests/wine/run_all.sh [NAME...]      NAME: harness, happy_path, ... (default: all)
#
# Each test may take WT_TEST_TIMEOUT seconds (300). Uses the windows-x64
# build in WT_BUILD (default build/windows-x64) and mksetup in WT_MKSETUP
# (default build/release/tools/mksetup/mksetup), building them when missing
# or stale. WT_KEEP=1 keeps each test's prefix; see lib.sh for the rest.
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
export WT_BUILD=${WT_BUILD:-$root/build/windows-x64}
export WT_SCREENS=${WT_SCREENS:-$root/build/wine-screens}
. tests/wine/lib.sh
started=$(date +%s)

say() { printf '[wine] %s\n' "$*"; }

# --- builds ----------------------------------------------------------------
work_log=$(mktemp)
if [ ! -f "$WT_BUILD/build.ninja" ]; then
    cmake --preset windows-x64 -B "$WT_BUILD" >/dev/null || exit 1
fi
# The driver must build; the rest (setup.exe, uninst.exe) too, unless
# WT_ALLOW_PARTIAL=1 (while others' code is half-written).
cmake --build "$WT_BUILD" -j2 --target winctl testdlg >"$work_log" 2>&1 || {
    tail -30 "$work_log"
    exit 1
}
if ! cmake --build "$WT_BUILD" -j2 >"$work_log" 2>&1; then
    tail -30 "$work_log"
    if [ "${WT_ALLOW_PARTIAL:-0}" != 1 ]; then
        say "the windows-x64 build failed"
        exit 1
    fi
    say "the windows-x64 build failed; going on with what was built"
fi
# mksetup makes the installers: brought up to date in its release build.
case $WT_MKSETUP in
    */tools/mksetup/mksetup)
        release=${WT_MKSETUP%/tools/mksetup/mksetup}
        [ -f "$release/build.ninja" ] || cmake --preset release -B "$release" >/dev/null || exit 1
        cmake --build "$release" -j2 --target mksetup >"$work_log" 2>&1 || {
            tail -30 "$work_log"
            exit 1
        }
        ;;
esac
[ -x "$WT_MKSETUP" ] || { say "no mksetup at $WT_MKSETUP"; exit 1; }
export WT_MKSETUP

# --- shared parts: a booted prefix to copy, the product's files -------------
work=$(mktemp -d "${TMPDIR:-/tmp}/wt-run.XXXXXX")
trap 'rm -rf "$work" "$work_log"' EXIT
export WT_TEMPLATE=$work/template WT_FIXTURES=$work/fixtures
say "booting the template prefix"
wt_make_template "$WT_TEMPLATE" || {
    say "cannot boot a Wine prefix"
    exit 1
}
wt_make_fixtures "$WT_FIXTURES" || {
    say "cannot make the fixtures"
    exit 1
}

# --- the scenarios -----------------------------------------------------------
if [ $# -gt 0 ]; then
    tests=()
    for name in "$@"; do tests+=("tests/wine/test_$name.sh"); done
else
    tests=(tests/wine/test_*.sh)
fi
passed=() failed=() skipped=()
mkdir -p "$WT_SCREENS"
for t in "${tests[@]}"; do
    name=$(basename "$t" .sh)
    name=${name#test_}
    say "--- $name"
    t0=$(date +%s)
    # timeout signals the test's whole process group (its display and Wine
    # programs too): TERM first, so that the test cleans up, then KILL.
    timeout -k 30 "${WT_TEST_TIMEOUT:-300}" bash "$t" >"$WT_SCREENS/$name.log" 2>&1
    status=$?
    took=$(($(date +%s) - t0))
    case $status in
        0) passed+=("$name (${took}s)") ;;
        77) skipped+=("$name") ;;
        *)
            failed+=("$name (status $status, ${took}s)")
            tail -40 "$WT_SCREENS/$name.log"
            ;;
    esac
done

# --- summary -----------------------------------------------------------------
say "passed:  ${#passed[@]}  ${passed[*]:-}"
say "skipped: ${#skipped[@]}  ${skipped[*]:-}"
say "failed:  ${#failed[@]}  ${failed[*]:-}"
say "screenshots and logs: $WT_SCREENS"
say "total $(($(date +%s) - started))s"
[ ${#failed[@]} -eq 0 ] || exit 1
# Once the installer has sources, a skipped scenario means it did not build.
if [ ${#skipped[@]} -gt 0 ] && compgen -G "app/*.cpp" >/dev/null; then
    say "scenarios were skipped although app/ has sources"
    exit 1
fi
exit 0
