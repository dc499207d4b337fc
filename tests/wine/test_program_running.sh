#!/usr/bin/env bash
# A target directory that holds "exename.ini" while a program runs from it
# is refused with "该程序正在运行，无法安装!"; the wizard then ends without
# installing anything. Once the program has ended, the installation goes on.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
wt_need_setup
wt_setup program_running

setup_dir=$WINEPREFIX/drive_c/setup
mkdir -p "$setup_dir"
wt_make_installer "$setup_dir/setup.exe"
target_host=$(wt_hostpath "$WT_DEFAULT_DIR")

# An earlier installation: the marker file and its program, running.
mkdir -p "$target_host"
cp "$WT_FIXTURES/a/exename.ini" "$target_host/"
cp "$WT_WINCTL" "$target_host/demo.exe"
wt_start "$target_host/demo.exe" sleep 120
sleeper=$WT_PID
sleep 2
kill -0 "$sleeper" 2>/dev/null || wt_fail "the program in the target directory did not start"

wt_start "$setup_dir/setup.exe"
pid=$WT_PID
sel=(--title "$WT_PRODUCT")
wt_ctl_ok --timeout 30 "${sel[@]}" wait-control 1036 visible enabled "text=开始安装"
wt_ctl_ok "${sel[@]}" click 1036
wt_ctl_ok "${sel[@]}" wait-control 1000 visible
wt_expect_eq "directory shown" "$WT_DEFAULT_DIR" "$(wt_ctl "${sel[@]}" get-text 1000)"
wt_ctl_ok "${sel[@]}" click 1036

box=$(wt_ctl --timeout 30 --title setup msgbox) || wt_fail "no message box"
wt_expect_eq "message" "该程序正在运行，无法安装!" "$box"
sleep 0.5
wt_shot refused
wt_ctl_ok --title setup msgbox ok >/dev/null
wt_wait_exit "$pid" 20 || wt_fail "the wizard did not close after the message"
wt_shot closed

wt_expect_no_path "$target_host/$WT_UNINSTALLER_NAME"
wt_expect_no_path "$target_host/tmp1.zip"
wt_expect_no_path "$target_host/doc"
kill -0 "$sleeper" 2>/dev/null || wt_fail "the running program was disturbed"

# Once the program has ended, the same directory is accepted.
kill -KILL "$sleeper"
status=0
wt_wait_exit "$sleeper" 20 || status=$?
[ $status -ne 124 ] || wt_fail "the program did not end"
wt_install "$setup_dir/setup.exe"
wt_expect_file "$target_host/$WT_UNINSTALLER_NAME"
wt_log "ok"
