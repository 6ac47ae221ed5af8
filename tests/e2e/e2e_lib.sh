# Shared by the end-to-end scripts: checks, run folders with the program and
# the virtual scanner, PDF markers, and reading the printed page. Sourced
# after scripts/env.sh; the caller sets bin, work, failures and passed.

check() { # check NAME CONDITION-EXIT-CODE
  if [ "$2" -eq 0 ]; then
    echo "ok: $1"; passed=$((passed + 1))
  else
    echo "FAILED: $1"; failures=$((failures + 1))
  fi
}

# make_run DIR [with-scanner] : the program, and the scanner DLL beside it.
make_run() {
  mkdir -p "$1"
  cp "$bin/zvcopier.exe" "$1/"
  if [ "${2:-}" = with-scanner ]; then
    cp "$bin/vscanner/TWAIN_32.DLL" "$1/"
    printf '[Manager]\nTrace=%s\n[Source]\nPreset=Flatbed\nImage=Chart\n' \
      "$(winepath_w "$1/trace.log")" > "$1/vscanner.ini"
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

# dark_row PGM X WIDTH FROM TO : the centre (in tenths of a pixel row) of the
# dark rows between FROM and TO in the band X..X+WIDTH: the chart's line.
dark_row() {
  convert "$1" -crop "${3}x$(($5 - $4))+$2+$4" +repage -resize "1x$(($5 - $4))!" -depth 8 txt:- |
    awk -v from="$4" -F'[,:() ]+' '/^[0-9]/ { g = $4; if (g < 128) { w = 128 - g; s += w * ($2 + from); t += w } }
      END { if (t > 0) printf "%d\n", s * 10 / t; else print -1 }'
}
