# Shared by the end-to-end scripts that run the program: run folders with the
# program and the virtual scanner, the program in the background, the window
# driver, and reading the printed page. Sourced after scripts/env.sh and
# checks.sh; the caller sets bin and work.

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

# dark_row PGM X WIDTH FROM TO : the centre (in tenths of a pixel row) of the
# dark rows between FROM and TO in the band X..X+WIDTH: the chart's line.
dark_row() {
  convert "$1" -crop "${3}x$(($5 - $4))+$2+$4" +repage -resize "1x$(($5 - $4))!" -depth 8 txt:- |
    awk -v from="$4" -F'[,:() ]+' '/^[0-9]/ { g = $4; if (g < 128) { w = 128 - g; s += w * ($2 + from); t += w } }
      END { if (t > 0) printf "%d\n", s * 10 / t; else print -1 }'
}
