#!/usr/bin/env bash
# `mksetup install` against `unzip -q` on the same two archives, into the same
# file system: wall time and peak memory, paired in one run (the order
# alternates), medians over the repetitions.
#
#   bench/install_vs_unzip.sh [REPETITIONS]      (default 9)
#
# Environment: BUILD (default build/release; configured with the release
# preset and mksetup built when missing), WORK (a scratch directory; default a
# new one under $TMPDIR or /tmp, removed at the end).
# Goals: install wall time at most 1.15 x unzip's, peak memory at most 16 MB.
set -euo pipefail
cd "$(dirname "$0")/.."

reps=${1:-9}
build=${BUILD:-build/release}
mksetup=$build/tools/mksetup/mksetup
if [ ! -x "$mksetup" ]; then
  cmake --preset release -B "$build" >/dev/null
  cmake --build "$build" -j2 --target mksetup
fi
[ -x /usr/bin/time ] || { echo "GNU time is missing (apt-get install time)" >&2; exit 1; }

if [ -n "${WORK:-}" ]; then
  work=$WORK; mkdir -p "$work"; keep=1
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/install-bench-XXXXXX"); keep=0
fi
cleanup() { [ "$keep" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT

# --- The product: two archives of the payload's kind, made once ------------------
if [ ! -f "$work/setup.exe" ]; then
  echo "generating the product in $work ..."
  head -c 300000 /dev/zero | tr '\0' 'U' >"$work/uninst.bin"
  "$mksetup" pack "$work/uninst.bin" "$work/uninst.packed"
  python3 - "$work" <<'EOF'
import random, struct, sys, zipfile, os

work = sys.argv[1]
rng = random.Random(20240611)

class GbkInfo(zipfile.ZipInfo):
    # The product's archives carry GBK names without the UTF-8 flag.
    def _encodeFilenameFlags(self):
        return self.filename.encode('gbk'), self.flag_bits

words = ("setup install 安装 程序 数据 配置 文件 资源 界面 模块 system data value index "
         "table window 窗口 菜单 帮助 version module config resource image sound").split()
corpus = ' '.join(rng.choice(words) for _ in range(300000)).encode('gbk')

def content(size):
    kind = rng.random()
    if kind < 0.55:    # text: compresses well
        start = rng.randrange(0, len(corpus) - 1)
        out = bytearray()
        while len(out) < size:
            out += corpus[start:start + size - len(out)]
            start = 0
        return bytes(out)
    if kind < 0.85:    # packed media: does not compress
        return rng.randbytes(size)
    block = rng.randbytes(64)   # tables: repetitive
    return (block * (size // 64 + 1))[:size]

def size_of_file():
    r = rng.random()
    if r < 0.780: return rng.randrange(0, 16 * 1024)
    if r < 0.980: return rng.randrange(16 * 1024, 128 * 1024)
    if r < 0.998: return rng.randrange(128 * 1024, 1024 * 1024)
    return rng.randrange(2 * 1024 * 1024, 6 * 1024 * 1024)

def folders(prefix, n):
    names = []
    for i in range(n):
        depth = rng.randrange(1, 4)
        names.append('/'.join('%s%s%d' % (prefix, rng.choice(['目录', 'dir', '资源']), rng.randrange(40))
                              for _ in range(depth)) + '/')
    return sorted(set(names))

def make(path, prefix, nfiles, nfolders):
    total = 0
    dirs = folders(prefix, nfolders)
    seen = set()
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:
        for d in dirs:
            parts = d.rstrip('/').split('/')
            for k in range(1, len(parts) + 1):   # a folder's entry before its contents
                p = '/'.join(parts[:k]) + '/'
                if p in seen: continue
                seen.add(p)
                info = GbkInfo(p, date_time=(2020, 5, 17, 10, 30, 0))
                info.create_system = 0; info.external_attr = 0x10
                z.writestr(info, b'')
        for i in range(nfiles):
            d = rng.choice(dirs)
            name = '%s%s_%d.%s' % (d, rng.choice(['文件', 'file', '数据']), i, rng.choice(['dat', 'txt', 'bmp', 'dll']))
            data = content(size_of_file())
            total += len(data)
            info = GbkInfo(name, date_time=(2021, rng.randrange(1, 13), rng.randrange(1, 29), rng.randrange(24), rng.randrange(60), 2 * rng.randrange(30)))
            info.create_system = 0; info.external_attr = 0x20
            info.compress_type = zipfile.ZIP_DEFLATED if len(data) else zipfile.ZIP_STORED
            z.writestr(info, data, compresslevel=6)
    return total, len(seen) + nfiles

t0, n0 = make(os.path.join(work, 'a.zip'), 'a', 2300, 300)
t1, n1 = make(os.path.join(work, 'b.zip'), 'b', 800, 120)
assert n0 + n1 >= 3000 and t0 + t1 >= 100e6, 'product too small'
print('archives: %d entries, %.1f MB unpacked, %.1f MB packed' % (
    n0 + n1, (t0 + t1) / 1e6,
    (os.path.getsize(os.path.join(work, 'a.zip')) + os.path.getsize(os.path.join(work, 'b.zip'))) / 1e6))

def text(s):
    b = s.encode('gbk')
    return struct.pack('<I', len(b)) + b
payload = text('基准产品') + text('1.0') + text('') + text('C:\\Bench') + text('基准产品')
payload += struct.pack('<i', 2)
payload += text('基准.lnk') + text('') + text('') + struct.pack('<i', 0)
payload += text('卸载.lnk') + text('') + text('') + struct.pack('<i', 1)
payload += struct.pack('<I', 0) * 6
for name in ('a.zip', 'b.zip'):
    data = open(os.path.join(work, name), 'rb').read()
    payload += struct.pack('<I', len(data)) + data
packed = open(os.path.join(work, 'uninst.packed'), 'rb').read()
payload += struct.pack('<I', len(packed)) + packed
with open(os.path.join(work, 'setup.exe'), 'wb') as f:
    f.write(b'MZ' + b'\0' * (0x43000 - 2) + payload)
EOF
fi

# --- Paired runs -------------------------------------------------------------------
timed() {  # label command...: appends "wall KB user sys" to $work/<label>.txt
  local label=$1; shift
  /usr/bin/time -f '%e %M %U %S' -o "$work/time.out" "$@" >/dev/null 2>"$work/$label.err" \
    || { echo "$label failed:" >&2; cat "$work/$label.err" >&2; exit 1; }
  tail -1 "$work/time.out" >>"$work/$label.txt"
}
run_install() {
  rm -rf "$work/out-install" "$work/shell"; sync
  timed install "$mksetup" install "$work/setup.exe" --dir "$work/out-install" \
    --desktop "$work/shell/Desktop" --programs "$work/shell/Programs"
}
run_unzip() {
  rm -rf "$work/out-unzip"; mkdir -p "$work/out-unzip"; sync
  timed unzip sh -c "unzip -q '$work/a.zip' -d '$work/out-unzip' && unzip -q '$work/b.zip' -d '$work/out-unzip'"
}

rm -f "$work/install.txt" "$work/unzip.txt"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
run_install; run_unzip  # warm the page cache; not counted
rm -f "$work/install.txt" "$work/unzip.txt"
for i in $(seq 1 "$reps"); do
  if [ $((i % 2)) -eq 1 ]; then run_install; run_unzip; else run_unzip; run_install; fi
done

# The comparison is fair only if both wrote the same files. unzip takes the
# GBK names for code page 437 and the installer leaves empty folders out, so
# the files are compared by their sizes.
files() { (cd "$1" && find . -type f ! -name 'install*.log' ! -name '卸载.exe' -printf '%s\n' | sort -n); }
cmp -s <(files "$work/out-install") <(files "$work/out-unzip") || echo "warning: the two trees differ" >&2

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
it=$(cut -d' ' -f1 "$work/install.txt" | median)
ut=$(cut -d' ' -f1 "$work/unzip.txt" | median)
im=$(cut -d' ' -f2 "$work/install.txt" | sort -n | tail -1)  # peak: the largest of all runs
um=$(cut -d' ' -f2 "$work/unzip.txt" | sort -n | tail -1)
# CPU time (user + system) varies far less than wall time on a busy machine.
ic=$(awk '{print $3 + $4}' "$work/install.txt" | median)
uc=$(awk '{print $3 + $4}' "$work/unzip.txt" | median)
ratio=$(awk -v a="$it" -v b="$ut" 'BEGIN {printf "%.3f", a / b}')
printf 'repetitions            %d (paired, alternating order); load average %s before, %s after\n' \
  "$reps" "$load_before" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf 'mksetup install        %.2f s wall, %.2f s CPU (medians), peak RSS %d KB\n' "$it" "$ic" "$im"
printf 'unzip -q (2 archives)  %.2f s wall, %.2f s CPU (medians), peak RSS %d KB\n' "$ut" "$uc" "$um"
printf 'wall-time ratio        %s (goal <= 1.15); CPU-time ratio %s\n' "$ratio" \
  "$(awk -v a="$ic" -v b="$uc" 'BEGIN {printf "%.3f", a / b}')"
printf 'all runs (wall s, KB, user s, sys s): install: %s | unzip: %s\n' \
  "$(paste -sd, "$work/install.txt")" "$(paste -sd, "$work/unzip.txt")"
awk -v r="$ratio" -v m="$im" 'BEGIN {
  printf "time goal              %s\n", (r <= 1.15) ? "met" : "NOT met";
  printf "memory goal            %s (%d KB <= 16384 KB)\n", (m <= 16384) ? "met" : "NOT met", m }'
