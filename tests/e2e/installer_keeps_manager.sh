#!/usr/bin/env bash
# The x64 installer and a TWAINDSM.dll that was in the system folder before
# it, as a scanner driver's own setup leaves one: installing and removing the
# copier leaves a manager there, so that the machine's other 64-bit TWAIN
# programs go on scanning. In a fresh 64-bit prefix of the test's own, run by
# ctest from scripts/test (x86_64 build).
#
#   installer_keeps_manager.sh BIN_DIR PACKAGE_DIR VERSION SOURCE_DIR
#
# Two managers stand for what a driver may have brought: a newer one (a tiny
# manager of version 9.9.0.0), which the installer must not touch at all, and
# an older one (1.7.0.0), which it replaces by its own 2.4.3 as Windows
# Installer's version rules say, and which must then stay as well.
set -uo pipefail
bin=$1 pkgdir=$2 version=$3 src=$4
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/env.sh"
source "$here/checks.sh"
msi="$pkgdir/ZelvantorCopier-$version-x64.msi"
ours="$src/third_party/twaindsm-2.4.3/win64/TWAINDSM.dll"
work=$(mktemp -d)
wine64=/usr/lib/wine/wine64
export WINEPREFIX="$work/prefix"
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
cleanup() {
  WINEPREFIX="$WINEPREFIX" /usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$WINEPREFIX"
WINEDLLOVERRIDES="mscoree,mshtml=" timeout 900 "$wine64" wineboot -i </dev/null >"$work/wineboot.log" 2>&1
system="$WINEPREFIX/drive_c/windows/system32"
check "a fresh prefix without a TWAINDSM.dll" $([ ! -e "$system/TWAINDSM.dll" ]; echo $?)

msiexec() { # msiexec /i|/x : prints the exit code
  timeout 300 "$wine64" msiexec "$1" "$(winepath_w "$msi")" /qn </dev/null >/dev/null 2>&1; echo $?
}
file_version() { "$wine64" "$bin/file_version.exe" "$(winepath_w "$1")" 2>/dev/null | tr -d '\r'; }
# The legacy count Windows keeps for shared files, which other setups read.
shared_count() {
  "$wine64" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs' 2>/dev/null |
    tr -d '\r' | grep -i 'system32\\TWAINDSM\.dll' | awk '{ print $NF }'
}

# case NAME BEFORE-FILE AFTER-INSTALL-FILE: the manager a driver left, and the
# one that must be there once the copier is installed (and removed again).
case_() {
  local name=$1 before=$2 installed=$3 code
  cp "$before" "$system/TWAINDSM.dll"
  code=$(msiexec /i)
  check "$name: install: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
  check "$name: after install the system folder holds $(file_version "$installed") (has '$(file_version "$system/TWAINDSM.dll")')" \
    $(cmp -s "$system/TWAINDSM.dll" "$installed"; echo $?)
  local count
  count=$(shared_count)
  check "$name: after install a shared-file count holds the manager (got '$count')" \
    $([ -n "$count" ] && [ "$((count))" -ge 1 ]; echo $?)
  code=$(msiexec /x)
  check "$name: uninstall: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
  check "$name: uninstall: the copier is gone" \
    $([ ! -e "$WINEPREFIX/drive_c/Program Files/Zelvantor Copier/zvcopier.exe" ]; echo $?)
  check "$name: uninstall left the manager in place ($(file_version "$system/TWAINDSM.dll"))" \
    $(cmp -s "$system/TWAINDSM.dll" "$installed"; echo $?)
}

check "package exists ($msi)" $([ -f "$msi" ]; echo $?)
case_ "a newer manager before us" "$bin/zvtw_v9900.dll" "$bin/zvtw_v9900.dll"
case_ "an older manager before us" "$bin/zvtw_v1700.dll" "$ours"

echo "$passed passed, $failures failed"
[ $failures -eq 0 ]
