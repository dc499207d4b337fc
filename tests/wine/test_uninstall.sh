#!/usr/bin/env bash
# Install, then uninstall with "卸载.exe": the installation directory, the
# shortcuts and the Programs-menu folder go; what lies beside them stays,
# and the uninstaller's copy in %TEMP% goes too.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
wt_need_setup
[ "$WT_UNINST" != "$WT_WINCTL" ] || { wt_log "SKIP: uninst.exe not built"; exit 77; }
wt_setup uninstall

setup_dir=$WINEPREFIX/drive_c/setup
mkdir -p "$setup_dir"
wt_make_installer "$setup_dir/setup.exe"
target_host=$(wt_hostpath "$WT_DEFAULT_DIR")
wt_install "$setup_dir/setup.exe"

profile=$(wt_profile) || wt_fail "no Wine user profile"
programs_host="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
menu_host=$programs_host/$WT_MENU
wt_expect_file "$target_host/$WT_UNINSTALLER_NAME"
wt_expect_file "$HOME/演示.lnk"
wt_expect_file "$menu_host/卸载演示.lnk"
# The user's own files next to what the installation made.
echo keep >"$(dirname "$target_host")/beside.txt"
echo keep >"$HOME/mine.txt"
echo keep >"$programs_host/mine.txt"

wt_start "$target_host/$WT_UNINSTALLER_NAME"
pid=$WT_PID
question=$(wt_ctl --timeout 30 --title 卸载 msgbox) || wt_fail "no confirmation"
# The question names the folder that goes with everything in it.
wt_expect_eq "question" "确实要卸载 $WT_PRODUCT $WT_VERSION 吗？

将删除以下文件夹及其中的全部文件：
$WT_DEFAULT_DIR" "$(printf '%s' "$question" | tr -d '\r')"
sleep 0.5
wt_shot confirm
wt_ctl_ok --title 卸载 msgbox yes >/dev/null
wt_wait_exit "$pid" 30 || wt_fail "the uninstaller did not hand over and end"
done_text=$(wt_ctl --timeout 60 --title 卸载 msgbox) || wt_fail "no final message"
wt_expect_eq "final message" "$WT_PRODUCT 已成功卸载。" "$done_text"
sleep 0.5
wt_shot done
wt_ctl_ok --title 卸载 msgbox ok >/dev/null
wt_ctl_ok --timeout 20 --title 卸载 wait-gone

wt_expect_no_path "$target_host"
# The uninstaller's working copy in %TEMP% does not stay behind.
for ((i = 0; i < 100; i++)); do
    [ -z "$(find "$profile/Temp" -type f 2>/dev/null)" ] && break
    sleep 0.1
done
[ -z "$(find "$profile/Temp" -type f 2>/dev/null)" ] ||
    wt_fail "left in %TEMP%: $(find "$profile/Temp" -type f)"
wt_expect_no_path "$HOME/演示.lnk"
wt_expect_no_path "$menu_host"
wt_expect_file "$(dirname "$target_host")/beside.txt"
wt_expect_file "$HOME/mine.txt"
wt_expect_file "$programs_host/mine.txt"
wt_log "ok"
