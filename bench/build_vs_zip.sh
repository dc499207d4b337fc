#!/usr/bin/env bash
# mksetup build beside zip -r -9 on the same product: packing time and size.
#
# The product is generated, always the same bytes: about 100 MB in more than
# 3,000 files in two folders (the two archives), a mix of text, program-like
# binaries and already-compressed data, nested folders, Chinese names. Each
# repetition times, back to back, mksetup build with one deflate thread,
# mksetup build with one thread per core, and zip -r -9 of the two folders;
# the medians are reported with the sizes.
#
#   bench/build_vs_zip.sh [REPETITIONS]      (default 5)
#   BUILD_DIR=build/release  where the release preset is built (default)
#   WORK_DIR=DIR             keep the product there (default: a temporary folder)
set -euo pipefail
cd "$(dirname "$0")/.."
reps=${1:-5}
build_dir=${BUILD_DIR:-build/release}

cmake --preset release -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j 2 --target mksetup >/dev/null
mksetup=$(pwd)/$build_dir/tools/mksetup/mksetup

work=${WORK_DIR:-$(mktemp -d)}
[ -n "${WORK_DIR:-}" ] || trap 'rm -rf "$work"' EXIT
mkdir -p "$work"
cd "$work"

if [ ! -f product/.complete ]; then
  rm -rf product
  python3 - <<'EOF'
import gzip, os, random, struct

rng = random.Random(20240601)
root = "product"
words = ("安装 程序 文件 目录 数据 配置 用户 系统 窗口 设置 the of and install file "
         "data setup window user system config value error return buffer").split()

def text(size):
    out, n = [], 0
    while n < size:
        line = " ".join(rng.choices(words, k=rng.randint(4, 16))) + "\r\n"
        out.append(line)
        n += len(line.encode())
    return "".join(out).encode()[:size]

def binary(size):
    # Code-like: short repeated opcode patterns, tables, zero runs, noise.
    out = bytearray()
    while len(out) < size:
        kind = rng.random()
        if kind < 0.4:
            pattern = rng.randbytes(rng.randint(2, 12))
            out += pattern * rng.randint(2, 40)
        elif kind < 0.6:
            out += bytes(rng.randint(16, 512))
        elif kind < 0.8:
            base = rng.randint(0, 1 << 30)
            out += b"".join(struct.pack("<I", base + 4 * i) for i in range(rng.randint(4, 64)))
        else:
            out += rng.randbytes(rng.randint(16, 256))
    return bytes(out[:size])

def compressed(size):
    # Already packed: gzip of text, or plain noise (images, media).
    if rng.random() < 0.5:
        data = gzip.compress(text(size * 3), mtime=0)
        return (data * (size // len(data) + 1))[:size]
    return rng.randbytes(size)

makers = {"txt": text, "dll": binary, "dat": compressed}
kinds, weights = ["txt", "dll", "dat"], [0.45, 0.35, 0.20]

# The plan first, its sizes scaled to 100 MB in all: a few large files, many
# small ones, some empty.
plan = []
for top, files in {"main": 2400, "extra": 800}.items():
    subdirs = [""] + ["模块%02d/" % i for i in range(12)] + \
              ["模块%02d/子目录%d/" % (i, j) for i in range(12) for j in range(3)]
    for n in range(files):
        ext = rng.choices(kinds, weights)[0]
        size = rng.randint(1 << 20, 4 << 20) if n % 250 == 7 else int(rng.lognormvariate(9.3, 1.0))
        if n % 97 == 0:
            size = 0
        name = ("文件%04d" % n if n % 3 == 0 else "file%04d" % n) + "." + ext
        plan.append((os.path.join(root, top, rng.choice(subdirs), name), ext, size))
scale = 100e6 / sum(size for _, _, size in plan)
total = 0
for path, ext, size in plan:
    data = makers[ext](int(size * scale)) if size else b""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    total += len(data)
count = len(plan)
os.makedirs(os.path.join(root, "main", "空目录"), exist_ok=True)

def bmp(path, w, h):
    row = (w * 3 + 3) & ~3
    pixels = b"".join(bytes((x * 3 + y) & 255 for x in range(w * 3)) + bytes(row - w * 3)
                      for y in range(h))
    head = b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
    head += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(head + pixels)

os.makedirs(os.path.join(root, "pics"), exist_ok=True)
for name in ("confirm", "directory", "low", "high"):
    bmp(os.path.join(root, "pics", name + ".bmp"), 438, 155)
bmp(os.path.join(root, "pics", "header.bmp"), 495, 60)
with open(os.path.join(root, "stub.exe"), "wb") as f:
    f.write(b"MZ" + bytes(200000))
with open(os.path.join(root, "uninst.exe"), "wb") as f:
    f.write(b"MZ" + binary(60000))
with open(os.path.join(root, "product.ini"), "w", encoding="utf-8") as f:
    f.write("""[Product]
Name = 基准产品
Version = 1.0
InstallDir = C:\\Program Files\\基准产品
MenuFolder = 基准产品
[Pictures]
Confirm = pics/confirm.bmp
DirectoryBanner = pics/directory.bmp
ProgressLow = pics/low.bmp
ProgressHigh = pics/high.bmp
Header = pics/header.bmp
Spare = pics/header.bmp
[Archives]
Archive1 = main
Archive2 = extra
[Uninstaller]
Program = uninst.exe
""")
# Fixed times, so that every run packs the same bytes.
for dirpath, dirnames, filenames in os.walk(root):
    for name in filenames + dirnames:
        os.utime(os.path.join(dirpath, name), (1700000000, 1700000000))
print("product: %d files, %.1f MB" % (count, total / 1e6))
EOF
  touch product/.complete
fi

# One line per run: wall-clock seconds, then CPU seconds (user + system).
TIMEFORMAT='%R %U %S'
measure() {
  local into=$1
  shift
  { time "$@" >/dev/null; } 2>>"$into.raw"
  tail -1 "$into.raw" | awk '{print $1, $2 + $3}' >>"$into"
}
median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
zip_product() { rm -f product.zip && (cd product && zip -r -9 -q ../product.zip main extra); }

rm -f times_*
for ((i = 1; i <= reps; i++)); do
  measure times_j1 "$mksetup" build product/product.ini --stub product/stub.exe -o setup_j1.exe --quiet -j 1
  measure times_jn "$mksetup" build product/product.ini --stub product/stub.exe -o setup.exe --quiet
  measure times_zip zip_product
  printf 'repetition %d: mksetup -j1 %ss, mksetup %ss, zip -9 %ss (wall)\n' "$i" \
    "$(tail -1 times_j1 | cut -d' ' -f1)" "$(tail -1 times_jn | cut -d' ' -f1)" \
    "$(tail -1 times_zip | cut -d' ' -f1)" >&2
done
cmp -s setup.exe setup_j1.exe || { echo "thread count changed the output" >&2; exit 1; }
"$mksetup" verify setup.exe --quiet

files=$(find product/main product/extra -type f | wc -l)
bytes=$(find product/main product/extra -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
setup=$(stat -c %s setup.exe)
zipsize=$(stat -c %s product.zip)
payload=$((setup - 274432))
echo
echo "product: $files files, $bytes bytes; $(nproc) cores; $reps repetitions (medians)"
row() {
  printf '%-28s %9.2f %9.2f %14d\n' "$1" "$(cut -d' ' -f1 <"$2" | median)" \
    "$(cut -d' ' -f2 <"$2" | median)" "$3"
}
printf '%-28s %9s %9s %14s\n' "" "wall (s)" "CPU (s)" "size (bytes)"
row "mksetup build -j 1" times_j1 "$setup"
row "mksetup build (all cores)" times_jn "$setup"
row "zip -r -9" times_zip "$zipsize"
printf 'setup.exe = program %d + payload %d (pictures, uninstaller, two archives, record)\n' \
  274432 "$payload"
