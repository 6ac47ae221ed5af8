#!/usr/bin/env bash
# End to end under Wine through the real TWAIN source manager: the program
# beside the TWAIN Working Group's TWAINDSM.DLL 2.4.3 (no TWAIN_32.DLL), the
# virtual scanner installed as a data source under the prefix's
# windows/twain_64, Wine's own gphoto2.ds beside it, the CUPS PDF printer.
# Run by ctest from scripts/test (DISPLAY, WINEPREFIX, ZV_PDF_DIR set).
#
#   twaindsm_copy.sh BIN_DIR
set -uo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/scripts/env.sh"
work=$(mktemp -d)
ds_folder="zv-e2e-$$"
ds_dir="$WINEPREFIX/drive_c/windows/twain_64/$ds_folder"
reg_key='HKCU\Software\Microsoft\Windows NT\CurrentVersion\TWAIN64'
cleanup() {
  "$ZV_WINE" reg delete "$reg_key" /v "Default Source" /f >/dev/null 2>&1
  rm -rf "$work" "$ds_dir"
}
trap cleanup EXIT
source "$here/checks.sh"

# install SOURCE_INI_KEYS : the data source with its own INI (the flatbed
# preset plus these keys), made the manager's default source.
install() {
  printf '[Manager]\nTrace=%s\n[Source]\nPreset=Flatbed\nImage=Chart\n%s' \
    "$(winepath_w "$work/trace.log")" "$1" > "$work/source.ini"
  rm -f "$work/trace.log"
  "$root/tools/vscanner/install_ds.sh" --prefix "$WINEPREFIX" --default --ini "$work/source.ini" \
    --program "$run" "$bin/zvcopier.exe" "$bin/vscanner/zvscanner.ds" "$ds_folder" >/dev/null
}

# copy_with_box NAME : runs the command-line copy with the dialog driver
# watching for the program's message box; sets code, found and text.
copy_with_box() {
  "$ZV_WINE" "$bin/dialog_driver.exe" "Zelvantor Copier" "$2" > "$work/box-$1.txt" 2>/dev/null &
  local driver=$!
  code=$( cd "$run" && LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 timeout 120 "$ZV_WINE" zvcopier.exe a b \
            >/dev/null 2>&1; echo $? )
  wait $driver; found=$?
  text=$(tr -d '\r' < "$work/box-$1.txt")
}

mkdir -p "$ZV_PDF_DIR"
run="$work/run"

# --- The chart at 100 %, as on the TWAIN_32.DLL road; then from a source
# that hands its page over as the HBITMAP of a DIB section with -1 dpi, as
# Wine's gphoto2.ds does: the copier makes a packed DIB of it and prints the
# same page.
for case in chart bitmap; do
  if [ $case = chart ]; then install ""; else install "NativeImage=Bitmap"$'\n'; fi
  check "$case: no TWAIN_32.DLL beside the program" $([ ! -e "$run/TWAIN_32.DLL" ]; echo $?)
  marker="$work/marker-$case"; set_marker "$marker"
  code=$( cd "$run" && timeout 120 "$ZV_WINE" zvcopier.exe "" "" >/dev/null 2>&1; echo $? )
  check "$case: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
  pdfs=$(wait_pdfs "$marker" 30)
  count=$(printf '%s\n' "$pdfs" | grep -c . || true)
  check "$case: exactly one PDF printed (got $count)" $([ "$count" = 1 ]; echo $?)
  [ "$count" = 1 ] && check_chart "$case" "$pdfs" "$work/page-$case.pgm"
  check "$case: scanned through the data source" \
    $(grep -q 'DAT_NULL MSG_XFERREADY = TWRC_SUCCESS' "$work/trace.log" 2>/dev/null; echo $?)
  check "$case: the page left the source by native transfer" \
    $(grep -q 'DAT_IMAGENATIVEXFER MSG_GET = TWRC_XFERDONE' "$work/trace.log" 2>/dev/null; echo $?)
done

# --- Failures: the new message, nothing printed, exit code 0. Wine's
# gphoto2.ds (no camera) and a source that fails its transfer.
expect_failed="The scanner delivered no page."
for case in camera failing; do
  if [ $case = camera ]; then
    install ""
    "$ZV_WINE" reg add "$reg_key" /v "Default Source" /t REG_SZ \
      /d 'C:\windows\twain_64\gphoto2.ds' /f >/dev/null 2>&1
  else
    install "Behaviour=FailTransfer"$'\n'
  fi
  marker="$work/marker-$case"; set_marker "$marker"
  copy_with_box $case 60000
  check "$case: message box shown" $found
  check "$case: its text ('$text')" $([ "$text" = "$expect_failed" ]; echo $?)
  check "$case: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
  sleep 2
  count=$(new_pdfs "$marker" | grep -c . || true)
  check "$case: nothing printed (got $count: $(new_pdfs "$marker" | xargs -r -n1 basename))" $([ "$count" = 0 ]; echo $?)
done
check "failing: the transfer failed in the source" \
  $(grep -q 'DAT_IMAGENATIVEXFER MSG_GET = TWRC_FAILURE' "$work/trace.log" 2>/dev/null; echo $?)

# --- Cancels: the source asks to be closed, or cancels its transfer. No
# message, nothing printed, nothing left unfreed in the source.
for keys in "Behaviour=CloseRequest" "Behaviour=CancelTransfer"; do
  install "$keys"$'\n'
  marker="$work/marker-cancel"; set_marker "$marker"
  copy_with_box cancel 8000
  check "$keys: no message box" $([ "$found" != 0 ]; echo $?)
  check "$keys: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
  sleep 2
  count=$(new_pdfs "$marker" | grep -c . || true)
  check "$keys: nothing printed (got $count)" $([ "$count" = 0 ]; echo $?)
  check "$keys: the source was enabled" $(grep -q 'MSG_ENABLEDS showUI=0 = TWRC_SUCCESS' "$work/trace.log" 2>/dev/null; echo $?)
  closes=$(grep '# not freed at MSG_CLOSEDS:' "$work/trace.log" 2>/dev/null | tr -d '\r')
  check "$keys: closed with nothing unfreed ($(tr '\n' ';' <<< "$closes"))" \
    $([ -n "$closes" ] && ! grep -qv 'containers=0 images=0$' <<< "$closes"; echo $?)
done

echo "$passed passed, $failures failed"
[ $failures -eq 0 ]
