#!/usr/bin/env bash
# A target on a drive that is not a fixed disk (a network drive, a removable
# one) is refused with "该盘符硬盘容量小于100MB，请更换盘符安装", whatever its
# free space; the wizard then ends without installing anything. As a fixed
# disk the same drive is accepted.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
wt_need_setup
wt_setup not_fixed_drive

setup_dir=$WINEPREFIX/drive_c/setup
mkdir -p "$setup_dir"
wt_make_installer "$setup_dir/setup.exe"
drive_host=$WT_TMP/drive-r
wt_map_drive r "$drive_host"
target='R:\演示产品'

for type in network floppy; do
    wt_log "drive R: as $type"
    wt_set_drive_type r "$type"
    wt_start_install "$setup_dir/setup.exe" "$target"
    pid=$WT_PID
    sel=(--title "$WT_PRODUCT")
    box=$(wt_ctl --timeout 30 --title setup msgbox) || wt_fail "no message box ($type)"
    wt_expect_eq "message ($type)" "该盘符硬盘容量小于100MB，请更换盘符安装" "$box"
    sleep 0.5
    wt_shot "refused-$type"
    wt_ctl_ok --title setup msgbox ok >/dev/null
    wt_wait_exit "$pid" 20 || wt_fail "the wizard did not close after the message ($type)"
    wt_expect_no_path "$drive_host/演示产品/$WT_UNINSTALLER_NAME"
    wt_expect_no_path "$drive_host/演示产品/tmp1.zip"
done

# The same drive as a fixed disk is accepted.
wt_set_drive_type r hd
wt_install "$setup_dir/setup.exe" "$target"
wt_expect_file "$drive_host/演示产品/$WT_UNINSTALLER_NAME"
wt_log "ok"
