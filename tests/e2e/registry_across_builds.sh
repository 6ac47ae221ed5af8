#!/usr/bin/env bash
# The stored printers, written by one build of the copier and read by the
# other, as a user with both builds meets them on 64-bit Windows: there the
# 32-bit and the 64-bit program see the same HKEY_CURRENT_USER\Software
# (that part of the registry is not redirected for 32-bit programs). Runs in
# the i686 test prefix, which has the 32-bit half of 64-bit Windows, so that
# both programs run in one prefix and one registry.
#
#   registry_across_builds.sh I686_BIN_DIR X86_64_BIN_DIR
#
# For each direction: the writer, finding nothing stored, takes the default
# printer and stores it; the stored entry is then turned to the second
# printer (a name of the same length, changed in place in the writer's
# DEVMODEW and DEVNAMES, its 84-byte PRINTDLGEXW image left as written); the
# reader must take it as it stands, print there and store nothing. A reader
# that refused anything of the writer's entry would fall back to the default
# printer and store that instead.
set -uo pipefail
bin32=$1
bin64=$2
source "$(dirname "$0")/e2e_lib.sh"
if [ ! -f "$bin64/zvcopier.exe" ]; then
  echo "no x86_64 build at $bin64: nothing to compare with"
  exit 77
fi
if ! zv_i386_runs; then
  echo "32-bit programs do not run here (scripts/i386-run)"
  exit 1
fi
e2e_start "$bin32"
key='HKCU\Software\Zelvantor\Copier'
# Whatever the other tests stored stays theirs.
"$ZV_WINE64" reg export "$key" "$(winepath_w "$work/saved.reg")" /y >/dev/null 2>&1 ||
  rm -f "$work/saved.reg"
e2e_at_exit '"$ZV_WINE64" reg delete "$key" /f >/dev/null 2>&1
  [ -f "$work/saved.reg" ] && "$ZV_WINE64" reg import "$(winepath_w "$work/saved.reg")" >/dev/null 2>&1'

# loader ARCH: the Wine loader of that build's programs.
loader() { (zv_set_arch "$1" && echo "$ZV_WINE"); }
bin_of() { if [ "$1" = i686 ]; then echo "$bin32"; else echo "$bin64"; fi; }

# utf16_hex TEXT: the text as UTF-16LE, in the upper-case hex reg prints.
utf16_hex() {
  local s=$1 i out=""
  for ((i = 0; i < ${#s}; i++)); do
    out+=$(printf '%02X00' "'${s:i:1}")
  done
  echo "$out"
}

# reg_value INDEX NAME: the hex of a REG_BINARY value; empty when missing.
reg_value() {
  "$ZV_WINE64" reg query "$key\\$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v n="$2" '$1 == n && $2 == "REG_BINARY" { print $3 }'
}
# reg_dump INDEX: every value of the key, as reg lists them.
reg_dump() { "$ZV_WINE64" reg query "$key\\$1" 2>/dev/null | tr -d '\r' | grep REG_; }
reg_set() { "$ZV_WINE64" reg add "$key\\$1" /v "$2" /t REG_BINARY /d "$3" /f >/dev/null 2>&1; }

# run_copier ARCH DIR : a command-line copy by that build; prints its exit code.
run_copier() {
  local arch=$1 dir=$2
  mkdir -p "$dir"
  cp "$(bin_of "$arch")/zvcopier.exe" "$(bin_of "$arch")/vscanner/TWAIN_32.DLL" "$dir/"
  scanner_ini "$dir/vscanner.ini" "$dir/trace.log"
  ( cd "$dir" && WINEDLLOVERRIDES="twain_32=n" ZV_VSCANNER_INI="$(winepath_w "$dir/vscanner.ini")" \
      timeout 300 "$(loader "$arch")" zvcopier.exe a b >/dev/null 2>&1 ); echo $?
}

# completed_jobs PRINTER: the ids of the printer's completed jobs.
completed_jobs() {
  lpstat -W completed -o "$1" 2>/dev/null | awk '{ print $1 }' | sort
}
# wait_new_job PRINTER BEFORE-LIST : the printer's jobs that were not there
# before, once one has completed (at most 60 s).
wait_new_job() {
  local i new
  for i in $(seq 1 120); do
    new=$(comm -13 <(echo "$2") <(completed_jobs "$1"))
    [ -n "$new" ] && break
    sleep 0.5
  done
  echo "$new"
}

pdf_hex=$(utf16_hex "$ZV_PRINTER")
fax_hex=$(utf16_hex "$ZV_FAX_PRINTER")
if [ ${#pdf_hex} -ne ${#fax_hex} ]; then
  echo "the two printer names must be of one length: '$ZV_PRINTER', '$ZV_FAX_PRINTER'"
  exit 1
fi

declare -A image_of
for pair in "i686 x86_64" "x86_64 i686"; do
  read -r writer reader <<< "$pair"
  "$ZV_WINE64" reg delete "$key" /f >/dev/null 2>&1

  # --- The writer stores the default printer.
  before=$(completed_jobs "$ZV_PRINTER")
  code=$(run_copier "$writer" "$work/$writer-writes")
  check "$writer writes: exit code 0" equal "$code" 0
  new=$(wait_new_job "$ZV_PRINTER" "$before")
  check "$writer writes: printed on $ZV_PRINTER" differ "$new" ""
  image=$(reg_value 0 PRINTDLGEXW)
  devmode=$(reg_value 0 DEVMODEW)
  devnames=$(reg_value 0 DEVNAMES)
  image_of[$writer]=$image
  check "$writer writes: an 84-byte PRINTDLGEXW (168 hex digits)" equal "${#image}" 168
  check "$writer writes: its lStructSize says 84" equal "${image:0:8}" 54000000
  check "$writer writes: DEVNAMES names $ZV_PRINTER" matches "$devnames" "$pdf_hex"
  check "$writer writes: DEVMODEW names $ZV_PRINTER" equal "${devmode:0:${#pdf_hex}}" "$pdf_hex"

  # --- Turned to the second printer, the image as the writer wrote it.
  reg_set 0 DEVMODEW "${devmode//$pdf_hex/$fax_hex}"
  reg_set 0 DEVNAMES "${devnames//$pdf_hex/$fax_hex}"
  stored=$(reg_dump 0)
  check "$writer writes: the entry now names $ZV_FAX_PRINTER" matches "$(reg_value 0 DEVNAMES)" "$fax_hex"
  check "$writer writes: its PRINTDLGEXW as written" equal "$(reg_value 0 PRINTDLGEXW)" "$image"

  # --- The reader takes it.
  before_fax=$(completed_jobs "$ZV_FAX_PRINTER")
  code=$(run_copier "$reader" "$work/$reader-reads-$writer")
  check "$reader reads $writer's entry: exit code 0" equal "$code" 0
  new=$(wait_new_job "$ZV_FAX_PRINTER" "$before_fax")
  check "$reader reads $writer's entry: printed on $ZV_FAX_PRINTER" differ "$new" ""
  check "$reader reads $writer's entry: stored nothing over it" equal "$(reg_dump 0)" "$stored"
done

# The same situation gives the same image on both builds.
check "both builds store an image" differ "${image_of[i686]}" ""
check "both builds store the same image" equal "${image_of[i686]}" "${image_of[x86_64]}"

e2e_finish
