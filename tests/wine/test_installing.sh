#!/usr/bin/env bash
# While the installation runs (thousands of files make it take a while): the bar
# moves, Back, Next and Exit are disabled, and neither Escape nor the Close
# command ends the wizard; the run then finishes normally, and Escape now
# ends the wizard.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
wt_need_setup
wt_setup installing

setup_dir=$WINEPREFIX/drive_c/setup
mkdir -p "$setup_dir" "$WT_TMP/big/data"
cp "$WT_FIXTURES/b/exename.ini" "$WT_TMP/big/"
# Many entries: each one is a file to create and a time to set.
python3 - "$WT_TMP/big/data" <<'PY'
import os, sys
for i in range(4000):
    with open(os.path.join(sys.argv[1], 'f%04d.txt' % i), 'wb') as f:
        f.write(b'%d\r\n' % i * 20)
PY
(cd "$WT_TMP/big" && zip -q -X -r ../big.zip .)
rm -rf "$WT_TMP/big"
wt_make_installer "$setup_dir/setup.exe" "$WT_FIXTURES/a.zip" "$WT_TMP/big.zip"
target_host=$(wt_hostpath "$WT_DEFAULT_DIR")

wt_start "$setup_dir/setup.exe"
pid=$WT_PID
sel=(--title "$WT_PRODUCT")
wt_ctl_ok --timeout 30 "${sel[@]}" click 1036
wt_ctl_ok "${sel[@]}" wait-control 1000 visible
wt_ctl_ok "${sel[@]}" click 1036
wt_ctl_ok --timeout 20 "${sel[@]}" wait-control 1010 visible
t0=$(date +%s)
wt_ctl_ok "${sel[@]}" wait-control 1036 disabled
wt_ctl_ok "${sel[@]}" wait-control 1041 disabled
wt_ctl_ok "${sel[@]}" wait-control 2 disabled
# The banner: picture 2 below 50 %, picture 3 from 50 % (one pixel of each
# tells them apart).
banner_pixel() {
    local left top right bottom
    read -r left top right bottom <<<"$(wt_ctl "${sel[@]}" --beside 1025 rect 1026)"
    wt_pixel "$(wt_last_shot)" $((left + 10)) $((top + 10))
}
pos=$(wt_ctl "${sel[@]}" progress 1010)
wt_shot installing
if [ "$pos" -lt 40 ]; then
    wt_expect_eq "banner at $pos %" "$(wt_pixel "$WT_FIXTURES/image2.bmp" 10 10)" "$(banner_pixel)"
fi
wt_ctl_ok "${sel[@]}" key esc
wt_ctl_ok "${sel[@]}" key sysclose
wt_ctl_ok "${sel[@]}" key close
sleep 1
running=0
[ "$(wt_ctl "${sel[@]}" get-text 1036)" = 完成 ] || running=1
wt_log "bar at $pos, still running after the keys: $running ($(($(date +%s) - t0)) s in)"
[ $running = 1 ] || wt_log "WARNING: the installation ended before the keys could be checked"
kill -0 "$pid" 2>/dev/null || wt_fail "Escape or Close ended the installer while it was installing"
wt_ctl_ok --timeout 120 "${sel[@]}" wait-control 1036 visible enabled "text=完成"
wt_expect_eq "bar" 100 "$(wt_ctl "${sel[@]}" progress 1010)"
wt_shot finished
wt_expect_eq "banner at 100 %" "$(wt_pixel "$WT_FIXTURES/image3.bmp" 10 10)" "$(banner_pixel)"
# After success Escape still ends the wizard (as cancel: no "Finish Install").
wt_ctl_ok "${sel[@]}" key esc
wt_wait_exit "$pid" 20 || wt_fail "the installer did not end on Escape after success"
log=$(ls "$target_host"/install????????.log)
tail -1 "$log" | grep -a -q 'ExtraFileFromInfo end' || wt_fail "the log does not end with the run"
[ "$(find "$target_host/data" -type f | wc -l)" = 4000 ] || wt_fail "not all files installed"
wt_expect_file "$target_host/$WT_UNINSTALLER_NAME"
wt_log "ok"
