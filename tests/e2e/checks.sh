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
