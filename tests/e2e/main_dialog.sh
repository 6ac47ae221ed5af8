#!/usr/bin/env bash
# The copier's window end to end under Wine: the real program started with no
# arguments, the real virtual scanner DLL, the CUPS PDF printers (copy printer
# $ZV_PRINTER, fax printer $ZV_FAX_PRINTER), driven like a person by
# tools/copier_driver (controls by id, clicks, keys). Run by ctest from
# scripts/test, which has started the X server, CUPS and the Wine prefix.
#
# ARCH (x86_64 unless given) is the build's: an i686 build runs with 32-bit
# Wine, with its own virtual scanner DLL and driver.
#
#   main_dialog.sh BIN_DIR [ARCH]
set -uo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/env.sh"
zv_set_arch "${2:-x86_64}" || exit 1
source "$here/checks.sh"
source "$here/e2e_lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$ZV_PDF_DIR"
export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8

# The printers this script chooses persist in the prefix's registry: start
# from none stored, so that both entries take CUPS's default printer.
"$ZV_WINE" reg delete 'HKCU\Software\Zelvantor\Copier' /f >/dev/null 2>&1

run="$work/run"; make_run "$run" with-scanner
trace="$run/trace.log"
trace_w=$(winepath_w "$trace")
# lines TEXT : how many lines of the scanner trace contain TEXT.
lines() { grep -c -- "$1" "$trace" 2>/dev/null || true; }
# fax_jobs : completed jobs of the fax printer so far.
fax_jobs() { lpstat -W completed -o "$ZV_FAX_PRINTER" 2>/dev/null | grep -c . || true; }

# --- Start with no arguments: the initial state, then Quit.
start_copier "$run"
drive "$work/d1" dialog 60000 state click 2 gone 20000
d=$work/d1
check "dialog shown" $([ "$(value $d dialog)" = 1 ]; echo $?)
check "copies 1, selected, with the focus" \
  $([ "$(value $d text105)|$(value $d focus)|$(value $d selection)" = "1|105|0-1" ]; echo $?)
check "percent 100, field enabled" $([ "$(value $d text107)|$(value $d enabled107)|$(value $d percentOption)" = "100|1|1" ]; echo $?)
check "paper lists A4/A4, disabled" \
  $([ "$(value $d text1012)|$(value $d text1013)|$(value $d enabled1012)|$(value $d enabled1013)" = "A4|A4|0|0" ]; echo $?)
check "mode Black/White ($(value $d text1018))" $([ "$(value $d text1018)" = "Black/White" ]; echo $?)
check "brightness 0 in -1000..1000" \
  $([ "$(value $d brightness)|$(value $d brightnessMin)|$(value $d brightnessMax)" = "0|-1000|1000" ]; echo $?)
check "scanner name ($(value $d text101))" $([ "$(value $d text101)" = "Zelvantor Virtual Scanner" ]; echo $?)
check "printer names ($(value $d text103), $(value $d text109))" \
  $([ "$(value $d text103)|$(value $d text109)" = "$ZV_PRINTER|$ZV_PRINTER" ]; echo $?)
check "Quit closes the dialog" $([ "$(value $d gone)" = 1 ]; echo $?)
finish_copier "$run"
check "Quit: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
check "Quit: the session closed the manager and unloaded it last" \
  $(tail -n2 "$trace" | tr -d '\r' | paste -sd'|' | grep -q 'MSG_CLOSEDSM = TWRC_SUCCESS|# unloaded$'; echo $?)

# --- Typed like a person: 2 copies, greyscale by the mode's mnemonic, Enter
# copies; Esc quits. One PDF of two pages from the copy printer.
marker="$work/m-copy"; set_marker "$marker"
: > "$trace"
start_copier "$run"
drive "$work/d2" dialog 60000 keys 2 alt+o down \; state keys enter \; busy 30000 idle 60000 \
  keys esc \; gone 60000
d=$work/d2
check "typed: copies 2 ($(value $d text105)), mode Greyscale ($(value $d text1018))" \
  $([ "$(value $d text105)|$(value $d text1018)" = "2|Greyscale" ]; echo $?)
finish_copier "$run"
check "Esc: exit code 0 (was $code), dialog gone" $([ "$code|$(value $d gone)" = "0|1" ]; echo $?)
check "Esc: the manager closed and unloaded last" \
  $(tail -n2 "$trace" | tr -d '\r' | paste -sd'|' | grep -q 'MSG_CLOSEDSM = TWRC_SUCCESS|# unloaded$'; echo $?)
check "greyscale asked of the scanner" $(grep -q 'cap=ICAP_PIXELTYPE value=1$\|cap=ICAP_PIXELTYPE value=1 ' "$trace"; echo $?)
pdfs=$(wait_pdfs "$marker" 60 1)
count=$(printf '%s\n' "$pdfs" | grep -c . || true)
check "Enter copied: one PDF (got $count)" $([ "$count" = 1 ]; echo $?)
line100=-1
if [ "$count" = 1 ]; then
  check "two pages in it" $(pdfinfo "$pdfs" | grep -q '^Pages: *2$'; echo $?)
  pdftoppm -gray -r 100 -f 1 -l 1 -singlefile "$pdfs" "$work/p100"
  line100=$(dark_row "$work/p100.pgm" 100 600 150 250)
  # The line lies 50 mm (and its half thickness) below the top: 197.8 rows.
  check "100 %: the chart's line at row $line100/10" $([ "$line100" -ge 1950 ] && [ "$line100" -le 2010 ]; echo $?)
fi

# --- Scale by paper size: A4 -> A3 shows 141 and prints at 141.38 %; back on
# the percent option the field reads 141.
marker="$work/m-a3"; set_marker "$marker"
start_copier "$run"
drive "$work/d3" dialog 60000 click 1011 until 1012 A4 1000 wait 300 state select 1013 0 \
  until 107 141 5000 state click 1 wait 500 idle 60000 click 1010 wait 300 state click 2 gone 60000
d=$work/d3
check "paper option: lists enabled, percent field disabled" \
  $(grep -q '^enabled1012=1' $d && grep '^enabled107=' $d | sed -n 2p | grep -q '=0'; echo $?)
check "A4 -> A3: the percent field shows 141" $(grep '^text107=' $d | sed -n 3p | grep -q '=141$'; echo $?)
check "back on percent: field enabled with 141, lists disabled" \
  $([ "$(value $d text107)|$(value $d enabled107)|$(value $d enabled1012)" = "141|1|0" ]; echo $?)
finish_copier "$run"
check "A3: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
pdfs=$(wait_pdfs "$marker" 60 1)
count=$(printf '%s\n' "$pdfs" | grep -c . || true)
check "A3: one PDF (got $count)" $([ "$count" = 1 ]; echo $?)
if [ "$count" = 1 ] && [ "$line100" -gt 0 ]; then
  pdftoppm -gray -r 100 -singlefile "$pdfs" "$work/p141"
  line=$(dark_row "$work/p141.pgm" 100 600 240 320)
  ratio=$((line * 10000 / line100))
  check "A3: the line moved by 141.38 % within 1 % (measured $ratio/100 %)" \
    $([ $ratio -ge 13997 ] && [ $ratio -le 14279 ]; echo $?)
fi

# --- Percent 71 shrinks to 71 %; brightness 500 (black/white) reaches the
# scanner as its threshold.
marker="$work/m-71"; set_marker "$marker"
start_copier "$run"
drive "$work/d4" dialog 60000 set 107 71 track 1014 500 click 1 wait 500 idle 60000 click 2 gone 60000
finish_copier "$run"
check "71 %: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
check "brightness 500 sent: threshold 63 (or brightness 500)" \
  $(grep -q 'MSG_SET cap=ICAP_THRESHOLD value=63.00\|MSG_SET cap=ICAP_BRIGHTNESS value=500.00' "$trace"; echo $?)
pdfs=$(wait_pdfs "$marker" 60 1)
count=$(printf '%s\n' "$pdfs" | grep -c . || true)
check "71 %: one PDF (got $count)" $([ "$count" = 1 ]; echo $?)
if [ "$count" = 1 ] && [ "$line100" -gt 0 ]; then
  pdftoppm -gray -r 100 -singlefile "$pdfs" "$work/p71"
  line=$(dark_row "$work/p71.pgm" 50 300 110 170)
  ratio=$((line * 10000 / line100))
  check "71 %: the line moved by 71 % within 1 % (measured $ratio/100 %)" \
    $([ $ratio -ge 7029 ] && [ $ratio -le 7171 ]; echo $?)
fi

# --- Percent 0 or empty: nothing scanned; the field takes the focus with its
# text selected.
: > "$trace"
start_copier "$run"
drive "$work/d5" dialog 60000 set 107 0 click 1 wait 1000 state set 107 "" click 3 wait 1000 state click 2 gone 20000
d=$work/d5
check "percent 0: focus on the percent field, its text selected" \
  $([ "$(grep '^focus=' $d | sed -n 1p)|$(grep '^selection=' $d | sed -n 1p)" = "focus=107|selection=0-1" ]; echo $?)
check "percent empty: focus on the percent field" $([ "$(grep '^focus=' $d | sed -n 2p)" = "focus=107" ]; echo $?)
finish_copier "$run"
check "percent 0 or empty: nothing was scanned" $(! grep -q 'ENABLEDS' "$trace"; echo $?)

# --- Printer Browse: the fax printer changed through the print dialog, the
# copy printer's dialog cancelled; the choice persists to the next start.
start_copier "$run"
drive "$work/d6" dialog 60000 click 110 printer 30000 "$ZV_FAX_PRINTER" until 109 "$ZV_FAX_PRINTER" 10000 \
  click 104 printer 30000 - wait 500 state click 2 gone 20000
d=$work/d6
check "fax printer chosen: $(value $d text109)" $([ "$(value $d text109)" = "$ZV_FAX_PRINTER" ]; echo $?)
check "copy printer dialog cancelled: unchanged ($(value $d text103))" $([ "$(value $d text103)" = "$ZV_PRINTER" ]; echo $?)
finish_copier "$run"
start_copier "$run"
drive "$work/d7" dialog 60000 state close gone 20000
d=$work/d7
check "the fax printer persists to the next start" \
  $([ "$(value $d text109)|$(value $d text103)" = "$ZV_FAX_PRINTER|$ZV_PRINTER" ]; echo $?)
finish_copier "$run"
check "close button: dialog gone, exit code 0 (was $code)" $([ "$(value $d gone)|$code" = "1|0" ]; echo $?)
check "close button: the manager closed and unloaded last" \
  $(tail -n2 "$trace" | tr -d '\r' | paste -sd'|' | grep -q 'MSG_CLOSEDSM = TWRC_SUCCESS|# unloaded$'; echo $?)

# --- Fax with 2 copies: two documents on the fax printer.
marker="$work/m-fax"; set_marker "$marker"
before=$(fax_jobs)
start_copier "$run"
drive "$work/d8" dialog 60000 set 105 2 click 3 wait 500 idle 60000 click 2 gone 60000
finish_copier "$run"
check "Fax: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
pdfs=$(wait_pdfs "$marker" 60 2)
count=$(printf '%s\n' "$pdfs" | grep -c . || true)
check "Fax: two PDFs (got $count)" $([ "$count" = 2 ]; echo $?)
after=$(fax_jobs)
check "Fax: both on the fax printer ($before -> $after jobs)" $([ $((after - before)) = 2 ]; echo $?)

# --- Scanner Browse: another source chosen, then the selection cancelled.
printf '[Manager]\nTrace=%s\n[Source Flatbed]\nPreset=Flatbed\nImage=Chart\n[Source Second]\nPreset=A510B7A9\n' \
  "$trace_w" > "$run/vscanner.ini"
: > "$trace"
start_copier "$run"
# A selection closes the manager and the name's refresh opens and closes it
# again: the cancelled round is over when it has added as many closings as
# the chosen one.
drive "$work/d9" dialog 60000
c0=$(lines MSG_CLOSEDSM)
drive "$work/d9" dialog 1000 click 102 source 30000 1 until 101 "ZV Greyscale 1-bit TzGuxPPT" 10000
check "scanner chosen: the name changes" $([ $? = 0 ]; echo $?)
c1=$(lines MSG_CLOSEDSM)
drive "$work/d9" dialog 1000 click 102 source 30000 -1 \
  trace "$trace_w" MSG_CLOSEDSM $((c1 + c1 - c0)) 20000 text 101 click 2 gone 20000
d=$work/d9
check "selection cancelled: the name refreshed and unchanged" \
  $([ "$(value $d text101)" = "ZV Greyscale 1-bit TzGuxPPT" ] && [ $c1 -gt $c0 ]; echo $?)
check "selection cancelled: the manager answered the cancel" $(grep -q 'MSG_USERSELECT = TWRC_CANCEL' "$trace"; echo $?)
finish_copier "$run"
printf '[Manager]\nTrace=%s\n[Source]\nPreset=Flatbed\nImage=Chart\n' "$trace_w" > "$run/vscanner.ini"

# --- Help: the about box; with Control held, the separator and the report.
start_copier "$run"
drive "$work/d10" dialog 60000 click 9 box 20000 keys ctrl+down \; click 9 box 20000 keys ctrl+up \; click 2 gone 20000
d=$work/d10
about='Zelvantor Copier\nVersion 1.6.201.1004\nCopyright © 16.07.2006 Zelvantor'
first=$(grep '^box=' $d | sed -n 1p | cut -d= -f2-)
second=$(grep '^box=' $d | sed -n 2p | cut -d= -f2-)
check "Help: the about text ('$first')" $([ "$first" = "$about" ]; echo $?)
check "Control + Help: the about text, 63 hyphens, the report" \
  $([[ "$second" == "$about"'\n'---------------------------------------------------------------'\n'* ]]; echo $?)
check "Control + Help: the report names the scanner by its ScannerId" \
  $(grep -q 'ScannerId' <<< "$second" && grep -q 'Zelvantor Virtual Scanner' <<< "$second"; echo $?)
finish_copier "$run"

# --- A slow scan: the proxy window stands in for the disabled dialog; a
# double click and clicks posted meanwhile give one job; a close request
# arriving during the next scan (the close button cannot be pressed on a
# disabled window, but a task manager sends WM_CLOSE) ends the program after
# that job.
printf '[Manager]\nTrace=%s\n[Source]\nPreset=Flatbed\nImage=Chart\nXferReadyDelay=3000\n' "$trace_w" > "$run/vscanner.ini"
: > "$trace"
marker="$work/m-slow"; set_marker "$marker"
start_copier "$run"
drive "$work/d11" dialog 60000 set 105 3 mouse 1 2 busy 30000 click 1 click 3 state idle 60000 state \
  click 1 busy 30000 endtask gone 60000
d=$work/d11
check "slow scan: proxy window '$(value $d proxy)'" $([ "$(value $d proxy)" = "Scanning..." ]; echo $?)
check "slow scan: the dialog disabled meanwhile" $(grep '^dialogEnabled=' $d | sed -n 1p | grep -q '=0$'; echo $?)
check "after the scan: enabled again, copies still 3" \
  $(grep '^dialogEnabled=' $d | sed -n 3p | grep -q '=1$' && [ "$(grep '^text105=' $d | tail -n1)" = "text105=3" ]; echo $?)
finish_copier "$run"
check "closed during a scan: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
check "double click and posted clicks: one scan each for the two Copy jobs" \
  $([ "$(lines 'MSG_ENABLEDS')" = 2 ]; echo $?)
check "closed during a scan: the manager closed and unloaded after the job" \
  $(tail -n2 "$trace" | tr -d '\r' | paste -sd'|' | grep -q 'MSG_CLOSEDSM = TWRC_SUCCESS|# unloaded$'; echo $?)
# Three pages tell this run's documents from other runs' pages on the shared
# CUPS server.
pdfs=$(wait_pdfs "$marker" 60 2)
count=0
for pdf in $pdfs; do
  pdfinfo "$pdf" 2>/dev/null | grep -q '^Pages: *3$' && count=$((count + 1))
done
check "one document of three pages per Copy job: two (got $count)" $([ "$count" = 2 ]; echo $?)
printf '[Manager]\nTrace=%s\n[Source]\nPreset=Flatbed\nImage=Chart\n' "$trace_w" > "$run/vscanner.ini"

# --- A scanner switched off between two copies and on again: Copy, then the
# source refuses to open (the message, nothing printed), then Copy again,
# which prints. The scanner counts what the copier gives back of what it
# handed out: nothing was given back twice, nothing kept, and the copier
# lived to quit.
source_ini() { printf '[Manager]\nTrace=%s\nCountFrees=yes\n[Source]\nPreset=Flatbed\nImage=Chart\n%s' "$trace_w" "$1" > "$run/vscanner.ini"; }
source_ini ""
: > "$trace"
marker="$work/m-off"; set_marker "$marker"
start_copier "$run"
drive "$work/d12" dialog 60000 click 1 wait 500 idle 60000
source_ini "OpenDS=Failure"$'\n'
drive "$work/d13" dialog 1000 click 1 box 60000 idle 60000
check "switched off: the message ('$(value $work/d13 box)')" \
  $([ "$(value $work/d13 box)" = "The scanner delivered no page." ]; echo $?)
source_ini ""
drive "$work/d14" dialog 1000 click 1 wait 500 idle 60000 click 2 gone 60000
finish_copier "$run"
check "switched off and on: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
check "switched off: the open refused" $(grep -q 'MSG_OPENDS .*= TWRC_FAILURE' "$trace"; echo $?)
pdfs=$(wait_pdfs "$marker" 60 2)
count=$(printf '%s\n' "$pdfs" | grep -c . || true)
check "switched off and on: the first and the third copy printed (got $count)" $([ "$count" = 2 ]; echo $?)
last=$(tail -n1 "$trace" | tr -d '\r')
check "switched off and on: every page given back once ($last)" \
  $([ "$last" = "# unloaded: not freed=0 freed twice=0" ]; echo $?)
printf '[Manager]\nTrace=%s\n[Source]\nPreset=Flatbed\nImage=Chart\n' "$trace_w" > "$run/vscanner.ini"

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
  text=$(value "$work/np-$lang" box)
  finish_copier "$noprn"
  check "no printer ($lang): '$text'" $([ "$text" = "$expect" ]; echo $?)
  check "no printer ($lang): exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
done

echo "$passed passed, $failures failed"
[ $failures -eq 0 ]
