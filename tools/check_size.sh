#!/usr/bin/env bash
# Prints the size of both Windows stubs and fails when one does not fit below
# the payload offset (274,432 bytes) or is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
limit=274432
status=0
for arch in x64 x86; do
  for exe in setup uninst; do
    f=build/windows-$arch/$([ $exe = setup ] && echo app || echo uninstaller)/$exe.exe
    if [ ! -f "$f" ]; then
      # A missing installer program must not pass as one that fits.
      [ "$exe" = setup ] && { printf '%-8s %-7s missing (%s)\n' "$arch" "$exe.exe" "$f"; status=1; }
      continue
    fi
    size=$(stat -c %s "$f")
    printf '%-8s %-7s %8d bytes' "$arch" "$exe.exe" "$size"
    if [ "$exe" = setup ] && [ "$size" -gt "$limit" ]; then
      printf '  TOO LARGE (limit %d)\n' "$limit"; status=1
    else
      printf '\n'
    fi
  done
done
exit $status
