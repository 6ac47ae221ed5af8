# Sourced by the end-to-end scripts: counting checks, and waiting for the
# PDFs the CUPS PDF printer writes (ZV_PDF_DIR, from scripts/env.sh).

failures=0
passed=0

check() { # check NAME CONDITION-EXIT-CODE
  if [ "$2" -eq 0 ]; then
    echo "ok: $1"; passed=$((passed + 1))
  else
    echo "FAILED: $1"; failures=$((failures + 1))
  fi
}

new_pdfs() { find "$ZV_PDF_DIR" -maxdepth 1 -name '*.pdf' -newer "$1" 2>/dev/null; }

# set_marker FILE : the time from which PDFs count. Print jobs of earlier
# tests (the copy job test sends a dozen) may still be on their way into the
# PDF folder; the marker waits, at most 30 s, until CUPS holds no job and no
# PDF has arrived for 2 s, so that they are not counted as ours.
set_marker() {
  local i
  for i in $(seq 1 60); do
    if [ -z "$(lpstat -o 2>/dev/null)" ] &&
       [ -z "$(find "$ZV_PDF_DIR" -maxdepth 1 -name '*.pdf' -newermt "@$(($(date +%s) - 2))" 2>/dev/null)" ]; then
      break
    fi
    sleep 0.5
  done
  touch "$1"; sleep 1
}

# wait_pdfs MARKER SECONDS [COUNT] : new PDFs once they stop appearing (or
# once COUNT of them are there and CUPS is idle).
wait_pdfs() {
  local last="" now i n
  for i in $(seq 1 $(($2 * 2))); do
    now=$(new_pdfs "$1" | sort)
    n=$(printf '%s\n' "$now" | grep -c . || true)
    if [ -n "${3:-}" ] && [ "$n" -ge "$3" ] && [ -z "$(lpstat -o 2>/dev/null)" ]; then break; fi
    if [ -n "$now" ] && [ "$now" = "$last" ]; then break; fi
    last=$now
    sleep 0.5
  done
  new_pdfs "$1" | sort
}

mean() { # mean PGM WxH+X+Y : mean grey 0..255 of that region
  convert "$1" -crop "$2" +repage -format '%[fx:round(mean*255)]' info:
}

# check_chart NAME PDF PGM : the printed page is the virtual scanner's chart at
# 100 %, drawn from the sheet's physical corner; the page rendered at 100 dpi
# is left in PGM. At 100 dpi one millimetre is 3.94 pixels.
check_chart() {
  local name=$1 pdf=$2 pgm=$3 info size v
  info=$(pdfinfo "$pdf")
  check "$name: one page" $(grep -q '^Pages: *1$' <<< "$info"; echo $?)
  check "$name: A4 page" $(grep -q '^Page size:.*(A4)' <<< "$info"; echo $?)
  pdftoppm -gray -r 100 -singlefile "$pdf" "${pgm%.pgm}"
  size=$(identify -format '%wx%h' "$pgm")
  check "$name: rendered at A4 size (got $size)" $([[ "$size" =~ ^82[67]x11(69|70)$ ]]; echo $?)
  v=$(mean "$pgm" 14x14+2+2);   check "$name: filled square at the top-left corner (mean $v)" $([ "$v" -lt 60 ]; echo $?)
  v=$(mean "$pgm" 10x10+26+26); check "$name: white beside the square (mean $v)" $([ "$v" -gt 200 ]; echo $?)
  v=$(mean "$pgm" 600x2+100+196); check "$name: the line 50 mm from the top (mean $v)" $([ "$v" -lt 110 ]; echo $?)
  v=$(mean "$pgm" 600x3+100+184); check "$name: white 3 mm above it (mean $v)" $([ "$v" -gt 200 ]; echo $?)
  v=$(mean "$pgm" 600x3+100+207); check "$name: white 3 mm below it (mean $v)" $([ "$v" -gt 200 ]; echo $?)
  v=$(mean "$pgm" 30x2+792+1165); check "$name: corner mark at the bottom-right of the sheet (mean $v)" $([ "$v" -lt 110 ]; echo $?)
}
