#!/usr/bin/env bash
# The x64 package on 64-bit Windows whose scanner has only a 32-bit driver:
# the installed 64-bit copier reaches no scanner and hands over to the
# 32-bit copier installed beside it (zvcopier32.exe), which copies. Runs in
# a fresh 64-bit prefix with its 32-bit half, as 64-bit Windows is, so it
# needs a machine where 32-bit Wine runs (scripts/i386-run, as the i686
# test run has it). Run by ctest from the i686 build tree, which has
# started the X server and CUPS.
#
#   handover.sh I686_BIN_DIR X86_64_BIN_DIR X64_PACKAGE_DIR VERSION
#
# The 32-bit virtual scanner stands in for a 32-bit driver as Windows has
# it: its TWAIN_32.DLL replaces the one in the Windows folder, where the
# copiers' search looks after their own folder. The 64-bit copier looks
# there too but cannot load a 32-bit DLL, as on Windows; it takes the
# TWAINDSM.dll the package installed, which finds no 64-bit source once
# Wine's own gphoto2.ds is gone.
#
# Each run logs its DLL loads (WINEDEBUG=+loaddll), the 32-bit copier's with
# them (it inherits the setting and the output): that tells which programs
# ran. The virtual scanners' traces, and the page each delivers, tell which
# build drove a scanner.
set -uo pipefail
bin64=$2 pkgdir=$3 version=$4
source "$(dirname "$0")/e2e_lib.sh"
msi="$pkgdir/ZelvantorCopier-$version-x64.msi"
if [ ! -f "$msi" ]; then
  echo "no x64 package at $msi: nothing to hand over from"
  exit 77
fi
if ! zv_i386_runs; then
  echo "FAILED: 32-bit programs do not run here (scripts/i386-run)"
  exit 1
fi
e2e_start "$1"
bin32=$bin
wine64=/usr/lib/wine/wine64
export WINEPREFIX="$work/prefix"
export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
e2e_at_exit 'WINEPREFIX="$WINEPREFIX" /usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true'

# A fresh prefix of the test's own, made as the i686 run makes its own: a
# 64-bit one with the 32-bit half.
zv_set_arch i686
if ! zv_make_prefix "$WINEPREFIX"; then
  echo "FAILED: no prefix with a 32-bit half"
  exit 1
fi
drive_c="$WINEPREFIX/drive_c"

# --- The x64 package, installed silently: both copiers in one folder.
programs="$drive_c/Program Files/Zelvantor Copier"
code=$(timeout 300 "$wine64" msiexec /i "$(winepath_w "$msi")" /qn </dev/null >/dev/null 2>&1; echo $?)
check "install: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
check "install: zvcopier.exe and zvcopier32.exe side by side" \
  $([ -f "$programs/zvcopier.exe" ] && [ -f "$programs/zvcopier32.exe" ]; echo $?)
check "install: zvcopier32.exe is the i686 build's" \
  $(cmp -s "$programs/zvcopier32.exe" "$bin32/zvcopier.exe"; echo $?)

# The scanners deliver a page of this run's own: white, with one of 16
# slots (4 across, 4 down) black. Other runs on this machine print the
# virtual scanner's chart and pages of their own on the same CUPS server
# meanwhile; the slot tells this run's copies apart, and which scanner made
# each. make_page FILE SLOT writes it as a BMP of A4 at 1 pixel a millimetre.
make_page() {
  local x=$(( $2 % 4 * 52 )) y=$(( $2 / 4 * 74 ))
  convert -size 210x297 xc:white -fill black -draw "rectangle $((x + 4)),$((y + 4)) $((x + 48)),$((y + 70))" \
    -type TrueColor "BMP3:$1"
}
# pages_with MARKER SLOT: how many of the new PDFs are one A4 page printed
# from that scan at 100 %: its slot black, every other slot white (at 100
# dpi 3.94 pixels a millimetre; the middle of each slot is measured).
pages_with() {
  local pdf n=0 ours=0 slot v
  while IFS= read -r pdf; do
    [ -n "$pdf" ] || continue
    n=$((n + 1))
    pdfinfo "$pdf" 2>/dev/null | grep -q '^Pages: *1$' || continue
    pdfinfo "$pdf" 2>/dev/null | grep -q '^Page size:.*(A4)' || continue
    local pgm match=1
    pgm=$(render "$pdf" "page$n") || continue
    for slot in $(seq 0 15); do
      v=$(mean "$pgm" "100x180+$(( (slot % 4 * 52 + 13) * 394 / 100 ))+$(( (slot / 4 * 74 + 14) * 394 / 100 ))")
      if [ "$slot" = "$2" ]; then [ "$v" -lt 60 ] || match=0; else [ "$v" -gt 200 ] || match=0; fi
    done
    [ $match = 1 ] && ours=$((ours + 1))
  done < <(wait_pdfs "$1" 90)
  echo "$ours"
}
slot32=$((RANDOM % 16)) slot64=$(( (slot32 + 1 + RANDOM % 15) % 16 ))
make_page "$work/page32.bmp" $slot32
make_page "$work/page64.bmp" $slot64

# --- Only a 32-bit scanner: no 64-bit source, the 32-bit virtual scanner as
# Windows' TWAIN_32.DLL.
find "$drive_c/windows/twain_64" -iname '*.ds' -delete 2>/dev/null
cp "$bin32/vscanner/TWAIN_32.DLL" "$drive_c/windows/twain_32.dll"
trace32="$work/trace32.log" trace64="$work/trace64.log"
ini32="$work/vscanner32.ini"
write_ini "$ini32" "[Manager]" "Trace=$(winepath_w "$trace32")" "[Source]" "Preset=Flatbed" \
  "Image=$(winepath_w "$work/page32.bmp")"

# start_installed NAME ARGS... : the installed zvcopier.exe in the
# background, from its folder as the Start-menu shortcut starts it; its DLL
# loads in $work/NAME.log. finish_installed leaves its exit code in `code`.
start_installed() {
  local name=$1; shift
  rm -f "$work/$name.code"
  ( cd "$programs" && WINEDLLOVERRIDES="twain_32=n;winemenubuilder.exe=d" WINEDEBUG=+loaddll \
      ZV_VSCANNER_INI="$(winepath_w "$ini32")" timeout 300 "$wine64" zvcopier.exe "$@" \
      </dev/null >/dev/null 2>"$work/$name.log"; echo $? > "$work/$name.code" ) &
  copier_job=$!
}
finish_installed() {
  wait "$copier_job" 2>/dev/null
  code=$(cat "$work/$1.code" 2>/dev/null || echo none)
}
# ran_32 NAME: whether the 32-bit copier ran (its program was loaded).
ran_32() { grep -iqF 'zvcopier32.exe" at' "$work/$1.log"; }
lines() { if [ -f "$1" ]; then grep -c '' "$1"; else echo 0; fi; }

# --- The command-line copy: the 32-bit copier scans and prints the page.
marker="$work/marker-copy"; set_marker "$marker"
start_installed copy copy now
finish_installed copy
check "copy: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
check "copy: the 32-bit copier ran" $(ran_32 copy; echo $?)
check "copy: the 64-bit copier looked through the installed TWAINDSM.dll first" \
  $(grep -iF 'Loaded L"C:\\windows\\system32\\TWAINDSM.DLL" at' "$work/copy.log" | grep -q ': native$'; echo $?)
check "copy: the 32-bit virtual scanner was driven" $(grep -q 'ENABLEDS' "$trace32" 2>/dev/null; echo $?)
n=$(pages_with "$marker" $slot32)
check "copy: one A4 page printed with the 32-bit scanner's page ($n)" $([ "$n" = 1 ]; echo $?)

# --- No arguments: the 32-bit copier's window; Quit ends both.
before=$(lines "$trace32")
start_installed dialog
drive_out="$work/dialog.txt"
timeout 170 "$wine64" "$bin64/copier_driver.exe" dialog 90000 text 101 2>/dev/null | tr -d '\r' > "$drive_out"
check "window: the copier's window opened ('$(grep '^text101=' "$drive_out" | cut -d= -f2-)')" \
  $(grep -qx 'dialog=1' "$drive_out"; echo $?)
# While it is open the 64-bit copier waits for it.
check "window: the 64-bit copier still runs while it is open" $(kill -0 "$copier_job" 2>/dev/null; echo $?)
check "window: its scanner is the 32-bit virtual scanner (its session asked it)" \
  $([ "$(lines "$trace32")" -gt "$before" ]; echo $?)
timeout 60 "$wine64" "$bin64/copier_driver.exe" dialog 20000 click 2 gone 30000 2>/dev/null | tr -d '\r' > "$drive_out"
check "window: Quit closed it" $(grep -qx 'gone=1' "$drive_out"; echo $?)
finish_installed dialog
check "window: Quit ended both, exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
check "window: it was the 32-bit copier's" $(ran_32 dialog; echo $?)

# no_scanner_box NAME ARGS... : runs the copier, answers the message box it
# shows, then looks for a second one; leaves the first box's text in `box`,
# whether a second came in `again`, the exit code in `code`.
expect=$'No scanner could be found on your system.\nIf you have one, please check if the driver is correctly installed.'
no_scanner_box() {
  local name=$1; shift
  start_installed "$name" "$@"
  box=$(timeout 120 "$wine64" "$bin64/dialog_driver.exe" "Zelvantor Copier" 90000 2>/dev/null | tr -d '\r')
  timeout 60 "$wine64" "$bin64/dialog_driver.exe" "Zelvantor Copier" 10000 >/dev/null 2>&1
  again=$?
  finish_installed "$name"
}

# --- A 64-bit source as well: the 64-bit copier copies itself.
write_ini "$work/vscanner64.ini" "[Manager]" "Trace=$(winepath_w "$trace64")" "[Source]" \
  "Preset=Flatbed" "Image=$(winepath_w "$work/page64.bmp")"
ZV_WINE=$wine64 bash "$root/tools/vscanner/install_ds.sh" --prefix "$WINEPREFIX" --arch x86_64 \
  --ini "$work/vscanner64.ini" --default "$bin64/vscanner/zvscanner.ds" zvscanner >/dev/null
before=$(lines "$trace32")
marker="$work/marker-64"; set_marker "$marker"
start_installed own64 a b
finish_installed own64
check "64-bit source: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
check "64-bit source: the 64-bit virtual scanner was driven" $(grep -q 'ENABLEDS' "$trace64" 2>/dev/null; echo $?)
check "64-bit source: no second process" $(! ran_32 own64 && [ "$(lines "$trace32")" = "$before" ]; echo $?)
n=$(pages_with "$marker" $slot64)
check "64-bit source: one A4 page printed with the 64-bit scanner's page ($n)" $([ "$n" = 1 ]; echo $?)

# --- No scanner for either build: the 32-bit copier says so, once.
rm -rf "$drive_c/windows/twain_64/zvscanner"
write_ini "$ini32" "[Manager]" "Sources=none" "Trace=$(winepath_w "$trace32")"
before=$(lines "$trace32")
no_scanner_box none a b
check "no scanner: the message ('$box')" $([ "$box" = "$expect" ]; echo $?)
check "no scanner: shown once" $([ "$again" != 0 ]; echo $?)
check "no scanner: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
check "no scanner: the 32-bit copier looked, and told" \
  $(ran_32 none && [ "$(lines "$trace32")" -gt "$before" ]; echo $?)

# --- Without the 32-bit copier the 64-bit one says it itself.
rm -f "$programs/zvcopier32.exe"
no_scanner_box alone a b
check "no 32-bit copier: the message ('$box')" $([ "$box" = "$expect" ]; echo $?)
check "no 32-bit copier: shown once" $([ "$again" != 0 ]; echo $?)
check "no 32-bit copier: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
check "no 32-bit copier: nothing else ran" $(! ran_32 alone; echo $?)

e2e_finish
