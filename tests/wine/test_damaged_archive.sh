#!/usr/bin/env bash
# An archive with a damaged entry: the installation fails with the label
# "安装失败　　　　" and the message box "安装失败!", and after OK the wizard
# closes by itself, without ever showing "完成". A download damaged or cut
# off after it was built is refused before the wizard shows.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
wt_need_setup
wt_setup damaged_archive

setup_dir=$WINEPREFIX/drive_c/setup
mkdir -p "$setup_dir"
wt_make_installer "$WT_TMP/sound.exe"
python3 "$WT_LIB_DIR/checks.py" damage "$WT_TMP/sound.exe" "$setup_dir/setup.exe" doc/readme.txt ||
    wt_fail "cannot damage the archive"
target_host=$(wt_hostpath "$WT_DEFAULT_DIR")

wt_start_install "$setup_dir/setup.exe"
pid=$WT_PID
sel=(--title "$WT_PRODUCT")

box=$(wt_ctl --timeout 60 --title setup msgbox) || wt_fail "no message box"
wt_expect_eq "message" "安装失败!" "$box"
wt_expect_eq "result label" "安装失败　　　　" "$(wt_ctl "${sel[@]}" get-text 1025)"
wt_ctl_ok "${sel[@]}" wait-control 1010 hidden
wt_ctl_ok "${sel[@]}" wait-control 1036 disabled "text=下一步"
sleep 0.5
wt_shot failure-message
wt_ctl_ok --title setup msgbox ok >/dev/null
wt_wait_exit "$pid" 20 || wt_fail "the wizard did not close after the message"
wt_shot closed

# The failed entry leaves no uninstaller; the temporary archives are gone.
wt_expect_no_path "$target_host/$WT_UNINSTALLER_NAME"
wt_expect_no_path "$target_host/tmp1.zip"
wt_expect_no_path "$target_host/tmp2.zip"
logs=("$target_host"/install????????.log)
[ -f "${logs[0]}" ] || wt_fail "no log in $target_host"
# The entries before the damaged one were unpacked, then the run failed.
n0=$(unzip -Z1 "$WT_FIXTURES/a.zip" | wc -l)
k=$(unzip -Z1 "$WT_FIXTURES/a.zip" | grep -n -x 'doc/readme.txt' | cut -d: -f1)
counts=()
for ((i = 0; i < k - 1; i++)); do counts+=("count0_Setpos($i/$n0)"); done
python3 "$WT_LIB_DIR/checks.py" log "${logs[0]}" \
    "Instal Btn" "Install Step 1" "Instal Btn" "Install Step 2" \
    "Instal Btn" "Install Step 3" "Prop3 Next begin" --unordered "Prop3 Next end" \
    "ExtraFileFromInfo begin" "${counts[@]}" "unziper0 UnzipFile Failed" \
    "Thread ExtraFileFromInfo Error" "ExitDialog_Install failed" \
    "Instal Btn" "Finish Install" || wt_fail "log differs"

# --- damaged after building: the integrity record no longer matches ------
python3 "$WT_LIB_DIR/checks.py" damage "$WT_TMP/sound.exe" "$setup_dir/download.exe" \
    doc/readme.txt download || wt_fail "cannot damage the download"
head -c -5000 "$WT_TMP/sound.exe" >"$setup_dir/cut.exe"
for exe in download cut; do
    wt_start "$setup_dir/$exe.exe"
    pid=$WT_PID
    box=$(wt_ctl --timeout 30 --title "$exe" msgbox) || wt_fail "no message box ($exe)"
    wt_expect_eq "message ($exe)" "安装程序已损坏，无法读取安装数据!" "$box"
    wt_shot "refused-$exe"
    wt_ctl --timeout 1 wait-control 1036 >/dev/null 2>&1 &&
        wt_fail "the wizard showed for a damaged installer ($exe)"
    wt_ctl_ok --title "$exe" msgbox ok >/dev/null
    wt_wait_exit "$pid" 20 || wt_fail "the installer did not end after the message ($exe)"
done
wt_log "ok"
