# The shared library of the end-to-end scripts: their preamble, run folders
# with the program and the virtual scanner, the program in the background,
# the window driver, and reading the printed page. Sourcing it brings
# scripts/env.sh and checks.sh along.
#
#   source "$(dirname "$0")/e2e_lib.sh"
#   e2e_start BIN_DIR [ARCH]      ... checks ...      e2e_finish

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/scripts/env.sh"
source "$here/checks.sh"

e2e_exit_steps=()

# e2e_start BIN_DIR [ARCH] : bin is the build's program folder; ARCH picks
# the Wine of the build's width (x86_64 or i686); work is a folder of the
# script's own, removed at its end with whatever e2e_at_exit added.
e2e_start() {
  bin=$1
  if [ -n "${2:-}" ]; then
    zv_set_arch "$2" || exit 1
    echo "architecture: $ZV_ARCH ($ZV_WINE)"
  fi
  work=$(mktemp -d)
  trap e2e_exit EXIT
  mkdir -p "$ZV_PDF_DIR"
}
# e2e_at_exit COMMAND : run (by eval) when the script ends, before its
# folder goes; the last added runs first.
e2e_at_exit() { e2e_exit_steps=("$1" "${e2e_exit_steps[@]}"); }
e2e_exit() {
  local step
  for step in "${e2e_exit_steps[@]}"; do
    eval "$step"
  done
  rm -rf "$work"
}
# e2e_finish : the counts, and the script's exit code.
e2e_finish() {
  echo "$passed passed, $failures failed"
  [ $failures -eq 0 ]
}

# scanner_ini FILE TRACE [LINE...] : the virtual scanner's INI for one
# flatbed drawing its chart, tracing to TRACE, with more lines for the
# source.
scanner_ini() {
  local file=$1 trace=$2
  shift 2
  write_ini "$file" "[Manager]" "Trace=$(winepath_w "$trace")" "[Source]" "Preset=Flatbed" \
    "Image=Chart" "$@"
}

# make_run DIR [with-scanner] : the program, and the scanner DLL beside it.
make_run() {
  mkdir -p "$1"
  cp "$bin/zvcopier.exe" "$1/"
  if [ "${2:-}" = with-scanner ]; then
    cp "$bin/vscanner/TWAIN_32.DLL" "$1/"
    scanner_ini "$1/vscanner.ini" "$1/trace.log"
  fi
}

# run_copier DIR ARGS... : runs the program there; prints its exit code.
run_copier() {
  local dir=$1; shift
  ( cd "$dir" && WINEDLLOVERRIDES="twain_32=n" ZV_VSCANNER_INI="$(winepath_w "$dir/vscanner.ini")" \
      timeout 120 "$ZV_WINE" zvcopier.exe "$@" >/dev/null 2>&1 ); echo $?
}

# start_copier DIR ARGS... : the same in the background; finish_copier DIR
# then waits for it and leaves its exit code in `code` (it must run in this
# shell, not in $(...), to wait for the program).
start_copier() {
  local dir=$1; shift
  rm -f "$dir/exit-code"
  ( cd "$dir" && WINEDLLOVERRIDES="twain_32=n" ZV_VSCANNER_INI="$(winepath_w "$dir/vscanner.ini")" \
      timeout 180 "$ZV_WINE" zvcopier.exe "$@" >/dev/null 2>&1; echo $? > "$dir/exit-code" ) &
  copier_job=$!
}
finish_copier() {
  wait "$copier_job" 2>/dev/null
  code=$(cat "$1/exit-code" 2>/dev/null || echo none)
}

# drive OUT STEPS... : runs the copier driver, its report in OUT.
drive() {
  local out=$1; shift
  # Wine's console turns each line feed into CR LF.
  timeout 170 "$ZV_WINE" "$bin/copier_driver.exe" "$@" 2>/dev/null | tr -d '\r' > "$out"
  local code=${PIPESTATUS[0]}
  grep '^error=' "$out" >&2
  return $code
}
# value OUT NAME : a value the driver reported (the last one of that name).
value() { grep "^$2=" "$1" | tail -n1 | cut -d= -f2-; }

# trace_frame TRACE [N] : the scan frame of the N-th frame the trace shows
# (the last without N) as "WIDTHxHEIGHT" in 1/100 mm; the trace gives it in
# inches.
trace_frame() {
  grep -o 'DAT_IMAGELAYOUT MSG_SET frame=[-0-9.,]*' "$1" | sed 's/.*frame=//' |
    sed -n "${2:-\$}p" |
    awk -F, '{ printf "%dx%d\n", ($3 - $1) * 2540 + 0.5, ($4 - $2) * 2540 + 0.5 }'
}

# dark_row PGM X WIDTH FROM TO : the centre (in tenths of a pixel row) of the
# dark rows between FROM and TO in the band X..X+WIDTH: the chart's line.
dark_row() {
  convert "$1" -crop "${3}x$(($5 - $4))+$2+$4" +repage -resize "1x$(($5 - $4))!" -depth 8 txt:- |
    awk -v from="$4" -F'[,:() ]+' '/^[0-9]/ { g = $4; if (g < 128) { w = 128 - g; s += w * ($2 + from); t += w } }
      END { if (t > 0) printf "%d\n", s * 10 / t; else print -1 }'
}

# render PDF NAME : the PDF's first page at 100 dpi in grey, as NAME.pgm in
# the work folder; prints that file's path.
render() {
  pdftoppm -gray -r 100 -f 1 -l 1 -singlefile "$1" "$work/$2"
  echo "$work/$2.pgm"
}

# chart_page PDF : whether the PDF is one A4 page with the test chart's
# filled square in the sheet's top-left corner; quietly, to pick this
# run's page among the new PDFs.
chart_page() {
  local info pgm
  info=$(pdfinfo "$1" 2>/dev/null) || return 1
  grep -q '^Pages: *1$' <<< "$info" && grep -q '^Page size:.*(A4)' <<< "$info" || return 1
  pgm=$(render "$1" chart-probe)
  [ "$(mean "$pgm" 14x14+2+2)" -lt 60 ] && [ "$(mean "$pgm" 10x10+26+26)" -gt 200 ]
}

# check_chart_page LABEL PDF : the virtual scanner's chart printed at 100 %
# on one A4 page, from the physical corner of the sheet: at 100 dpi one
# millimetre is 3.94 pixels; the filled 5 mm square in the top-left corner,
# the line 50 mm below the top, the corner mark at the bottom right.
check_chart_page() {
  local label=$1 pdf=$2 info pgm
  info=$(pdfinfo "$pdf" 2>&1)
  check "$label: one page" matches "$info" '^Pages: *1$'
  check "$label: A4 page" matches "$info" '^Page size:.*\(A4\)'
  chart_pages=$((${chart_pages:-0} + 1))
  pgm=$(render "$pdf" "chart-$chart_pages")
  check "$label: rendered at A4 size" matches "$(identify -format '%wx%h' "$pgm")" '^82[67]x11(69|70)$'
  check "$label: filled square at the sheet's top-left corner" below "$(mean "$pgm" 14x14+2+2)" 60
  check "$label: white beside the square" above "$(mean "$pgm" 10x10+26+26)" 200
  check "$label: the line 50 mm from the top" below "$(mean "$pgm" 600x2+100+196)" 110
  check "$label: white 3 mm above the line" above "$(mean "$pgm" 600x3+100+184)" 200
  check "$label: white 3 mm below the line" above "$(mean "$pgm" 600x3+100+207)" 200
  check "$label: corner mark at the sheet's bottom right" below "$(mean "$pgm" 30x2+792+1165)" 110
  chart_pgm=$pgm
}
