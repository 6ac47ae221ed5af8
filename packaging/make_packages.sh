#!/usr/bin/env bash
# Makes the installer (.msi, with wixl) and the portable archive (.zip) of one
# build. Run by the build (packaging/CMakeLists.txt):
#
#   make_packages.sh x64|x86 VERSION PROGRAM SOURCE_DIR TWAINDSM_DIR OUT_DIR [PROGRAM32]
#
# PROGRAM is the build's zvcopier.exe. The x64 packages carry the 32-bit
# copier as well, PROGRAM32 (the i686 build's zvcopier.exe), as
# zvcopier32.exe beside it: the 64-bit copier hands over to it when it
# reaches no scanner, as most scanner drivers are 32-bit. VERSION is the
# project's version; each program's version resource must say the same, and
# each must be built for its package's machine, or no package is made.
# Writes OUT_DIR/ZelvantorCopier-VERSION-ARCH.msi and .zip.
set -euo pipefail
arch=$1 version=$2 program=$3 src=$4 dsm=$5 out=$6 program32=${7:-}
here=$(cd "$(dirname "$0")" && pwd)
name="ZelvantorCopier-$version-$arch"

source "$here/pe_version.sh"

# check_program FILE MACHINE: the project's version, built for that machine.
check_program() {
  local v m
  if [ ! -f "$1" ]; then
    echo "make_packages: no program at '$1'" >&2
    exit 1
  fi
  v=$(pe_version "$1" || true)
  if [ "$v" != "$version" ]; then
    echo "make_packages: $1 has version '$v', the project $version" >&2
    exit 1
  fi
  m=$(pe_machine "$1" || true)
  if [ "$m" != "$2" ]; then
    echo "make_packages: $1 is built for machine '$m', this package needs $2" >&2
    exit 1
  fi
}
if [ "$arch" = x64 ]; then
  check_program "$program" 8664
  if [ -z "$program32" ]; then
    echo "make_packages: the x64 packages need the 32-bit copier (the i686 build's zvcopier.exe)" >&2
    exit 1
  fi
  check_program "$program32" 14c
else
  check_program "$program" 14c
fi

stage="$out/stage-$arch"
rm -rf "$stage"; mkdir -p "$stage"
rm -f "$out"/ZelvantorCopier-*-"$arch".msi "$out"/ZelvantorCopier-*-"$arch".zip
cp "$program" "$stage/zvcopier.exe"
cp "$src/resources/copier.ico" "$here/zvcopier.wxs" "$stage/"
crlf() { sed 's/\r*$/\r/'; } # texts for Notepad, whatever their line ends
if [ "$arch" = x64 ]; then
  cp "$program32" "$stage/zvcopier32.exe"
  cp "$dsm/win64/TWAINDSM.dll" "$stage/"
  crlf < "$dsm/license.txt" > "$stage/TWAINDSM-LICENSE.txt"
  crlf < "$here/twaindsm-notice.txt" > "$stage/TWAINDSM-NOTICE.txt"
fi

msi="$out/$name.msi"
bash "$here/make_msi.sh" "$stage" "$arch" "$version" "$msi"

# The portable archive: one folder with the program and what it needs to know.
folder="$stage/zip/Zelvantor Copier"
mkdir -p "$folder"
cp "$stage/zvcopier.exe" "$folder/"
if [ "$arch" = x64 ]; then cp "$stage/zvcopier32.exe" "$folder/"; fi
# Lines of the text marked "x64| " or "x86| " belong to that build only (a
# mark alone: an empty line of it).
other=x86; [ "$arch" = x86 ] && other=x64
sed -e "/^$other|\( \|\$\)/d" -e "s/^$arch|\( \|\$\)//" -e "s/@VERSION@/$version/g" \
  "$here/portable-readme.txt" \
  | crlf > "$folder/README.txt"
zip="$out/$name.zip"
(cd "$stage/zip" && cmake -E tar cf "$zip" --format=zip "Zelvantor Copier")
echo "$msi"
echo "$zip"
