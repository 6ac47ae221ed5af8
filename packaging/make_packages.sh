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

# pe_version FILE: the file version of a Windows program or DLL, read from the
# fixed part of its version resource (signature 0xFEEF04BD and struct version
# 0x00010000, then the version as two 32-bit little-endian words). The struct
# version is part of the pattern, so that code comparing with the signature
# is not taken for the resource.
pe_version() {
  local at words
  at=$(LC_ALL=C grep -obUaP '\xBD\x04\xEF\xFE\x00\x00\x01\x00' "$1" | head -n1 | cut -d: -f1)
  [ -n "$at" ] || return 1
  read -r -a words < <(od -An -tu2 -j $((at + 8)) -N 8 "$1")
  echo "${words[1]}.${words[0]}.${words[3]}.${words[2]}"
}

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

# The installer. wixl leaves the File table's versions empty, which would make
# Windows Installer treat the program and the manager as unversioned files
# (an older TWAINDSM.dll on the machine would then win over ours): fill them
# in, and drop the hashes that only unversioned files carry.
msi="$out/$name.msi"
(cd "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -o "$msi" zvcopier.wxs)
set_file_version() { # KEY FILE
  local v
  v=$(pe_version "$2")
  msibuild "$msi" \
    -q "UPDATE \`File\` SET \`Version\`='$v', \`Language\`='1033' WHERE \`File\`='$1'" \
    -q "DELETE FROM \`MsiFileHash\` WHERE \`File_\`='$1'"
}
set_file_version zvcopier.exe "$stage/zvcopier.exe"
[ "$arch" = x64 ] && set_file_version TWAINDSM.DLL "$stage/TWAINDSM.dll"

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
