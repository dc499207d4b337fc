# shellcheck shell=bash
# Helpers for the Wine end-to-end tests: a virtual display, a fresh Wine
# prefix per test, programs in the background, screenshots, drive letters,
# and the control driver winctl.exe. Source it, then call wt_setup NAME.
#
# Every wait has a limit: no test can hang. On exit (success, failure or
# signal) the test's Wine server, its background programs and its display
# are ended and its temporary directory removed (kept with WT_KEEP=1).
#
# Settings from the environment:
#   WT_BUILD     the windows-x64 build directory (build/windows-x64)
#   WT_MKSETUP   the native mksetup (build/release/tools/mksetup/mksetup)
#   WT_FIXTURES  the product's parts made by wt_make_fixtures (else made per test)
#   WT_TEMPLATE  a prefix made by wt_make_template, copied instead of booting
#   WT_SCREENS   where the screenshots go (build/wine-screens)
#   WT_KEEP=1    keep the temporary directory

WT_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WT_ROOT=$(cd "$WT_LIB_DIR/../.." && pwd)
WT_BUILD=${WT_BUILD:-$WT_ROOT/build/windows-x64}
WT_SCREENS=${WT_SCREENS:-$WT_ROOT/build/wine-screens}
WT_WINE=${WT_WINE:-/usr/lib/wine/wine64}
WT_WINESERVER=${WT_WINESERVER:-/usr/lib/wine/wineserver}
WT_WINCTL=${WT_WINCTL:-$WT_BUILD/tests/wine/driver/winctl.exe}
WT_SETUP=${WT_SETUP:-$WT_BUILD/app/setup.exe}
WT_UNINST=${WT_UNINST:-$WT_BUILD/uninstaller/uninst.exe}
WT_MKSETUP=${WT_MKSETUP:-$WT_ROOT/build/release/tools/mksetup/mksetup}

WT_NAME=""
WT_TMP=""
WT_XVFB_PID=""
WT_BG_PIDS=()
WT_SHOT_NO=0

wt_log() { printf '[%s %s] %s\n' "$(date +%H:%M:%S)" "${WT_NAME:-wine}" "$*" >&2; }

# Ends the test: a last screenshot and the window list help to see why.
wt_fail() {
    wt_log "FAIL: $*"
    if [ -n "${DISPLAY:-}" ] && [ -n "$WT_XVFB_PID" ]; then
        wt_shot failure || true
        wt_ctl --timeout 2 --class any windows >&2 2>/dev/null || true
    fi
    exit 1
}

# ---------------------------------------------------------------- set-up --

# wt_setup NAME: temporary directory, clean-up trap, display, prefix.
wt_setup() {
    WT_NAME=$1
    WT_TMP=$(mktemp -d "${TMPDIR:-/tmp}/wt-$WT_NAME.XXXXXX")
    trap wt_cleanup EXIT
    trap 'exit 130' INT TERM
    WT_SCREEN_DIR=$WT_SCREENS/$WT_NAME
    rm -rf "$WT_SCREEN_DIR"
    mkdir -p "$WT_SCREEN_DIR"
    [ -f "$WT_WINCTL" ] || wt_fail "winctl.exe missing: $WT_WINCTL"
    if [ "${WT_NEED_FIXTURES:-0}" = 1 ] && [ -z "${WT_FIXTURES:-}" ]; then
        WT_FIXTURES=$WT_TMP/fixtures
        wt_make_fixtures "$WT_FIXTURES" || wt_fail "cannot make the fixtures"
    fi
    wt_start_xvfb
    wt_new_prefix "$WT_TMP"
}

wt_cleanup() {
    local status=$?
    trap - EXIT
    local pid
    for pid in "${WT_BG_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        timeout 20 "$WT_WINESERVER" -k 2>/dev/null || true
        timeout 20 "$WT_WINESERVER" -w 2>/dev/null || true
    fi
    for pid in "${WT_BG_PIDS[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    if [ -n "$WT_XVFB_PID" ]; then
        kill "$WT_XVFB_PID" 2>/dev/null || true
        wait "$WT_XVFB_PID" 2>/dev/null || true
    fi
    if [ -n "$WT_TMP" ] && [ "${WT_KEEP:-0}" != 1 ]; then
        rm -rf "$WT_TMP"
    elif [ -n "$WT_TMP" ]; then
        wt_log "kept $WT_TMP"
    fi
    exit "$status"
}

# A display of our own: Xvfb picks a free number and tells it once ready.
wt_start_xvfb() {
    local out=$WT_TMP/display
    : >"$out"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
        3>"$out" >"$WT_TMP/xvfb.log" 2>&1 &
    WT_XVFB_PID=$!
    local i
    for i in $(seq 100); do
        if [ -s "$out" ] && grep -q '^[0-9]' "$out"; then
            export DISPLAY=":$(head -1 "$out")"
            wt_log "display $DISPLAY"
            return 0
        fi
        kill -0 "$WT_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    cat "$WT_TMP/xvfb.log" >&2
    wt_fail "Xvfb did not start"
}

# The environment of a prefix below DIR (prefix and home of its own: Wine
# links the user's Desktop and other folders to $HOME).
wt_env() {
    export WINEPREFIX=$1/prefix HOME=$1/home
    export WINEARCH=win64 WINELOADER=$WT_WINE WINEDEBUG=-all
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
    export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
    unset WINESERVER
    mkdir -p "$HOME"
}

wt_boot() {
    timeout -k 5 180 "$WT_WINE" wineboot -i >/dev/null 2>&1 || wt_fail "wineboot failed or timed out"
    # Without a window manager nobody draws title bars: let Wine draw them,
    # so that the screenshots show the titles.
    timeout -k 5 60 "$WT_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ \
        /d N /f >/dev/null 2>&1 || wt_fail "cannot configure the X11 driver"
    timeout -k 5 60 "$WT_WINESERVER" -w || wt_fail "wineserver did not end after wineboot"
}

# wt_make_template DIR: a booted prefix for wt_new_prefix to copy.
wt_make_template() {
    (
        wt_env "$1"
        wt_boot
    )
}

# wt_new_prefix DIR: WINEPREFIX and HOME below DIR, copied from WT_TEMPLATE
# when there is one (2 s instead of 15 s), else booted afresh.
wt_new_prefix() {
    local dir=$1
    if [ -n "${WT_TEMPLATE:-}" ] && [ -f "$WT_TEMPLATE/prefix/system.reg" ]; then
        wt_env "$dir"
        cp -a "$WT_TEMPLATE/prefix" "$WINEPREFIX"
        # The user folders are links to the template's home: point them here.
        local link target
        while IFS= read -r -d '' link; do
            target=$(readlink "$link")
            case $target in
                "$WT_TEMPLATE/home"*) ln -sfn "$HOME${target#"$WT_TEMPLATE/home"}" "$link" ;;
            esac
        done < <(find "$WINEPREFIX/drive_c/users" -maxdepth 2 -type l -print0)
    else
        wt_env "$dir"
        wt_boot
    fi
    wt_log "prefix $WINEPREFIX"
}

# ------------------------------------------------------------- programs --

# wt_wine [--timeout SEC] ARGS...: a Windows program in the foreground.
wt_wine() {
    local t=60
    if [ "$1" = --timeout ]; then t=$2; shift 2; fi
    timeout -k 5 "$t" "$WT_WINE" "$@"
}

# wt_start PROGRAM ARGS...: a Windows program in the background; its pid in
# WT_PID (the pid of the Wine loader, which ends with the program).
wt_start() {
    "$WT_WINE" "$@" >>"$WT_TMP/programs.log" 2>&1 &
    WT_PID=$!
    WT_BG_PIDS+=("$WT_PID")
}

# wt_wait_exit PID SEC: the program's exit status, or 124 after SEC seconds.
wt_wait_exit() {
    local pid=$1 limit=$(($2 * 10)) i
    for ((i = 0; i < limit; i++)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid" 2>/dev/null
            return $?
        fi
        sleep 0.1
    done
    return 124
}

# wt_ctl ARGS...: run winctl.exe (see its usage); its own limit plus a margin.
wt_ctl() {
    local t=10 args=("$@") i
    for ((i = 0; i < ${#args[@]} - 1; i++)); do
        [ "${args[i]}" = --timeout ] && t=${args[i + 1]}
    done
    timeout -k 5 $((t + 30)) "$WT_WINE" "$WT_WINCTL" "$@"
}

# wt_ctl_ok ARGS...: wt_ctl, failing the test when it fails.
wt_ctl_ok() { wt_ctl "$@" || wt_fail "winctl $*"; }

# wt_key TITLE KEY: a real key press (xdotool) into the window whose title
# contains TITLE; without a window manager the focus must be set directly.
wt_key() {
    local win
    win=$(timeout 10 xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$win" ] || wt_fail "no X window named $1"
    timeout 10 xdotool windowfocus --sync "$win" || wt_fail "cannot focus the window $1"
    timeout 10 xdotool key --window "$win" "$2" || wt_fail "cannot press $2"
}

# wt_shot NAME: the whole screen into the scenario's screenshot folder.
wt_shot() {
    WT_SHOT_NO=$((WT_SHOT_NO + 1))
    WT_LAST_SHOT=$1
    local file
    file=$(printf '%s/%02d-%s.png' "$WT_SCREEN_DIR" "$WT_SHOT_NO" "$1")
    timeout 20 import -display "$DISPLAY" -window root "$file" 2>/dev/null ||
        wt_log "screenshot $1 failed"
}

# wt_pixel IMAGE X Y: the colour of one pixel as RRGGBB.
wt_pixel() {
    timeout 20 convert "$1" -format "%[hex:p{$2,$3}]" info: 2>/dev/null | cut -c1-6
}

# wt_last_shot: the file of the latest screenshot.
wt_last_shot() { printf '%s/%02d-%s.png\n' "$WT_SCREEN_DIR" "$WT_SHOT_NO" "$WT_LAST_SHOT"; }

# ---------------------------------------------------------------- drives --

# wt_map_drive LETTER HOSTDIR: the drive LETTER: shows HOSTDIR.
wt_map_drive() {
    local letter=${1,,}
    mkdir -p "$2"
    ln -sfn "$2" "$WINEPREFIX/dosdevices/$letter:"
}

# wt_set_drive_type LETTER TYPE (hd, network, floppy, cdrom): effective for
# programs started afterwards (the Wine server is restarted).
wt_set_drive_type() {
    local letter=${1,,}
    wt_wine reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /t REG_SZ /d "$2" /f >/dev/null 2>&1 ||
        wt_fail "cannot set the type of drive $letter:"
    wt_restart_server
}

wt_restart_server() {
    timeout 20 "$WT_WINESERVER" -k 2>/dev/null || true
    timeout -k 5 30 "$WT_WINESERVER" -w || wt_fail "wineserver did not end"
}

# wt_winpath HOSTPATH: the Windows path of a host path on drive C: or Z:.
wt_winpath() {
    local p=$1
    case $p in
        "$WINEPREFIX/drive_c"*) p="C:${p#"$WINEPREFIX/drive_c"}" ;;
        *) p="Z:$p" ;;
    esac
    printf '%s\n' "${p//\//\\}"
}

# wt_hostpath WINPATH: the host path of C:\... (the reverse of wt_winpath).
wt_hostpath() {
    local p=${1//\\//}
    case ${p:0:2} in
        C: | c:) printf '%s\n' "$WINEPREFIX/drive_c${p:2}" ;;
        Z: | z:) printf '%s\n' "${p:2}" ;;
        *) printf '%s\n' "$WINEPREFIX/dosdevices/${p:0:2}${p:2}" ;;
    esac
}

# ------------------------------------------------------------- checking --

wt_expect_eq() { # WHAT EXPECTED ACTUAL
    [ "$2" = "$3" ] || wt_fail "$1: expected [$2], got [$3]"
}

# wt_need_setup (before wt_setup): skips the test (status 77) while
# setup.exe is not built; wt_setup then makes the fixtures if run_all.sh
# has not.
wt_need_setup() {
    if [ ! -f "$WT_SETUP" ]; then
        wt_log "SKIP: $WT_SETUP not built"
        exit 77
    fi
    [ -x "$WT_MKSETUP" ] || wt_fail "mksetup missing: $WT_MKSETUP"
    # Until the uninstaller is built, any program stands in for it.
    [ -f "$WT_UNINST" ] || WT_UNINST=$WT_WINCTL
    WT_NEED_FIXTURES=1
}

wt_expect_file() { [ -f "$1" ] || wt_fail "missing file $1"; }
wt_expect_no_path() { [ ! -e "$1" ] || wt_fail "should not exist: $1"; }

# --------------------------------------------------------- the product --
# The test product that the scenarios install. Texts in UTF-8 here; the
# installer gets them in GBK.
WT_PRODUCT=演示产品
WT_VERSION=1.0
WT_DEFAULT_DIR='C:\Program Files\演示产品'
WT_MENU=演示产品
WT_UNINSTALLER_NAME=卸载.exe
# Shortcuts: LINK|TARGET|ICON|LOCATION (0 desktop, 1 Programs-menu folder);
# an empty target is the uninstaller, an empty icon the target.
WT_SHORTCUTS=(
    '演示.lnk|demo.exe||0'
    '演示.lnk|demo.exe||1'
    '卸载演示.lnk|||1'
    '说明.lnk|doc\说明.txt|demo.exe|1'
)

wt_gbk() { printf '%s' "$1" | iconv -f UTF-8 -t GBK; }

# wt_make_fixtures DIR: the product's pictures and its two archives (a.zip,
# b.zip; the trees they hold in a/ and b/). Names with Chinese characters are stored in GBK, as the
# installer's archives hold them.
wt_make_fixtures() {
    local dir=$1 font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc i size
    mkdir -p "$dir"
    local -a labels=('图片 0：确认' '图片 1：目录' '图片 2：进度低' '图片 3：进度高' '图片 4：标题' '图片 5')
    # A colour of its own for each picture, so that a pixel tells which one shows.
    local -a tops=('#3060a0' '#307040' '#a06030' '#803080' '#305080' '#606060')
    for i in 0 1 2 3 4 5; do
        size=438x155
        [ $i -ge 4 ] && size=495x60
        convert -size $size "gradient:${tops[i]}-#d0e0f0" -gravity center -font $font -pointsize 24 \
            -fill white -annotate 0 "${labels[i]}" -type TrueColor "BMP3:$dir/image$i.bmp" ||
            return 1
    done
    # The trees are written by Python so that the GBK names are exact bytes.
    python3 - "$dir" "$WT_WINCTL" <<'PY' || return 1
import os, shutil, sys
root, winctl = sys.argv[1].encode(), sys.argv[2]
def gbk(s): return s.encode('gbk')
def put(tree, name, data):
    path = os.path.join(root, tree, *[gbk(p) for p in name.split('/')])
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f: f.write(data)
for tree in (b'a', b'b'):
    shutil.rmtree(os.path.join(root, tree), ignore_errors=True)
put(b'a', 'exename.ini', b'[EXE]\r\nName=demo\r\n')
put(b'a', 'demo.exe', open(winctl, 'rb').read())
put(b'a', 'doc/说明.txt', '这是说明。\r\n'.encode('gbk') * 200)
put(b'a', 'doc/readme.txt', b'read me\r\n' * 300)
os.makedirs(os.path.join(root, b'a', gbk('空目录')), exist_ok=True)
put(b'b', 'exename.ini', b'[EXE]\r\nName=demo\r\n')
for i in range(8):
    put(b'b', 'data/part%d.dat' % i, bytes((i * 7 + j) % 251 for j in range(20000 + i)))
put(b'b', 'data/empty.txt', b'')
PY
    rm -f "$dir/a.zip" "$dir/b.zip"
    (cd "$dir/a" && LC_ALL=C zip -q -X -r ../a.zip .) || return 1
    (cd "$dir/b" && LC_ALL=C zip -q -X -r ../b.zip .) || return 1
}

# wt_make_installer OUT [ZIP1 [ZIP2]]: an installer of the test product,
# made by `mksetup build` from a manifest, setup.exe, the fixtures in
# WT_FIXTURES (or the archives given) and the uninstaller.
wt_make_installer() {
    local out=$1 f=$WT_FIXTURES s link target icon location manifest=$WT_TMP/product.ini
    local zip1=${2:-$WT_FIXTURES/a.zip} zip2=${3:-$WT_FIXTURES/b.zip}
    {
        printf '[Product]\nName = %s\nVersion = %s\nPublisherKey = Demo\n' "$WT_PRODUCT" "$WT_VERSION"
        printf 'InstallDir = %s\nMenuFolder = %s\n\n' "$WT_DEFAULT_DIR" "$WT_MENU"
        for s in "${WT_SHORTCUTS[@]}"; do
            IFS='|' read -r link target icon location <<<"$s"
            printf '[Shortcut]\nName = %s\n' "$link"
            [ -n "$target" ] && printf 'Target = %s\n' "$target"
            [ -n "$icon" ] && printf 'Icon = %s\n' "$icon"
            printf 'Location = %s\n\n' "$([ "$location" = 0 ] && echo Desktop || echo Programs)"
        done
        printf '[Pictures]\nConfirm = %s\nDirectoryBanner = %s\nProgressLow = %s\n' \
            "$f/image0.bmp" "$f/image1.bmp" "$f/image2.bmp"
        printf 'ProgressHigh = %s\nHeader = %s\nSpare = %s\n\n' \
            "$f/image3.bmp" "$f/image4.bmp" "$f/image5.bmp"
        printf '[Archives]\nArchive1 = %s\nArchive2 = %s\n\n' "$zip1" "$zip2"
        printf '[Uninstaller]\nProgram = %s\n' "$WT_UNINST"
    } >"$manifest"
    timeout 120 "$WT_MKSETUP" build "$manifest" -o "$out" --stub "$WT_SETUP" --quiet -j 2 ||
        wt_fail "mksetup build failed"
}

# wt_start_install SETUP_EXE [DIR]: starts the installer and walks the wizard
# to its last step, in DIR or the default directory, where the installation
# starts by itself. The installer's process id is left in WT_PID.
wt_start_install() {
    local sel=(--title "$WT_PRODUCT")
    wt_start "$1"
    wt_ctl_ok --timeout 30 "${sel[@]}" wait-control 1036 visible enabled "text=开始安装"
    wt_ctl_ok "${sel[@]}" click 1036
    wt_ctl_ok "${sel[@]}" wait-control 1000 visible
    if [ -n "${2:-}" ]; then wt_ctl_ok "${sel[@]}" set-text 1000 "$2"; fi
    wt_ctl_ok "${sel[@]}" click 1036
}

# wt_install SETUP_EXE [DIR]: walks the wizard to its end, in DIR or the
# default directory, without looking closely (the happy path does that).
wt_install() {
    local sel=(--title "$WT_PRODUCT") pid
    wt_start_install "$@"
    pid=$WT_PID
    wt_ctl_ok --timeout 60 "${sel[@]}" wait-control 1036 visible enabled "text=完成"
    wt_ctl_ok "${sel[@]}" click 1036
    wt_wait_exit "$pid" 20 || wt_fail "the installer did not end after 完成"
}

# ------------------------------------------------------ the Wine user --

# The Wine user's profile folder on the host (drive_c/users/<name>).
wt_profile() {
    local d
    for d in "$WINEPREFIX"/drive_c/users/*; do
        [ "$(basename "$d")" = Public ] && continue
        [ -d "$d/AppData" ] && { printf '%s\n' "$d"; return 0; }
    done
    return 1
}

# wt_lnk_field LNK FIELD: one field of lnkinfo's report (e.g. "Local path").
wt_lnk_field() {
    lnkinfo -c windows-936 "$1" 2>/dev/null | sed -n "s/^[[:space:]]*$2[[:space:]]*: //p" | head -1
}
