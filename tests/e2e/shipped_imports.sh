#!/usr/bin/env bash
# What the shipped files import, for one build: its zvcopier.exe, and every
# program or DLL inside its installer and its portable archive (whatever
# they carry: each file that begins as a Windows image does, whatever its
# name). Each must import only Windows' own DLLs that no folder can stand in
# for (tools/pe_imports/allowed_dlls.cpp): Wine has DLLs Windows lacks, so a
# run under Wine cannot show that the program starts on Windows, the import
# table can.
#
#   shipped_imports.sh x64|x86 BIN_DIR PACKAGE_DIR VERSION [EMULATOR...]
#
# EMULATOR runs the build's pe_imports.exe (the cross-compiling emulator).
set -uo pipefail
arch=$1 bin=$2 pkgdir=$3 version=$4
shift 4
emulator=("$@")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/env.sh"
source "$here/checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

msi="$pkgdir/ZelvantorCopier-$version-$arch.msi"
zip="$pkgdir/ZelvantorCopier-$version-$arch.zip"
mkdir -p "$work/msi" "$work/zip"
check "installer unpacked ($msi)" \
  $([ -f "$msi" ] && msiextract -C "$work/msi" "$msi" >/dev/null 2>&1; echo $?)
check "archive unpacked ($zip)" $([ -f "$zip" ] && unzip -q "$zip" -d "$work/zip"; echo $?)

# images FOLDER: every file in it that begins with "MZ".
images() {
  find "$1" -type f -print0 | while IFS= read -r -d '' f; do
    [ "$(head -c 2 "$f")" = MZ ] && printf '%s\n' "$f"
  done
}
files=("$bin/zvcopier.exe")
for part in msi zip; do
  mapfile -t found < <(images "$work/$part" | sort)
  # A package that lost its program would leave nothing to look at.
  check "$part: holds zvcopier.exe (images: ${found[*]##*/})" \
    $(printf '%s\n' "${found[@]}" | grep -q '/zvcopier\.exe$'; echo $?)
  files+=("${found[@]}")
done

paths=()
for f in "${files[@]}"; do paths+=("$(winepath_w "$f")"); done
timeout 300 "${emulator[@]}" "$bin/pe_imports.exe" "${paths[@]}" >"$work/report" 2>&1 </dev/null
status=$?
report=$(tr -d '\r' < "$work/report")
printf '%s\n' "$report"
read_all=0
for p in "${paths[@]}"; do grep -qF "$p:" <<< "$report" || read_all=1; done
check "each image was read" $read_all
check "every shipped image imports only Windows' own DLLs (${#files[@]} images)" $status

echo "$passed passed, $failures failed"
[ $failures -eq 0 ]
