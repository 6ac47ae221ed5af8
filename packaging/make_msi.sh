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
  # The source manager in the system folder is the machine's, not ours:
  # scanner drivers' own setups put one there too, most of them without
  # Windows Installer or under another component, and every 64-bit TWAIN
  # program on the machine loads it. Windows Installer counts only the
  # products that installed this component, so removing the copier would
  # delete a TWAINDSM.dll they brought, before us or after us. A shared-file
  # count alone does not stop that: where a setup left the file uncounted,
  # the installer starts the count at 1 and deletes the file at 0. So the
  # component is permanent (16): uninstalling never removes the manager,
  # which stays behind like the runtimes other setups leave. It also keeps
  # the shared-file count (8), so that a driver setup that counts does not
  # delete the manager on its own removal while the copier needs it. wixl
  # has neither attribute.
  read -r dsm_attributes < <(msiinfo export "$msi" Component | tr -d '\r' |
    awk -F'\t' '$1 == "TwainDsm64" { print $4 }')
  if [ -z "$dsm_attributes" ]; then
    echo "make_msi: no TwainDsm64 component in $msi" >&2
    exit 1
  fi
  msibuild "$msi" \
    -q "UPDATE \`Component\` SET \`Attributes\`=$((dsm_attributes | 16 | 8)) WHERE \`Component\`='TwainDsm64'"
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
