#!/usr/bin/env bash
# Where the copier takes its source manager from: one planted in the current
# directory or in a folder on PATH is never loaded; the one beside the
# program still is. Each case starts the program with two arguments under
# Wine with WINEDEBUG=+loaddll, which logs every DLL that loads and from
# where.
#
#   dll_search.sh BIN_DIR x86_64|i686
#
# The planted managers are the virtual scanner's TWAIN_32.DLL (a version
# resource and DSM_Entry) under either manager's name, told to offer no
# source: a copier that took one would say it found no scanner all the
# same, so the log (and the planted manager's own trace) is what tells.
#
# A planted TWAIN_32.DLL shows the search's fault only on 64-bit Windows,
# whose Windows folder holds just the 32-bit one, so that a search by name
# went on past it to the current directory and PATH; under Wine the search
# meets Wine's own twain_32 in the system folder first (no version: passed
# over). A planted TWAINDSM.DLL, which neither has, shows it here.
#
# Wine cannot show a planted version.dll: it loads its own built-in one in
# its place wherever it lies, and its user32 loads it before the program
# runs. What keeps a version.dll beside the program out on Windows is that
# the program does not import it (test_shipped_imports).
set -uo pipefail
bin=$1 arch=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/env.sh"
source "$here/checks.sh"
zv_set_arch "$arch"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

manager="$bin/vscanner/TWAIN_32.DLL"
names=(TWAIN_32.DLL)
[ "$arch" = x86_64 ] && names+=(TWAINDSM.DLL) # only 64-bit builds look for it
no_scanner=$'No scanner could be found on your system.\nIf you have one, please check if the driver is correctly installed.'

# The lines of LOG that show a DLL loaded from FOLDER (Wine writes the path
# with its backslashes doubled).
loaded_from() {
  local folder
  folder=$(winepath_w "$2" | sed 's/\\/\\\\/g')
  grep -iF "Loaded L\"$folder\\\\" "$1"
}

# new_case DIR: a fresh program folder ($prog, with the program), current
# directory ($cwd) and PATH folder ($path) for the caller to fill.
new_case() {
  case_dir="$work/$1"
  prog="$case_dir/program" cwd="$case_dir/cwd" path="$case_dir/path"
  mkdir -p "$prog" "$cwd" "$path"
  cp "$bin/zvcopier.exe" "$prog/"
  printf '[Manager]\nSources=none\nTrace=%s\n' "$(winepath_w "$case_dir/trace.log")" \
    > "$case_dir/vscanner.ini"
}
# run_case NAME: runs the program from $cwd with $path on PATH and checks
# what every case must show; the log is left in $log.
run_case() {
  local name=$1
  "$ZV_WINE" "$bin/dialog_driver.exe" "Zelvantor Copier" 60000 > "$case_dir/box.txt" 2>/dev/null &
  local driver=$!
  code=$( cd "$cwd" && LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 WINEPATH="$(winepath_w "$path")" \
            WINEDLLOVERRIDES="twain_32=n" WINEDEBUG=+loaddll \
            ZV_VSCANNER_INI="$(winepath_w "$case_dir/vscanner.ini")" \
            timeout 120 "$ZV_WINE" "$(winepath_w "$prog/zvcopier.exe")" a b \
            </dev/null >/dev/null 2>"$case_dir/loaddll.log"; echo $? )
  wait $driver; local found=$?
  log="$case_dir/loaddll.log"
  check "$name: the program ran (exit code $code)" $([ "$code" = 0 ]; echo $?)
  check "$name: it told that it found no scanner" \
    $([ $found = 0 ] && [ "$(tr -d '\r' < "$case_dir/box.txt")" = "$no_scanner" ]; echo $?)
  check "$name: nothing loaded from the current directory ($(loaded_from "$log" "$cwd" | tr -d '\n'))" \
    $(! loaded_from "$log" "$cwd" >/dev/null; echo $?)
  check "$name: nothing loaded from the PATH folder ($(loaded_from "$log" "$path" | tr -d '\n'))" \
    $(! loaded_from "$log" "$path" >/dev/null; echo $?)
}

for name in "${names[@]}"; do
  for where in cwd path; do
    new_case "$name-in-$where"
    [ $where = cwd ] && cp "$manager" "$cwd/$name"
    [ $where = path ] && cp "$manager" "$path/$name"
    run_case "$name in the $([ $where = cwd ] && echo current directory || echo PATH folder)"
    check "$name in the $where: the planted manager was never asked" \
      $([ ! -s "$case_dir/trace.log" ]; echo $?)
  done
done

# The manager beside the program is the one meant to be there: loaded and
# asked for its default source, with the planted ones still in place.
new_case beside
cp "$manager" "$prog/TWAIN_32.DLL"
for name in "${names[@]}"; do cp "$manager" "$cwd/$name"; cp "$manager" "$path/$name"; done
run_case "a manager beside the program"
check "a manager beside the program: loaded from there" \
  $(loaded_from "$log" "$prog" | grep -qi 'TWAIN_32\.DLL'; echo $?)
check "a manager beside the program: asked for its default source" \
  $(grep -q 'GETDEFAULT' "$case_dir/trace.log" 2>/dev/null; echo $?)

echo "$passed passed, $failures failed"
[ $failures -eq 0 ]
