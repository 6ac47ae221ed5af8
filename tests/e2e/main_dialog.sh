#!/usr/bin/env bash
# The copier's window end to end under Wine: the real program started with no
# arguments, the real virtual scanner DLL, the CUPS PDF printers (copy printer
# $ZV_PRINTER, fax printer $ZV_FAX_PRINTER), driven like a person by
# tools/copier_driver (controls by id, clicks, real keys and mouse). Run by
# ctest from scripts/test, which has started the X server, CUPS and the Wine
# prefix.
#
# What the dialog does with its controls is tested in its own process
# (tests/app/main_dialog_test.cpp); this script keeps what needs the real
# road: the keyboard and the mouse, the print dialog and what the registry
# keeps across starts, the pages as they come out of the printer, the
# manager library unloaded at the end, the no-printer box in every language.
#
# ARCH (x86_64 unless given) is the build's: an i686 build runs with 32-bit
# Wine, with its own virtual scanner DLL and driver.
#
#   main_dialog.sh BIN_DIR [ARCH]
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
e2e_start "$1" "${2:-x86_64}"
export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8

# The printers this script chooses persist in the prefix's registry: start
# from none stored, so that both entries take CUPS's default printer.
"$ZV_WINE" reg delete 'HKCU\Software\Zelvantor\Copier' /f >/dev/null 2>&1

run="$work/run"; make_run "$run" with-scanner
trace="$run/trace.log"
trace_w=$(winepath_w "$trace")
# lines TEXT : how many lines of the scanner trace contain TEXT.
lines() { grep -c -- "$1" "$trace" 2>/dev/null || true; }
# closed_last : the trace ends with the manager closed and then unloaded.
closed_last() {
  equal "$(tail -n2 "$trace" | tr -d '\r' | sed 's/^[0-9]* [0-9]* -> DSM //' | paste -sd'|')" \
    'DG_CONTROL DAT_PARENT MSG_CLOSEDSM = TWRC_SUCCESS|# unloaded'
}
# fax_jobs : the completed jobs of the fax printer, by name. Counting them
# would not do: once CUPS holds MaxJobs jobs it purges the oldest as new ones
# complete, so a long test run sees the count stand still.
fax_jobs() { lpstat -W completed -o "$ZV_FAX_PRINTER" 2>/dev/null | awk '{print $1}' | sort; }
# new_fax_jobs BEFORE : the fax printer's completed jobs not in BEFORE.
new_fax_jobs() { comm -13 <(printf '%s\n' "$1") <(fax_jobs) | grep -c . || true; }
# The driver's steps that wait for the N-th scan to be over: the trace has
# the source disabled, and the dialog is enabled again.
scanned() { echo trace "$trace_w" MSG_DISABLEDS "$1" 60000 idle 60000; }

# --- Start with no arguments, then Quit: the session closes the manager and
# the program unloads it last.
: > "$trace"
start_copier "$run"
check "dialog shown, Quit closes it" drive "$work/d1" dialog 60000 click 2 gone 20000
check "dialog gone" equal "$(value "$work/d1" gone)" 1
finish_copier "$run"
check "Quit: exit code 0" equal "$code" 0
check "Quit: the manager closed and unloaded last" closed_last

# --- Typed like a person: 2 copies, greyscale by the mode's mnemonic, Enter
# copies; Esc quits. One PDF of two pages from the copy printer, the chart's
# line where 100 % puts it.
marker="$work/m-copy"; set_marker "$marker"
: > "$trace"
start_copier "$run"
check "typed: the copy made, Esc" drive "$work/d2" dialog 60000 keys 2 alt+o down \; state \
  keys enter \; $(scanned 1) keys esc \; gone 60000
d=$work/d2
check "typed: copies 2, mode Greyscale" \
  equal "$(value $d text105)|$(value $d text1018)" "2|Greyscale"
finish_copier "$run"
check "Esc: exit code 0, dialog gone" equal "$code|$(value $d gone)" "0|1"
check "Esc: the manager closed and unloaded last" closed_last
check "greyscale asked of the scanner" has_line "$trace" 'cap=ICAP_PIXELTYPE value=1 '
# Two pages tell this run's document from other runs' pages on the shared
# CUPS server.
twos=""
for pdf in $(wait_pdfs "$marker" 60 1); do
  pdfinfo "$pdf" 2>/dev/null | grep -q '^Pages: *2$' && twos+="$pdf"$'\n'
done
check "Enter copied: one document of two pages" equal "$(count_lines "$twos")" 1
line100=-1
if [ "$(count_lines "$twos")" = 1 ]; then
  line100=$(dark_row "$(render "$(head -n1 <<< "$twos")" p100)" 100 600 150 250)
  # The line lies 50 mm (and its half thickness) below the top: 197.8 rows.
  check "100 %: the chart's line at row 197.8" between "$line100" 1950 2010
fi

# check_line_moved LABEL MARKER SCALE X WIDTH FROM TO : one page among the
# new PDFs since MARKER has the chart's line where SCALE (1/100 %) puts it
# against the 100 % page, within 1 %, looked for in the band X..X+WIDTH,
# rows FROM..TO at 100 dpi. (Other runs may print on the same CUPS server
# meanwhile: their pages are not counted.)
check_line_moved() {
  local pdf line ratio ratios="" found=0
  for pdf in $(wait_pdfs "$2" 60 1); do
    pdfinfo "$pdf" 2>/dev/null | grep -q '^Pages: *1$' || continue
    line=$(dark_row "$(render "$pdf" "line-$3")" "$4" "$5" "$6" "$7")
    ratio=$((line * 10000 / line100))
    ratios+=" $ratio"
    [ "$ratio" -ge $(($3 * 99 / 100)) ] && [ "$ratio" -le $(($3 * 101 / 100)) ] &&
      found=$((found + 1))
  done
  check "$1: one page with the line moved by the scale within 1 % (ratios in 1/10000:$ratios)" \
    equal "$found" 1
}

# --- Scale by paper size: A4 -> A3 shows 141 and copies at the table's
# 141.38 %: the scanner is asked for 21000 / 1.4138 by 29700 / 1.4138 of the
# glass (at 141 % it would be 14893 by 21063), and the printed line moves
# with it.
marker="$work/m-a3"; set_marker "$marker"
: > "$trace"
start_copier "$run"
check "A3: the paper option, A4 to A3 shown as 141, Copy" drive "$work/d3" dialog 60000 \
  click 1011 enabled 1012 1 5000 select 1013 0 until 107 141 5000 click 1 $(scanned 1) \
  click 2 gone 60000
finish_copier "$run"
check "A3: exit code 0" equal "$code" 0
check "A3: the scan frame of 141.38 %" equal "$(trace_frame "$trace")" 14853x21007
[ "$line100" -gt 0 ] && check_line_moved "A3" "$marker" 14138 100 600 240 320

# --- Percent 71 shrinks the page to 71 %: the line moves up. A brighter
# copy (a lower threshold) keeps the chart's grey ramp, which at 71 % comes
# near the line, from turning black.
marker="$work/m-71"; set_marker "$marker"
: > "$trace"
start_copier "$run"
check "71 %: Copy" drive "$work/d4" dialog 60000 set 107 71 track 1014 500 click 1 $(scanned 1) \
  click 2 gone 60000
finish_copier "$run"
check "71 %: exit code 0" equal "$code" 0
[ "$line100" -gt 0 ] && check_line_moved "71 %" "$marker" 7100 50 300 110 170

# --- Printer Browse: the fax printer changed through the print dialog, the
# copy printer's dialog cancelled; the next start shows both as they were
# left, and the window's close button ends it.
start_copier "$run"
check "fax printer chosen, copy printer's dialog cancelled" drive "$work/d6" dialog 60000 \
  click 110 printer 30000 "$ZV_FAX_PRINTER" until 109 "$ZV_FAX_PRINTER" 10000 \
  click 104 printer 30000 - click 2 gone 20000
finish_copier "$run"
: > "$trace"
start_copier "$run"
drive "$work/d7" dialog 60000 text 109 text 103 close gone 20000
d=$work/d7
check "the next start: the fax printer kept, the copy printer unchanged" \
  equal "$(value $d text109)|$(value $d text103)" "$ZV_FAX_PRINTER|$ZV_PRINTER"
finish_copier "$run"
check "close button: dialog gone, exit code 0" equal "$(value $d gone)|$code" "1|0"
check "close button: the manager closed and unloaded last" closed_last

# --- Fax with 2 copies: two documents on the fax printer.
marker="$work/m-fax"; set_marker "$marker"
before=$(fax_jobs)
: > "$trace"
start_copier "$run"
check "Fax: two copies" drive "$work/d8" dialog 60000 set 105 2 click 3 $(scanned 1) click 2 gone 60000
finish_copier "$run"
check "Fax: exit code 0" equal "$code" 0
pdfs=$(wait_pdfs "$marker" 60 2)
check "Fax: two PDFs" equal "$(count_lines "$pdfs")" 2
check "Fax: both on the fax printer" equal "$(new_fax_jobs "$before")" 2

# --- Help: the about box; with the Control key held, the separator and the
# report.
start_copier "$run"
check "Help, then Control + Help" drive "$work/d10" dialog 60000 click 9 box 20000 \
  keys ctrl+down \; click 9 box 20000 keys ctrl+up \; click 2 gone 20000
d=$work/d10
about='Zelvantor Copier\nVersion 1.6.201.1004\nCopyright © 16.07.2006 Zelvantor'
first=$(grep '^box=' $d | sed -n 1p | cut -d= -f2-)
second=$(grep '^box=' $d | sed -n 2p | cut -d= -f2-)
check "Help: the about text" equal "$first" "$about"
check "Control + Help: the about text and 63 hyphens" \
  equal "${second:0:$((${#about} + 67))}" "$about"'\n'---------------------------------------------------------------'\n'
check "Control + Help: the report names the scanner and its ScannerId" \
  matches "$second" 'ScannerId:.*Zelvantor Virtual Scanner|Zelvantor Virtual Scanner.*ScannerId:'
finish_copier "$run"

# --- A slow scan started by a double click with the real mouse: the proxy
# window stands in for the disabled dialog, and the two clicks make one job,
# one document of three pages.
scanner_ini "$run/vscanner.ini" "$trace" "XferReadyDelay=3000"
: > "$trace"
marker="$work/m-slow"; set_marker "$marker"
start_copier "$run"
check "slow scan: a double click on Copy" drive "$work/d11" dialog 60000 set 105 3 mouse 1 2 \
  busy 30000 $(scanned 1) click 2 gone 60000
d=$work/d11
check "slow scan: the proxy window" equal "$(value $d proxy)" "Scanning..."
check "slow scan: the dialog disabled meanwhile" equal "$(value $d dialogEnabled)" 0
finish_copier "$run"
check "slow scan: exit code 0" equal "$code" 0
check "double click: one scan" equal "$(lines MSG_ENABLEDS)" 1
# Three pages tell this run's document from other runs' pages on the shared
# CUPS server.
pdfs=$(wait_pdfs "$marker" 60 1)
threes=0
for pdf in $pdfs; do
  pdfinfo "$pdf" 2>/dev/null | grep -q '^Pages: *3$' && threes=$((threes + 1))
done
check "double click: one document of three pages" equal "$threes" 1
scanner_ini "$run/vscanner.ini" "$trace"

# --- A scanner switched off between two copies and on again: Copy, then the
# source refuses to open (the message, nothing printed), then Copy again,
# which prints. The scanner counts what the copier gives back of what it
# handed out: nothing was given back twice, nothing kept, and the copier
# lived to quit.
# source_ini LINE... : the flatbed chart, counting what the copier gives back.
source_ini() {
  write_ini "$run/vscanner.ini" "[Manager]" "Trace=$trace_w" "CountFrees=yes" "[Source]" \
    "Preset=Flatbed" "Image=Chart" "$@"
}
source_ini
: > "$trace"
marker="$work/m-off"; set_marker "$marker"
start_copier "$run"
check "switched off: the first Copy" drive "$work/d12" dialog 60000 click 1 wait 500 idle 60000
source_ini "OpenDS=Failure"
check "switched off: Copy" drive "$work/d13" dialog 1000 click 1 box 60000 idle 60000
check "switched off: the message" equal "$(value $work/d13 box)" "The scanner delivered no page."
source_ini
check "switched on: Copy, then Quit" drive "$work/d14" dialog 1000 click 1 wait 500 idle 60000 \
  click 2 gone 60000
finish_copier "$run"
check "switched off and on: exit code 0" equal "$code" 0
check "switched off: the open refused" has_line "$trace" 'MSG_OPENDS .*= TWRC_FAILURE'
pdfs=$(wait_pdfs "$marker" 60 2)
check "switched off and on: the first and the third copy printed" equal "$(count_lines "$pdfs")" 2
check "switched off and on: every page given back once" \
  equal "$(tail -n1 "$trace" | tr -d '\r')" "# unloaded: not freed=0 freed twice=0"
scanner_ini "$run/vscanner.ini" "$trace"

# --- No printer at all: the German message in every interface language,
# then the dialog closes with exit code 0.
noprn="$work/noprinter"; make_run "$noprn" with-scanner
np_prefix=${ZV_NOPRINTER_PREFIX:-$WINEPREFIX-noprinter}
( export CUPS_SERVER=/nonexistent/zv-no-cups/cups.sock; zv_make_prefix "$np_prefix" )
expect='Auf Ihrem System ist kein Drucker installiert.'
for lang in de_DE el_GR en_US zh_CN es_ES; do
  ( cd "$noprn" && LANG=$lang.UTF-8 LC_ALL=$lang.UTF-8 WINEDLLOVERRIDES="twain_32=n" \
      ZV_VSCANNER_INI="$(winepath_w "$noprn/vscanner.ini")" \
      timeout 120 bash "$here/../printing/run_without_printer.sh" zvcopier.exe >/dev/null 2>&1
    echo $? > "$noprn/exit-code" ) &
  copier_job=$!
  # The program runs in a prefix of its own, with a server of its own: the
  # driver joins it there.
  WINEPREFIX="$np_prefix" CUPS_SERVER=/nonexistent/zv-no-cups/cups.sock \
    drive "$work/np-$lang" box 120000
  finish_copier "$noprn"
  check "no printer ($lang): the German message" equal "$(value "$work/np-$lang" box)" "$expect"
  check "no printer ($lang): exit code 0" equal "$code" 0
done

e2e_finish
