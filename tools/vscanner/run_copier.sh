#!/usr/bin/env bash
# Runs the copier under Wine with the virtual scanner as its TWAIN manager:
#   tools/vscanner/run_copier.sh [ini-file] [copier arguments...]
# Needs a display and a Wine prefix (scripts/env.sh prepares both). The
# program and the DLL are copied into build/<arch>/run-vscanner, so that the
# DLL sits beside the copier only. ZV_ARCH=i686 runs the 32-bit copier with
# the 32-bit DLL, under 32-bit Wine (scripts/wine32); its prefix must have
# the 32-bit half (made under scripts/i386-run by scripts/env.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/env.sh"
arch=${ZV_ARCH:-x86_64}
zv_set_arch "$arch"
build=${ZV_BUILD_ROOT:-$root/build}/$arch
run=$build/run-vscanner
mkdir -p "$run"
cp "$build/bin/zvcopier.exe" "$build/bin/vscanner/TWAIN_32.DLL" "$run/"
if [ $# -gt 0 ]; then
  ini=$(readlink -f "$1")
  shift
  export ZV_VSCANNER_INI="Z:${ini//\//\\}"
fi
export WINEDLLOVERRIDES="twain_32=n"
exec "$ZV_WINE" "$run/zvcopier.exe" "$@"
