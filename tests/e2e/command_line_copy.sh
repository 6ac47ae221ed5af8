#!/usr/bin/env bash
# End to end under Wine: the real program, the real virtual scanner DLL, the
# real CUPS PDF printer. Run by ctest from scripts/test, which has started
# the X server, CUPS and the Wine prefix (DISPLAY, WINEPREFIX, ZV_PDF_DIR).
# ARCH (x86_64 unless given) is the build's: an i686 build runs with 32-bit
# Wine, with its own virtual scanner DLL and dialog driver.
#
#   command_line_copy.sh BIN_DIR [ARCH]
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
e2e_start "$1" "${2:-x86_64}"

# --- Two arguments: one A4 page with the test chart at the corner, 100 %.
run="$work/copy"; make_run "$run" with-scanner
marker="$work/marker1"; set_marker "$marker"
code=$(run_copier "$run" "" "")
check "two empty arguments: exit code 0" equal "$code" 0
pdfs=$(wait_pdfs "$marker" 30)
check "exactly one PDF printed" equal "$(count_lines "$pdfs")" 1
if [ "$(count_lines "$pdfs")" = 1 ]; then
  check_chart_page "chart" "$pdfs"
  cp "$chart_pgm" "${ZV_E2E_KEEP:-/dev/null}" 2>/dev/null || true
fi
check "the scanner was driven through the real DLL" has_line "$run/trace.log" 'MSG_ENABLEDS'

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
write_ini "$work/offset.reg" "REGEDIT4" "" "[HKEY_CURRENT_USER\\Software\\Zelvantor\\Copier\\0]" \
  "\"PRINTDLGEXW\"=hex:$image" "\"DEVMODEW\"=hex:" "\"DEVNAMES\"=hex:$devnames"
offset_jobs() { lpstat -W completed -o "$ZV_OFFSET_PRINTER" 2>/dev/null | awk '{print $1}' | sort; }
jobs_before=$(offset_jobs)
"$ZV_WINE" reg delete "$choice_key" /f >/dev/null 2>&1
"$ZV_WINE" regedit /S "$(winepath_w "$work/offset.reg")" >/dev/null 2>&1
marker="$work/marker-offset"; set_marker "$marker"
code=$(run_copier "$run" "" "")
# Later runs take the default printer again.
"$ZV_WINE" reg delete "$choice_key" /f >/dev/null 2>&1
check "offset printer: exit code 0" equal "$code" 0
pdfs=$(wait_pdfs "$marker" 30)
job=""
for i in $(seq 1 20); do
  job=$(comm -13 <(printf '%s\n' "$jobs_before") <(offset_jobs) | tail -1)
  [ -n "$job" ] && break
  sleep 0.5
done
check "offset printer: a job was printed on $ZV_OFFSET_PRINTER" differ "$job" ""
# cups-pdf names the file after the job's number; other runs may print too.
pdf=$(printf '%s\n' "$pdfs" | grep -E "job_${job##*-}\.pdf$" | head -1)
check "offset printer: its PDF among the new ones" differ "${job:+$pdf}" ""
if [ -n "$job" ] && [ -n "$pdf" ]; then
  check_chart_page "offset printer" "$pdf"
  # Drawn from the printable area's corner instead, everything would sit
  # 10 mm (39 pixels) further right and 15 mm (59 pixels) further down.
  check "offset printer: white 65 mm from the top" above "$(mean "$chart_pgm" 600x3+100+254)" 200
  cp "$chart_pgm" "${ZV_E2E_KEEP_OFFSET:-/dev/null}" 2>/dev/null || true
fi

# --- One or three arguments: no command-line copy; the copier's window
# opens instead, and Quit ends the program.
for args in "one" "one two three"; do
  marker="$work/marker-args"; set_marker "$marker"
  # shellcheck disable=SC2086
  start_copier "$run" $args
  drive "$work/args" dialog 60000 text 101 click 2 gone 20000
  check "arguments '$args': the dialog opened" equal "$(value "$work/args" dialog)" 1
  finish_copier "$run"
  check "arguments '$args': Quit, exit code 0" equal "$code" 0
  cups_idle 30
  check "arguments '$args': nothing printed" equal "$(count_lines "$(new_pdfs "$marker")")" 0
done

# --- Two arguments and no printer at all: a silent end with exit code 0. A
# message box would block the program until the timeout.
noprn="$work/noprinter"; make_run "$noprn" with-scanner
marker="$work/marker-noprinter"; set_marker "$marker"
code=$( cd "$noprn" && WINEDLLOVERRIDES="twain_32=n" ZV_VSCANNER_INI="$(winepath_w "$noprn/vscanner.ini")" \
          timeout 120 bash "$here/../printing/run_without_printer.sh" zvcopier.exe a b >/dev/null 2>&1; echo $? )
check "no printer: exit code 0 without any message" equal "$code" 0
check "no printer: the scanner was probed" has_line "$noprn/trace.log" 'GETDEFAULT'
check "no printer: nothing was scanned" lacks_line "$noprn/trace.log" 'ENABLEDS'
cups_idle 30
check "no printer: nothing printed" equal "$(count_lines "$(new_pdfs "$marker")")" 0

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
  check "no scanner ($lang): message box shown" equal "$found" 0
  check "no scanner ($lang): its text" equal "$text" "$expect"
  check "no scanner ($lang): exit code 0" equal "$code" 0
done

# --- A source manager with no scanner source: the same message, even with
# two arguments, and nothing printed.
nosource="$work/nosource"; make_run "$nosource" with-scanner
write_ini "$nosource/vscanner.ini" "[Manager]" "Sources=none" "Trace=$(winepath_w "$nosource/trace.log")"
marker="$work/marker-nosource"; set_marker "$marker"
"$ZV_WINE" "$bin/dialog_driver.exe" "Zelvantor Copier" 20000 > "$work/box-nosource.txt" 2>/dev/null &
driver=$!
code=$(LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 run_copier "$nosource" a b)
wait $driver; found=$?
text=$(tr -d '\r' < "$work/box-nosource.txt")
check "no scanner source: message box shown" equal "$found" 0
check "no scanner source: its text" equal "$text" "$expect_en"
check "no scanner source: exit code 0" equal "$code" 0
check "no scanner source: the manager was asked" has_line "$nosource/trace.log" 'GETDEFAULT'
cups_idle 30
check "no scanner source: nothing printed" equal "$(count_lines "$(new_pdfs "$marker")")" 0

e2e_finish
