#!/usr/bin/env bash
# End to end under Wine: the real program, the real virtual scanner DLL, the
# real CUPS PDF printer. Run by ctest from scripts/test, which has started
# the X server, CUPS and the Wine prefix (DISPLAY, WINEPREFIX, ZV_PDF_DIR).
# ARCH (x86_64 unless given) is the build's: an i686 build runs with 32-bit
# Wine, with its own virtual scanner DLL and dialog driver.
#
#   command_line_copy.sh BIN_DIR [ARCH]
set -uo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/env.sh"
zv_set_arch "${2:-x86_64}" || exit 1
source "$here/checks.sh"
echo "architecture: $ZV_ARCH ($ZV_WINE)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# make_run, run_copier, and the window driver for one and three arguments.
source "$here/e2e_lib.sh"

mkdir -p "$ZV_PDF_DIR"

# --- Two arguments: one A4 page with the test chart at the corner, 100 %.
run="$work/copy"; make_run "$run" with-scanner
marker="$work/marker1"; set_marker "$marker"
code=$(run_copier "$run" "" "")
check "two empty arguments: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
pdfs=$(wait_pdfs "$marker" 30)
count=$(printf '%s\n' "$pdfs" | grep -c . || true)
check "exactly one PDF printed (got $count)" $([ "$count" = 1 ]; echo $?)
if [ "$count" = 1 ]; then
  check_chart "chart" "$pdfs" "$work/page.pgm"
  cp "$work/page.pgm" "${ZV_E2E_KEEP:-/dev/null}" 2>/dev/null || true
fi
check "the scanner was driven through the real DLL" $(grep -q 'ENABLEDS' "$run/trace.log" 2>/dev/null; echo $?)

# --- A printer whose printable area starts 10 mm from the left and 15 mm
# from the top of the sheet: the chart still starts at the sheet's physical
# corner, not at the corner of the printable area. The copier is given that
# printer as its stored choice: a PRINTDLGEXW image, no DEVMODEW (the
# driver's defaults) and a DEVNAMES block. Wine's own default printer follows
# CUPS's, which other runs on this machine share, so it is left alone.
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8)))"; }
reg_hex() { od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//; s/,$//'; }
choice_key='HKCU\Software\Zelvantor\Copier\0'
driver=wineps.drv; device=$ZV_OFFSET_PRINTER; port=CUPS:$ZV_OFFSET_PRINTER
at_device=$((4 + ${#driver} + 1)); at_port=$((at_device + ${#device} + 1))
devnames=$({ le16 4; le16 $at_device; le16 $at_port; le16 0
             printf '%s\0%s\0%s\0' "$driver" "$device" "$port" | iconv -f UTF-8 -t UTF-16LE; } | reg_hex)
image=$({ le16 84; le16 0; head -c 80 /dev/zero; } | reg_hex)
printf 'REGEDIT4\n\n[%s]\n"PRINTDLGEXW"=hex:%s\n"DEVMODEW"=hex:\n"DEVNAMES"=hex:%s\n' \
  "HKEY_CURRENT_USER\\Software\\Zelvantor\\Copier\\0" "$image" "$devnames" > "$work/offset.reg"
offset_jobs() { lpstat -W completed -o "$ZV_OFFSET_PRINTER" 2>/dev/null | awk '{print $1}' | sort; }
jobs_before=$(offset_jobs)
"$ZV_WINE" reg delete "$choice_key" /f >/dev/null 2>&1
"$ZV_WINE" regedit /S "$(winepath_w "$work/offset.reg")" >/dev/null 2>&1
marker="$work/marker-offset"; set_marker "$marker"
code=$(run_copier "$run" "" "")
# Later runs take the default printer again.
"$ZV_WINE" reg delete "$choice_key" /f >/dev/null 2>&1
check "offset printer: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
pdfs=$(wait_pdfs "$marker" 30)
job=""
for i in $(seq 1 20); do
  job=$(comm -13 <(printf '%s\n' "$jobs_before") <(offset_jobs) | tail -1)
  [ -n "$job" ] && break
  sleep 0.5
done
check "offset printer: a job was printed on $ZV_OFFSET_PRINTER (got '$job')" $([ -n "$job" ]; echo $?)
# cups-pdf names the file after the job's number; other runs may print too.
pdf=$(printf '%s\n' "$pdfs" | grep -E "job_${job##*-}\.pdf$" | head -1)
check "offset printer: its PDF ('$pdf')" $([ -n "$job" ] && [ -n "$pdf" ]; echo $?)
if [ -n "$job" ] && [ -n "$pdf" ]; then
  pdftoppm -gray -r 100 -singlefile "$pdf" "$work/offset"
  pgm="$work/offset.pgm"
  size=$(identify -format '%wx%h' "$pgm")
  check "offset printer: rendered at A4 size (got $size)" $([[ "$size" =~ ^82[67]x11(69|70)$ ]]; echo $?)
  # Drawn from the printable area's corner instead, everything would sit
  # 10 mm (39 pixels) further right and 15 mm (59 pixels) further down.
  v=$(mean "$pgm" 14x14+2+2);   check "offset printer: filled square at the sheet's top-left corner (mean $v)" $([ "$v" -lt 60 ]; echo $?)
  v=$(mean "$pgm" 600x2+100+196); check "offset printer: the line 50 mm from the top (mean $v)" $([ "$v" -lt 110 ]; echo $?)
  v=$(mean "$pgm" 600x3+100+254); check "offset printer: white 65 mm from the top (mean $v)" $([ "$v" -gt 200 ]; echo $?)
  v=$(mean "$pgm" 30x2+792+1165); check "offset printer: corner mark at the bottom-right of the sheet (mean $v)" $([ "$v" -lt 110 ]; echo $?)
  cp "$pgm" "${ZV_E2E_KEEP_OFFSET:-/dev/null}" 2>/dev/null || true
fi

# --- One or three arguments: no command-line copy; the copier's window
# opens instead, and Quit ends the program.
for args in "one" "one two three"; do
  marker="$work/marker-args"; set_marker "$marker"
  # shellcheck disable=SC2086
  start_copier "$run" $args
  drive "$work/args" dialog 60000 text 101 click 2 gone 20000
  check "arguments '$args': the dialog opened ($(value "$work/args" text101))" \
    $([ "$(value "$work/args" dialog)" = 1 ]; echo $?)
  finish_copier "$run"
  check "arguments '$args': Quit, exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
  sleep 3
  count=$(new_pdfs "$marker" | grep -c . || true)
  check "arguments '$args': nothing printed (got $count)" $([ "$count" = 0 ]; echo $?)
done

# --- Two arguments and no printer at all: a silent end with exit code 0. A
# message box would block the program until the timeout.
noprn="$work/noprinter"; make_run "$noprn" with-scanner
marker="$work/marker-noprinter"; set_marker "$marker"
code=$( cd "$noprn" && WINEDLLOVERRIDES="twain_32=n" ZV_VSCANNER_INI="$(winepath_w "$noprn/vscanner.ini")" \
          timeout 120 bash "$here/../printing/run_without_printer.sh" zvcopier.exe a b >/dev/null 2>&1; echo $? )
check "no printer: exit code 0 without any message (was $code)" $([ "$code" = 0 ]; echo $?)
check "no printer: the scanner was probed" $(grep -q 'GETDEFAULT' "$noprn/trace.log" 2>/dev/null; echo $?)
check "no printer: nothing was scanned" $(! grep -q 'ENABLEDS' "$noprn/trace.log" 2>/dev/null; echo $?)
sleep 2
count=$(new_pdfs "$marker" | grep -c . || true)
check "no printer: nothing printed (got $count)" $([ "$count" = 0 ]; echo $?)

# --- No scanner: the no-scanner message in the user's language, exit 0.
noscan="$work/noscan"; make_run "$noscan"
expect_en=$'No scanner could be found on your system.\nIf you have one, please check if the driver is correctly installed.'
expect_de=$'Auf Ihrem System konnte kein Scanner gefunden werden.\nWenn Sie einen haben, prüfen Sie bitte noch einmal die Treiberinstallation.'
for lang in en_US de_DE; do
  "$ZV_WINE" "$bin/dialog_driver.exe" "Zelvantor Copier" 20000 > "$work/box-$lang.txt" 2>/dev/null &
  driver=$!
  code=$( cd "$noscan" && LANG=$lang.UTF-8 LC_ALL=$lang.UTF-8 timeout 60 "$ZV_WINE" zvcopier.exe a b >/dev/null 2>&1; echo $? )
  wait $driver; found=$?
  # The message box shows line feeds as CR LF.
  text=$(tr -d '\r' < "$work/box-$lang.txt")
  expect=$expect_en; [ $lang = de_DE ] && expect=$expect_de
  check "no scanner ($lang): message box shown" $found
  check "no scanner ($lang): its text ('$text')" $([ "$text" = "$expect" ]; echo $?)
  check "no scanner ($lang): exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
done

# --- A source manager with no scanner source: the same message, even with
# two arguments, and nothing printed.
nosource="$work/nosource"; make_run "$nosource" with-scanner
printf '[Manager]\nSources=none\nTrace=%s\n' "$(winepath_w "$nosource/trace.log")" > "$nosource/vscanner.ini"
marker="$work/marker-nosource"; set_marker "$marker"
"$ZV_WINE" "$bin/dialog_driver.exe" "Zelvantor Copier" 20000 > "$work/box-nosource.txt" 2>/dev/null &
driver=$!
code=$(LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 run_copier "$nosource" a b)
wait $driver; found=$?
text=$(tr -d '\r' < "$work/box-nosource.txt")
check "no scanner source: message box shown" $found
check "no scanner source: its text ('$text')" $([ "$text" = "$expect_en" ]; echo $?)
check "no scanner source: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
check "no scanner source: the manager was asked" $(grep -q 'GETDEFAULT' "$nosource/trace.log" 2>/dev/null; echo $?)
sleep 2
count=$(new_pdfs "$marker" | grep -c . || true)
check "no scanner source: nothing printed (got $count)" $([ "$count" = 0 ]; echo $?)

echo "$passed passed, $failures failed"
[ $failures -eq 0 ]
