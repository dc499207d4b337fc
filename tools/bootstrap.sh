#!/usr/bin/env bash
# Installs every Debian package the project needs and fetches minizip's
# source for the Windows builds. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  zlib1g-dev libminizip-dev libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 libz-mingw-w64-dev
  wine wine64 xvfb xauth xdotool imagemagick fonts-wqy-microhei locales
  liblnk-utils unzip zip p7zip-full dpkg-dev python3 clang-format time
  osslsigncode openssl
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$p")
done

need_src=0
[ -f third_party/minizip/unzip.c ] || need_src=1

if [ ${#missing[@]} -gt 0 ] || [ $need_src -eq 1 ]; then
  # Source entries for the same suites as the binary ones, for minizip.
  if ! grep -rqsE '^Types:.*deb-src' /etc/apt/sources.list.d/ && \
     ! grep -qs '^deb-src' /etc/apt/sources.list; then
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      sed 's/^Types: deb$/Types: deb-src/' "$f" | $SUDO tee "${f%.sources}-src.sources" >/dev/null
    done
    if [ -f /etc/apt/sources.list ]; then
      grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | \
        $SUDO tee /etc/apt/sources.list.d/project-src.list >/dev/null || true
    fi
  fi
  $SUDO apt-get update -q
fi

if [ ${#missing[@]} -gt 0 ]; then
  # Through env: sudo would drop the variable, and debconf would ask questions.
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# zh_CN.UTF-8 gives Wine the ANSI code page 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  $SUDO sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen
fi

# minizip is not packaged for mingw: take the source of the Debian package.
if [ $need_src -eq 1 ]; then
  tmp=$(mktemp -d)
  (cd "$tmp" && apt-get source --download-only minizip >/dev/null)
  mkdir -p third_party/minizip
  tar=$(ls "$tmp"/minizip_*.orig.tar.* | head -1)
  tar -xf "$tar" -C "$tmp"
  src=$(dirname "$(find "$tmp" -name unzip.c | head -1)")
  cp "$src"/unzip.c "$src"/unzip.h "$src"/ioapi.c "$src"/ioapi.h "$src"/crypt.h third_party/minizip/
  rm -rf "$tmp"
fi
echo "bootstrap: done"
