#!/usr/bin/env bash
# Makes the installer from a folder staged by make_packages.sh (the .wxs and
# the files it names):
#
#   make_msi.sh STAGE_DIR x64|x86 VERSION OUTPUT.msi
#
# wixl leaves some things undone that Windows Installer relies on; they are
# mended in the finished package with msibuild.
set -euo pipefail
stage=$1 arch=$2 version=$3 msi=$(realpath -m "$4")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/pe_version.sh"

rm -f "$msi"
(cd "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -o "$msi" zvcopier.wxs)

# The File table's versions are left empty, which makes the program and the
# manager unversioned files to Windows Installer (an older TWAINDSM.dll on
# the machine would then win over ours): fill them in, and drop the hashes
# that only unversioned files carry.
set_file_version() { # KEY FILE
  local v
  v=$(pe_version "$2")
  msibuild "$msi" \
    -q "UPDATE \`File\` SET \`Version\`='$v', \`Language\`='1033' WHERE \`File\`='$1'" \
    -q "DELETE FROM \`MsiFileHash\` WHERE \`File_\`='$1'"
}
set_file_version zvcopier.exe "$stage/zvcopier.exe"
if [ "$arch" = x64 ]; then
  set_file_version TWAINDSM.DLL "$stage/TWAINDSM.dll"
fi

# The upgrade wixl writes finds only older versions, so a package of the same
# version (the other architecture's, or a rebuild, each with a product code of
# its own) would install beside the one already there, both with the one
# Start-menu shortcut. Include the version itself (512: the maximum is
# inclusive); a package never finds itself. Attributes is part of the
# table's key, so the row is replaced rather than changed.
read -r code max attributes < <(msiinfo export "$msi" Upgrade | tr -d '\r' |
  awk -F'\t' '$7 == "WIX_UPGRADE_DETECTED" { print $1, $3, $5 }')
if [ -z "$code" ] || [ -z "$attributes" ]; then
  echo "make_msi: no upgrade of older versions in $msi" >&2
  exit 1
fi
msibuild "$msi" \
  -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\`='WIX_UPGRADE_DETECTED'" \
  -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$code', '$max', $((attributes | 512)), 'WIX_UPGRADE_DETECTED')"
