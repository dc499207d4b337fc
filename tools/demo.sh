#!/usr/bin/env bash
# The demo: builds mksetup and both Windows programs, makes the demo product
# (examples/demo) into an installer, and installs it under Wine on a virtual
# display, walking the wizard as a user would, with a screenshot of each step.
#
#   bash tools/demo.sh [--uninstall]
#
#   --uninstall   afterwards also run 卸载.exe (confirm, remove, final message)
#
# Leaves in build/demo/:
#   setup.exe, setup-x86.exe   the installer (x64 stub, for Wine; x86, the shipping one)
#   pictures/                  the six wizard pictures (examples/make_pictures.py)
#   screens/*.png              the screenshots
#   wine/                      the Wine prefix (wine/prefix) and its user's home (wine/home)
#   installed                  a link to the installation directory in that prefix
#   installed.txt              what the installation made: files, shortcuts, log
#
# Build trees: build/release, build/windows-x64, build/windows-x86 (override
# with DEMO_RELEASE, DEMO_X64, DEMO_X86).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

uninstall=0
for arg in "$@"; do
    case $arg in
        --uninstall) uninstall=1 ;;
        *) echo "usage: tools/demo.sh [--uninstall]" >&2; exit 2 ;;
    esac
done

out=$root/build/demo
release=${DEMO_RELEASE:-$root/build/release}
x64=${DEMO_X64:-$root/build/windows-x64}
x86=${DEMO_X86:-$root/build/windows-x86}
jobs=${DEMO_JOBS:-2}
product=演示软件
product_version=1.0.0
install_dir='C:\Program Files\演示软件'
menu=演示软件

say() { printf '\n=== %s ===\n' "$*"; }

# --- builds -------------------------------------------------------------------
say bootstrap
bash tools/bootstrap.sh

say "builds: mksetup, setup.exe and uninst.exe for x64 and x86"
configure() { # PRESET DIR
    [ -f "$2/build.ninja" ] || cmake --preset "$1" -B "$2" >/dev/null
}
configure release "$release"
cmake --build "$release" -j "$jobs" --target mksetup
for pair in "windows-x64 $x64" "windows-x86 $x86"; do
    set -- $pair
    configure "$1" "$2"
    cmake --build "$2" -j "$jobs"
done
mksetup=$release/tools/mksetup/mksetup

# --- the installer --------------------------------------------------------------
say "the demo product"
mkdir -p "$out"
python3 examples/make_pictures.py "$out/pictures"
# An empty folder belongs to the product, and git keeps no empty folders.
mkdir -p examples/demo/app/用户数据
"$mksetup" build examples/demo/product.ini -o "$out/setup.exe" --stub "$x64/app/setup.exe"
"$mksetup" build examples/demo/product.ini -o "$out/setup-x86.exe" --stub "$x86/app/setup.exe" \
    --quiet
"$mksetup" verify "$out/setup.exe" >/dev/null
"$mksetup" verify "$out/setup-x86.exe" >/dev/null

# --- installing it under Wine ------------------------------------------------------
say "installing under Wine"
export WT_BUILD=$x64
. tests/wine/lib.sh
WT_NAME=demo
WT_TMP=$(mktemp -d "${TMPDIR:-/tmp}/demo.XXXXXX")  # the display's number, program output
WT_SCREEN_DIR=$out/screens

demo_cleanup() {
    local status=$?
    trap - EXIT
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        timeout 20 "$WT_WINESERVER" -k 2>/dev/null || true
        timeout 20 "$WT_WINESERVER" -w 2>/dev/null || true
    fi
    local pid
    for pid in "${WT_BG_PIDS[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    if [ -n "$WT_XVFB_PID" ]; then
        kill "$WT_XVFB_PID" 2>/dev/null || true
        wait "$WT_XVFB_PID" 2>/dev/null || true
    fi
    if [ $status -ne 0 ] && [ -f "$WT_TMP/programs.log" ]; then
        tail -20 "$WT_TMP/programs.log" >&2
    fi
    rm -rf "$WT_TMP"
    [ $status -eq 0 ] || echo "demo failed; screenshots so far: $WT_SCREEN_DIR" >&2
    exit $status
}
trap demo_cleanup EXIT
trap 'exit 130' INT TERM

rm -rf "$WT_SCREEN_DIR" "$out/wine" "$out/installed" "$out/installed.txt"
mkdir -p "$WT_SCREEN_DIR"
wt_start_xvfb
wt_new_prefix "$out/wine"
target_host=$(wt_hostpath "$install_dir")

# The wizard, step by step.
sel=(--title "$product")
wt_start "$out/setup.exe"
setup_pid=$WT_PID
wt_ctl_ok --timeout 60 "${sel[@]}" wait-control 1036 visible enabled "text=开始安装"
sleep 0.5
wt_shot step0-confirm
wt_ctl_ok "${sel[@]}" click 1036
wt_ctl_ok "${sel[@]}" wait-control 1000 visible
wt_ctl_ok "${sel[@]}" wait-control 1036 visible enabled "text=下一步"
sleep 0.5
wt_shot step1-directory
wt_ctl_ok "${sel[@]}" click 1036
wt_shot step2-progress
wt_ctl_ok --timeout 120 "${sel[@]}" wait-control 1036 visible enabled "text=完成"
sleep 0.5
wt_shot step2-finished
wt_ctl_ok "${sel[@]}" click 1036
wt_wait_exit "$setup_pid" 30 || wt_fail "the installer did not end after 完成"

# What the installation left, for a look.
[ -d "$target_host" ] || wt_fail "no installation directory $target_host"
profile=$(wt_profile) || wt_fail "no Wine user profile"
programs="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
ln -sfn "$target_host" "$out/installed"
{
    echo "installation directory: $install_dir"
    echo "  = $target_host"
    (cd "$target_host" && find . -mindepth 1 | sort | sed 's/^\./  /')
    echo
    echo "desktop shortcuts (Wine's desktop is the home folder $HOME):"
    find "$HOME" -maxdepth 1 -name '*.lnk' | sort | sed 's/^/  /'
    echo
    echo "Programs-menu folder: $programs/$menu"
    find "$programs/$menu" -mindepth 1 | sort | sed 's/^/  /'
} >"$out/installed.txt"

if [ $uninstall = 1 ]; then
    say "uninstalling"
    wt_start "$target_host/卸载.exe"
    uninst_pid=$WT_PID
    # The question has Yes (6) and No (7) buttons.
    wt_ctl --timeout 30 --title 卸载 wait-control 6 visible enabled ||
        wt_fail "no confirmation from 卸载.exe"
    sleep 0.5
    wt_shot uninstall-confirm
    wt_ctl_ok --title 卸载 click 6
    wt_wait_exit "$uninst_pid" 30 || wt_fail "the uninstaller did not hand over and end"
    wt_ctl --timeout 60 --title 卸载 msgbox >/dev/null || wt_fail "no final message"
    sleep 0.5
    wt_shot uninstall-done
    wt_ctl_ok --title 卸载 msgbox ok >/dev/null
    timeout 30 "$WT_WINESERVER" -w || true
    [ ! -e "$target_host" ] || wt_fail "the installation directory is still there"
    echo "(uninstalled afterwards: the directory and shortcuts above are gone)" >>"$out/installed.txt"
fi

say "done"
cat <<EOF
installer:     $out/setup.exe (x64 stub, run here under Wine)
               $out/setup-x86.exe (x86 stub, the shipping build)
pictures:      $out/pictures/
screenshots:   $WT_SCREEN_DIR/
$(ls "$WT_SCREEN_DIR" | sed 's/^/                 /')
installed:     $out/installed -> $target_host
listing:       $out/installed.txt
Wine prefix:   $WINEPREFIX (home $HOME); for example:
               WINEPREFIX=$WINEPREFIX HOME=$HOME LANG=zh_CN.UTF-8 wine '$install_dir\\卸载.exe'
EOF
