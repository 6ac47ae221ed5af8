#!/usr/bin/env bash
# End to end under Wine through the real TWAIN source manager: the program
# beside the TWAIN Working Group's TWAINDSM.DLL 2.4.3 (no TWAIN_32.DLL), the
# virtual scanner installed as a data source under the prefix's
# windows/twain_64, Wine's own gphoto2.ds beside it, the CUPS PDF printer.
# Run by ctest from scripts/test (DISPLAY, WINEPREFIX, ZV_PDF_DIR set).
#
#   twaindsm_copy.sh BIN_DIR
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
e2e_start "$1" x86_64
ds_folder="zv-e2e-$$"
ds_dir="$WINEPREFIX/drive_c/windows/twain_64/$ds_folder"
reg_key='HKCU\Software\Microsoft\Windows NT\CurrentVersion\TWAIN64'
e2e_at_exit '"$ZV_WINE" reg delete "$reg_key" /v "Default Source" /f >/dev/null 2>&1; rm -rf "$ds_dir"'

# install [SOURCE-LINE...] : the data source with its own INI (the flatbed
# preset plus these lines), made the manager's default source.
install() {
  scanner_ini "$work/source.ini" "$work/trace.log" "$@"
  rm -f "$work/trace.log"
  "$root/tools/vscanner/install_ds.sh" --prefix "$WINEPREFIX" --default --ini "$work/source.ini" \
    --program "$run" "$bin/zvcopier.exe" "$bin/vscanner/zvscanner.ds" "$ds_folder" >/dev/null
}

# copy_with_box NAME : runs the command-line copy with the dialog driver
# watching for the program's message box; sets code, found (0 when a box
# was shown) and text. A box holds the program until the driver answers it,
# so once the program has ended no box can come any more.
copy_with_box() {
  "$ZV_WINE" "$bin/dialog_driver.exe" "Zelvantor Copier" 120000 > "$work/box-$1.txt" 2>/dev/null &
  local driver=$!
  code=$( cd "$run" && LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 timeout 120 "$ZV_WINE" zvcopier.exe a b \
            >/dev/null 2>&1; echo $? )
  kill $driver 2>/dev/null
  wait $driver 2>/dev/null
  text=$(tr -d '\r' < "$work/box-$1.txt")
  found=1
  [ -n "$text" ] && found=0
}

run="$work/run"

# --- The chart at 100 %, as on the TWAIN_32.DLL road; then from a source
# that hands its page over as the HBITMAP of a DIB section with -1 dpi, as
# Wine's gphoto2.ds does: the copier makes a packed DIB of it and prints the
# same page.
for case in chart bitmap; do
  if [ $case = chart ]; then install; else install "NativeImage=Bitmap"; fi
  check "$case: no TWAIN_32.DLL beside the program" equal "$(ls "$run" | grep -ci '^twain_32.dll$')" 0
  marker="$work/marker-$case"; set_marker "$marker"
  code=$( cd "$run" && timeout 120 "$ZV_WINE" zvcopier.exe "" "" >/dev/null 2>&1; echo $? )
  check "$case: exit code 0" equal "$code" 0
  pdfs=$(wait_pdfs "$marker" 30)
  check "$case: exactly one PDF printed" equal "$(count_lines "$pdfs")" 1
  [ "$(count_lines "$pdfs")" = 1 ] && check_chart_page "$case" "$pdfs"
  check "$case: scanned through the data source" has_line "$work/trace.log" 'DAT_NULL MSG_XFERREADY = TWRC_SUCCESS'
  check "$case: the page left the source by native transfer" \
    has_line "$work/trace.log" 'DAT_IMAGENATIVEXFER MSG_GET = TWRC_XFERDONE'
done

# --- Failures: the new message, nothing printed, exit code 0. Wine's
# gphoto2.ds (no camera) and a source that fails its transfer.
expect_failed="The scanner delivered no page."
for case in camera failing; do
  if [ $case = camera ]; then
    install
    "$ZV_WINE" reg add "$reg_key" /v "Default Source" /t REG_SZ \
      /d 'C:\windows\twain_64\gphoto2.ds' /f >/dev/null 2>&1
  else
    install "Behaviour=FailTransfer"
  fi
  marker="$work/marker-$case"; set_marker "$marker"
  copy_with_box $case
  check "$case: message box shown" equal "$found" 0
  check "$case: its text" equal "$text" "$expect_failed"
  check "$case: exit code 0" equal "$code" 0
  cups_idle 30
  check "$case: nothing printed" equal "$(new_pdfs "$marker" | xargs -r -n1 basename)" ""
done
check "failing: the transfer failed in the source" \
  has_line "$work/trace.log" 'DAT_IMAGENATIVEXFER MSG_GET = TWRC_FAILURE'

# --- Cancels: the source asks to be closed, or cancels its transfer. No
# message, nothing printed, nothing left unfreed in the source.
for behaviour in CloseRequest CancelTransfer; do
  install "Behaviour=$behaviour"
  marker="$work/marker-cancel"; set_marker "$marker"
  copy_with_box cancel
  check "$behaviour: no message box" differ "$found" 0
  check "$behaviour: exit code 0" equal "$code" 0
  cups_idle 30
  check "$behaviour: nothing printed" equal "$(new_pdfs "$marker" | xargs -r -n1 basename)" ""
  check "$behaviour: the source was enabled" has_line "$work/trace.log" 'MSG_ENABLEDS showUI=0 = TWRC_SUCCESS'
  closes=$(grep '# not freed at MSG_CLOSEDS:' "$work/trace.log" 2>/dev/null | tr -d '\r')
  check "$behaviour: closed" differ "$closes" ""
  check "$behaviour: nothing left unfreed at the close" equal "$(grep -v 'containers=0 images=0$' <<< "$closes")" ""
done

e2e_finish
