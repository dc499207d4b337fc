#!/usr/bin/env bash
# The harness checks itself on testdlg.exe, a stand-in wizard with the
# installer's control ids: Chinese texts both ways, controls of child pages,
# the progress bar, a message box, and Escape.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
wt_setup harness

testdlg=$WT_BUILD/tests/wine/driver/testdlg.exe
[ -f "$testdlg" ] || wt_fail "testdlg.exe missing"
title=测试程序

# --- a full walk: step 0, directory page, automatic start, finish -------
target="C:\\Program Files\\测试 目录"
wt_start "$testdlg"
pid=$WT_PID
wt_ctl_ok --timeout 30 --title "$title" wait-window >/dev/null
wt_ctl_ok --title "$title" wait-control 1036 visible enabled "text=开始安装"
wt_expect_eq "title" "测试程序 1.0 " "$(wt_ctl --title "$title" title)"
wt_expect_eq "title bytes (GBK)" "b2e2cad4b3ccd0f220312e3020" "$(wt_ctl --title "$title" title-hex)"
wt_shot step0
wt_ctl_ok click 1036
wt_ctl_ok wait-control 1000 visible
wt_ctl_ok wait-control 1036 "text=下一步"
wt_ctl_ok set-text 1000 "$target"
wt_expect_eq "edit box" "$target" "$(wt_ctl get-text 1000)"
wt_shot directory
wt_ctl_ok click 1036
wt_ctl_ok --timeout 20 wait-control 1036 "text=完成" enabled
wt_expect_eq "label" "安装成功　　　　" "$(wt_ctl get-text 1025)"
wt_expect_eq "bar" 100 "$(wt_ctl progress 1010)"
wt_ctl_ok wait-control 2 hidden
wt_shot finished
wt_ctl_ok click 1036
wt_wait_exit "$pid" 20 || wt_fail "testdlg did not end after 完成"
wt_expect_file "$WINEPREFIX/drive_c/Program Files/测试 目录/done.txt"

# --- failure: the message box, read and closed --------------------------
wt_start "$testdlg"
pid=$WT_PID
wt_ctl_ok --timeout 20 click 1036
wt_ctl_ok wait-control 1000 visible
wt_ctl_ok set-text 1000 'C:\fail'
wt_ctl_ok click 1036
box=$(wt_ctl --timeout 20 msgbox) || wt_fail "no message box"
wt_expect_eq "message box" "安装失败!" "$box"
wt_shot failure-box
wt_ctl_ok msgbox ok >/dev/null
wt_wait_exit "$pid" 20 || wt_fail "testdlg did not end after the message box"

# --- Escape ends the wizard ----------------------------------------------
wt_start "$testdlg"
pid=$WT_PID
wt_ctl_ok --timeout 20 wait-control 1036 visible
wt_ctl_ok key esc
wt_wait_exit "$pid" 20 || wt_fail "Escape did not end testdlg"
wt_ctl_ok --timeout 5 --title "$title" wait-gone
# --- drive letters and their types -----------------------------------------
wt_map_drive r "$WT_TMP/drive-r"
wt_expect_eq "C: type" 3 "$(wt_ctl drive-type 'C:\')"
wt_set_drive_type r network
wt_expect_eq "R: as network" 4 "$(wt_ctl drive-type 'R:\')"
wt_set_drive_type r floppy
wt_expect_eq "R: as floppy" 2 "$(wt_ctl drive-type 'R:\')"
wt_log "ok"
