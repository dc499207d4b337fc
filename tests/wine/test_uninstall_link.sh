#!/usr/bin/env bash
# An uninstaller that stands in a folder which is only a link to one of the
# user's own folders (here the roaming application data) is refused: the
# folder the link leads to and everything in it stay.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
wt_need_setup
[ "$WT_UNINST" != "$WT_WINCTL" ] || { wt_log "SKIP: uninst.exe not built"; exit 77; }
wt_setup uninstall_link

setup_dir=$WINEPREFIX/drive_c/setup
mkdir -p "$setup_dir"
wt_make_installer "$setup_dir/setup.exe"
target_host=$(wt_hostpath "$WT_DEFAULT_DIR")
wt_install "$setup_dir/setup.exe"
wt_expect_file "$target_host/$WT_UNINSTALLER_NAME"

profile=$(wt_profile) || wt_fail "no Wine user profile"
guarded=$profile/AppData/Roaming
if [ ! -d "$guarded" ] || [ -L "$guarded" ]; then wt_fail "no real folder at $guarded"; fi
echo keep >"$guarded/mine.txt"
cp "$target_host/$WT_UNINSTALLER_NAME" "$guarded/"
ln -s "$guarded" "$WINEPREFIX/drive_c/链接"

wt_start 'C:\链接\'"$WT_UNINSTALLER_NAME"
pid=$WT_PID
text=$(wt_ctl --timeout 30 --title 卸载 msgbox ok) || wt_fail "no message"
wt_expect_eq "refusal" "安装目录是驱动器根目录或系统文件夹，为安全起见不能删除：
C:\\链接

没有删除任何文件。" "$(printf '%s' "$text" | tr -d '\r')"
status=0
wt_wait_exit "$pid" 20 || status=$?
wt_expect_eq "exit code" 3 "$status"
wt_expect_file "$guarded/mine.txt"
wt_expect_file "$guarded/$WT_UNINSTALLER_NAME"
wt_log "ok"
