#!/usr/bin/env bash
# Installs the virtual scanner's data source (zvscanner.ds) into a Wine
# prefix, where a real TWAIN source manager (TWAINDSM.DLL) finds it, and
# optionally puts the program beside that manager.
#
#   install_ds.sh [options] DS_FILE FOLDER
#     DS_FILE         the built data source (build/<arch>/bin/vscanner/zvscanner.ds)
#     FOLDER          its folder of its own under the prefix's
#                     windows/twain_64 (x86_64) or windows/twain_32 (i686)
#   --prefix DIR      the Wine prefix (default: $WINEPREFIX)
#   --arch ARCH       x86_64 (default) or i686: which twain_NN folder
#   --ini FILE        copied beside the data source as vscanner.ini: that
#                     source then plays this file's default source instead
#                     of the one ZV_VSCANNER_INI names
#   --default         makes it the manager's default source (the registry
#                     value TWAINDSM.DLL reads); otherwise the manager takes
#                     the first source it lists
#   --program DIR EXE copies EXE into DIR together with the official
#                     TWAINDSM.DLL of that architecture, and no TWAIN_32.DLL,
#                     so that the program takes the TWAINDSM.DLL road
#
# Prints the Windows path of the installed data source. The registry is set
# through $ZV_WINE (default /usr/lib/wine/wine64), for i686 through
# $ZV_WINE32 (default /usr/lib/wine/wine); the caller provides the display
# and wineserver (scripts/env.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
prefix=${WINEPREFIX:-}
arch=x86_64
ini=""
make_default=0
program_dir=""
program_exe=""
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix=$2; shift 2 ;;
    --arch) arch=$2; shift 2 ;;
    --ini) ini=$2; shift 2 ;;
    --default) make_default=1; shift ;;
    --program) program_dir=$2; program_exe=$3; shift 3 ;;
    -h|--help) sed -n '2,27p' "$0"; exit 0 ;;
    -*) echo "install_ds: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -eq 2 ] || { echo "usage: install_ds.sh [options] DS_FILE FOLDER" >&2; exit 2; }
ds=$1
folder=$2
[ -n "$prefix" ] || { echo "install_ds: no prefix (--prefix or WINEPREFIX)" >&2; exit 2; }
case "$arch" in
  x86_64) twain_dir=twain_64; dsm_dir=win64; reg_key='HKCU\Software\Microsoft\Windows NT\CurrentVersion\TWAIN64' ;;
  i686) twain_dir=twain_32; dsm_dir=win32; reg_key='HKCU\Software\Microsoft\Windows NT\CurrentVersion\TWAIN' ;;
  *) echo "install_ds: unknown architecture $arch" >&2; exit 2 ;;
esac

target="$prefix/drive_c/windows/$twain_dir/$folder"
mkdir -p "$target"
cp "$ds" "$target/"
name=$(basename "$ds")
if [ -n "$ini" ]; then
  cp "$ini" "$target/vscanner.ini"
else
  rm -f "$target/vscanner.ini"
fi
windows_path="C:\\windows\\$twain_dir\\$folder\\$name"

if [ "$make_default" = 1 ]; then
  wine=${ZV_WINE:-/usr/lib/wine/wine64}
  # A 32-bit prefix needs the 32-bit loader.
  [ "$arch" = i686 ] && wine=${ZV_WINE32:-/usr/lib/wine/wine}
  WINEPREFIX="$prefix" WINEDEBUG=-all "$wine" reg add "$reg_key" /v "Default Source" \
    /t REG_SZ /d "$windows_path" /f >/dev/null 2>&1
fi

if [ -n "$program_dir" ]; then
  mkdir -p "$program_dir"
  cp "$program_exe" "$program_dir/"
  cp "$root/third_party/twaindsm-2.4.3/$dsm_dir/TWAINDSM.dll" "$program_dir/TWAINDSM.DLL"
  rm -f "$program_dir/TWAIN_32.DLL" "$program_dir/twain_32.dll"
fi
echo "$windows_path"
