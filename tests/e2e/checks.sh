# Sourced by the end-to-end scripts (through e2e_lib.sh): checks that say
# why they failed, and waiting for the PDFs the CUPS PDF printer writes
# (ZV_PDF_DIR, from scripts/env.sh).

failures=0
passed=0

# check NAME COMMAND [ARGUMENT...] : runs the command. "ok: NAME" when it
# succeeds; otherwise "FAILED: NAME", the command and what it printed.
# (check NAME STATUS, with an exit status already taken, is the older form.)
check() {
  local name=$1 output="" status
  shift
  if [ $# -eq 1 ] && [[ "$1" =~ ^[0-9]+$ ]]; then
    status=$1
    set -- "exit status"
  else
    output=$("$@" 2>&1)
    status=$?
  fi
  if [ $status -eq 0 ]; then
    echo "ok: $name"
    passed=$((passed + 1))
  else
    echo "FAILED: $name"
    echo "  command:$(printf ' %q' "$@")"
    [ -n "$output" ] && sed 's/^/  | /' <<< "$output"
    failures=$((failures + 1))
  fi
  return 0
}

# The commands checks run; each says what it saw when it fails.

# equal ACTUAL EXPECTED
equal() {
  [ "$1" = "$2" ] && return 0
  printf "got      '%s'\nexpected '%s'\n" "$1" "$2"
  return 1
}
# differ ACTUAL UNWANTED
differ() {
  [ "$1" != "$2" ] && return 0
  printf "got '%s', which it must not be\n" "$1"
  return 1
}
# matches TEXT EXTENDED-REGEX : some line of the text matches.
matches() {
  grep -Eq -- "$2" <<< "$1" && return 0
  printf "no line matches '%s' in:\n%s\n" "$2" "$1"
  return 1
}
# between NUMBER LOW HIGH : an integer within LOW..HIGH.
between() {
  [[ "$1" =~ ^-?[0-9]+$ ]] && [ "$1" -ge "$2" ] && [ "$1" -le "$3" ] && return 0
  echo "got '$1', not within $2..$3"
  return 1
}
# below NUMBER LIMIT, above NUMBER LIMIT
below() {
  [[ "$1" =~ ^-?[0-9]+$ ]] && [ "$1" -lt "$2" ] && return 0
  echo "got '$1', not below $2"
  return 1
}
above() {
  [[ "$1" =~ ^-?[0-9]+$ ]] && [ "$1" -gt "$2" ] && return 0
  echo "got '$1', not above $2"
  return 1
}
# has_line FILE EXTENDED-REGEX : a line of the file matches.
has_line() {
  grep -Eq -- "$2" "$1" 2>/dev/null && return 0
  if [ -f "$1" ]; then
    echo "no line of $1 matches '$2'; its last lines:"
    tail -n 15 "$1"
  else
    echo "no file $1"
  fi
  return 1
}
# lacks_line FILE EXTENDED-REGEX : no line of the file matches (a missing
# file has none).
lacks_line() {
  ! grep -Eq -- "$2" "$1" 2>/dev/null && return 0
  echo "lines of $1 that match '$2':"
  grep -E -- "$2" "$1"
  return 1
}

# write_ini FILE LINE... : a file of these lines ("[Section]", "Key=value").
write_ini() {
  local file=$1
  shift
  printf '%s\n' "$@" > "$file"
}

new_pdfs() { find "$ZV_PDF_DIR" -maxdepth 1 -name '*.pdf' -newer "$1" 2>/dev/null; }
# count_lines TEXT : its non-empty lines.
count_lines() { printf '%s\n' "$1" | grep -c . || true; }

# cups_idle SECONDS : waits until CUPS holds no job (at most SECONDS): a
# program that has ended has handed its jobs over, and a job that is done is
# a PDF in the folder.
cups_idle() {
  local i
  for i in $(seq 1 $(($1 * 4))); do
    [ -z "$(lpstat -o 2>/dev/null)" ] && return 0
    sleep 0.25
  done
  return 1
}

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
  touch "$1"
}

# wait_pdfs MARKER SECONDS [COUNT] : new PDFs once they stop appearing (or
# once COUNT of them are there and CUPS is idle).
wait_pdfs() {
  local last="" now i n
  for i in $(seq 1 $(($2 * 2))); do
    now=$(new_pdfs "$1" | sort)
    n=$(count_lines "$now")
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
