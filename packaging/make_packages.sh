#!/usr/bin/env bash
# Makes the installer (.msi, with wixl) and the portable archive (.zip) of one
# build. Run by the build (packaging/CMakeLists.txt):
#
#   make_packages.sh x64|x86 VERSION PROGRAM SOURCE_DIR TWAINDSM_DIR OUT_DIR
#
# VERSION is the project's version; the program's version resource must say
# the same, or no package is made. Writes OUT_DIR/ZelvantorCopier-VERSION-ARCH.msi
# and .zip.
set -euo pipefail
arch=$1 version=$2 program=$3 src=$4 dsm=$5 out=$6
here=$(cd "$(dirname "$0")" && pwd)
name="ZelvantorCopier-$version-$arch"

source "$here/pe_version.sh"

program_version=$(pe_version "$program" || true)
if [ "$program_version" != "$version" ]; then
  echo "make_packages: $program has version '$program_version', the project $version" >&2
  exit 1
fi

stage="$out/stage-$arch"
rm -rf "$stage"; mkdir -p "$stage"
rm -f "$out"/ZelvantorCopier-*-"$arch".msi "$out"/ZelvantorCopier-*-"$arch".zip
cp "$program" "$stage/zvcopier.exe"
cp "$src/resources/copier.ico" "$here/zvcopier.wxs" "$stage/"
crlf() { sed 's/\r*$/\r/'; } # texts for Notepad, whatever their line ends
if [ "$arch" = x64 ]; then
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
# Lines of the text marked "x64| " or "x86| " belong to that build only.
other=x86; [ "$arch" = x86 ] && other=x64
sed -e "/^$other| /d" -e "s/^$arch| //" -e "s/@VERSION@/$version/g" "$here/portable-readme.txt" \
  | crlf > "$folder/README.txt"
zip="$out/$name.zip"
(cd "$stage/zip" && cmake -E tar cf "$zip" --format=zip "Zelvantor Copier")
echo "$msi"
echo "$zip"
