#!/usr/bin/env bash
# The whole wizard, as a user walks it: confirm, change the directory, the
# automatic start, "完成". Then what the installation left: the product's
# files, the shortcuts on the desktop and in the Programs menu, "卸载.exe"
# with its uninstall record, and the day's log.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
wt_need_setup
wt_setup happy_path

setup_dir=$WINEPREFIX/drive_c/setup
mkdir -p "$setup_dir"
wt_make_installer "$setup_dir/setup.exe"
default_host=$(wt_hostpath "$WT_DEFAULT_DIR")
target='C:\Program Files\演示 安装'
target_host=$(wt_hostpath "$target")

# --- step 0 --------------------------------------------------------------
wt_start "$setup_dir/setup.exe"
pid=$WT_PID
sel=(--title "$WT_PRODUCT")
wt_ctl_ok --timeout 30 "${sel[@]}" wait-control 1036 visible enabled "text=开始安装"
wt_expect_eq "title" "$WT_PRODUCT $WT_VERSION " "$(wt_ctl "${sel[@]}" title)"
wt_ctl_ok "${sel[@]}" wait-control 1039 visible "text=第一步：确定安装"
wt_ctl_ok "${sel[@]}" wait-control 1041 hidden
[ -d "$default_host" ] || wt_fail "start-up did not create the default directory"
sleep 0.5
wt_shot step0-confirm
# The picture sits unscaled at the top-left corner of its control (a pixel
# of the BMP at the same offset), on the grey background beside it.
read -r left top right bottom <<<"$(wt_ctl "${sel[@]}" rect 1028)"
shot=$(wt_last_shot)
for xy in "10 10" "300 100"; do
    read -r x y <<<"$xy"
    want=$(wt_pixel "$WT_FIXTURES/image0.bmp" "$x" "$y")
    [ -n "$want" ] && [ "$want" != EBEBEB ] || wt_fail "cannot read the picture's pixel"
    wt_expect_eq "picture pixel at $x,$y" "$want" "$(wt_pixel "$shot" $((left + x)) $((top + y)))"
done
wt_expect_eq "background" EBEBEB "$(wt_pixel "$shot" $((left - 4)) $((bottom + 4)))"

# The About box from the system menu.
wt_ctl_ok "${sel[@]}" syscommand 0x10
wt_ctl_ok --title "关于 Setup" wait-window >/dev/null
wt_ctl --title "关于 Setup" windows | grep -q 'text="Setup 1.0 版"' || wt_fail "About box text"
wt_shot about
wt_ctl_ok --title "关于 Setup" click 1
wt_ctl_ok --title "关于 Setup" wait-gone

# --- step 1: the directory page --------------------------------------------
# The Enter key presses the default button, as a user would.
wt_key "$WT_PRODUCT" Return
wt_ctl_ok "${sel[@]}" wait-control 1000 visible
wt_ctl_ok "${sel[@]}" wait-control 1036 visible enabled "text=下一步"
wt_ctl_ok "${sel[@]}" wait-control 1041 visible enabled "text=上一步"
wt_ctl_ok "${sel[@]}" wait-control 1039 hidden
wt_expect_eq "directory shown" "$WT_DEFAULT_DIR" "$(wt_ctl "${sel[@]}" get-text 1000)"
# Back to step 0 and forward again.
wt_ctl_ok "${sel[@]}" click 1041
wt_ctl_ok "${sel[@]}" wait-control 1039 visible
wt_ctl_ok "${sel[@]}" wait-control 1036 "text=开始安装"
wt_ctl_ok "${sel[@]}" wait-control 1041 hidden
wt_ctl_ok "${sel[@]}" click 1036
wt_ctl_ok "${sel[@]}" wait-control 1000 visible
wt_ctl_ok "${sel[@]}" set-text 1000 "$target"
sleep 0.5
wt_shot step1-directory

# --- step 2: starts by itself, runs, succeeds --------------------------------
wt_ctl_ok "${sel[@]}" click 1036
wt_shot step2-progress
wt_ctl_ok --timeout 60 "${sel[@]}" wait-control 1036 visible enabled "text=完成"
wt_expect_eq "result label" "安装成功　　　　" "$(wt_ctl "${sel[@]}" get-text 1025)"
wt_expect_eq "bar position" 100 "$(wt_ctl "${sel[@]}" progress 1010)"
wt_ctl_ok "${sel[@]}" wait-control 1010 hidden
wt_ctl_ok "${sel[@]}" wait-control 2 hidden enabled
wt_ctl_ok "${sel[@]}" wait-control 1041 disabled
sleep 0.5
wt_shot step2-finished
wt_ctl_ok "${sel[@]}" click 1036
wt_wait_exit "$pid" 20 || wt_fail "the installer did not end after 完成"
wt_shot ended

# --- the installed files -------------------------------------------------------
[ -d "$target_host" ] || wt_fail "no installation directory $target_host"
python3 "$WT_LIB_DIR/checks.py" tree "$target_host" "$WT_FIXTURES/a" "$WT_FIXTURES/b" ||
    wt_fail "installed files differ from the archives"
wt_expect_no_path "$target_host/tmp1.zip"
wt_expect_no_path "$target_host/tmp2.zip"
# The default directory held only the log, which moved: it is gone.
wt_expect_no_path "$default_host"

# --- shortcuts -------------------------------------------------------------------
profile=$(wt_profile) || wt_fail "no Wine user profile"
user=$(basename "$profile")
desktop='C:\users\'$user'\Desktop'
programs='C:\users\'$user'\AppData\Roaming\Microsoft\Windows\Start Menu\Programs'
menu_path=$programs'\'$WT_MENU
wt_expect_file "$HOME/演示.lnk" # Wine's Desktop folder is $HOME
menu_host=$(wt_hostpath "$menu_path")
[ -d "$menu_host" ] || wt_fail "no Programs-menu folder $menu_host"

# LNK TARGET WORKDIR ICON
check_link() {
    local lnk=$1
    wt_expect_file "$lnk"
    wt_expect_eq "$lnk: target" "$2" "$(wt_lnk_field "$lnk" 'Local path')"
    wt_expect_eq "$lnk: working directory" "$3" "$(wt_lnk_field "$lnk" 'Working directory')"
    wt_expect_eq "$lnk: icon" "$4" "$(wt_lnk_field "$lnk" 'Icon location')"
}
check_link "$HOME/演示.lnk" "$target\\demo.exe" "$target" "$target\\demo.exe"
check_link "$menu_host/演示.lnk" "$target\\demo.exe" "$target" "$target\\demo.exe"
check_link "$menu_host/卸载演示.lnk" "$target\\卸载.exe" "$target" "$target\\卸载.exe"
check_link "$menu_host/说明.lnk" "$target\\doc\\说明.txt" "$target\\doc" "$target\\demo.exe"

# --- the uninstaller and its record ---------------------------------------------
python3 "$WT_LIB_DIR/checks.py" record "$WT_UNINST" "$target_host/$WT_UNINSTALLER_NAME" \
    "$WT_PRODUCT" "$WT_VERSION" "$menu_path" \
    "$desktop\\演示.lnk" "$menu_path\\演示.lnk" "$menu_path\\卸载演示.lnk" \
    "$menu_path\\说明.lnk" || wt_fail "uninstaller or record differs"

# --- the log -------------------------------------------------------------------------
logs=("$target_host"/install????????.log)
[ ${#logs[@]} -eq 1 ] && [ -f "${logs[0]}" ] || wt_fail "expected one log file, got ${logs[*]}"
counts=()
n0=$(unzip -Z1 "$WT_FIXTURES/a.zip" | wc -l)
n1=$(unzip -Z1 "$WT_FIXTURES/b.zip" | wc -l)
for ((i = 0; i < n0; i++)); do counts+=("count0_Setpos($i/$n0)"); done
for ((i = 0; i < n1; i++)); do counts+=("count1_Setpos($i/$n1)"); done
python3 "$WT_LIB_DIR/checks.py" log "${logs[0]}" \
    "Instal Btn" "Install Step 1" "Back to Step 1" "Instal Btn" "Install Step 1" \
    "Instal Btn" "Install Step 2" \
    "Instal Btn" "Install Step 3" "Prop3 Next begin" "MoveLogFile" "Remove old Folder Path" \
    --unordered "Prop3 Next end" \
    "ExtraFileFromInfo begin" "${counts[@]}" "ExtraFileFromInfo end" \
    "Instal Btn" "Finish Install" || wt_fail "log differs"
wt_log "ok"
