#!/usr/bin/env bash
# The installer under Wine, in a fresh prefix of its own: silent install, the
# installed copier making the command-line copy onto the CUPS PDF printer
# through the virtual scanner, a second install of the same package, an
# upgrade to a newer package and the refused downgrade, and silent uninstall.
# Run by ctest from scripts/test, which has started the X server and CUPS.
#
#   installer.sh x64|x86 BIN_DIR PACKAGE_DIR VERSION SOURCE_DIR [COPIER32]
#
# COPIER32 (x64) is the 32-bit copier the x64 package must carry beside the
# 64-bit one, as zvcopier32.exe (the i686 build's zvcopier.exe).
#
# The prefix is a 64-bit one, as Windows is; Windows Installer and reg run
# 64-bit in it. For x86 it must get the 32-bit half (syswow64), which needs a
# machine where 32-bit Wine runs (scripts/i386-run); the program and the
# helpers of the build then run with the 32-bit loader.
set -uo pipefail
arch=$1 pkgdir=$3 version=$4 src=$5 copier32=${6:-}
source "$(dirname "$0")/e2e_lib.sh"
e2e_start "$2"
msi="$pkgdir/ZelvantorCopier-$version-$arch.msi"

wine64=/usr/lib/wine/wine64
wine=$wine64                      # the build's own programs
[ "$arch" = x86 ] && wine=/usr/lib/wine/wine
export WINEPREFIX="$work/prefix"
# No desktop entries for the shortcut in the real home folder.
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
e2e_at_exit 'WINEPREFIX="$WINEPREFIX" /usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true'

# A fresh prefix of the test's own. Wine's .NET and HTML engines are not
# installed; without the override the 32-bit half stops to offer a download.
mkdir -p "$WINEPREFIX"
WINEDLLOVERRIDES="mscoree,mshtml=" timeout 900 "$wine64" wineboot -i </dev/null >"$work/wineboot.log" 2>&1
"$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
drive_c="$WINEPREFIX/drive_c"

# Where the package must put the program: the Program Files folder of its
# own architecture (a 32-bit prefix has only the one).
if [ "$arch" = x86 ]; then
  if [ ! -d "$drive_c/windows/syswow64" ]; then
    echo "FAILED: the prefix has no 32-bit half: 32-bit Wine does not run here (see scripts/i386-run)"
    exit 1
  fi
  programs="$drive_c/Program Files (x86)/Zelvantor Copier"
  system="$drive_c/windows/syswow64"
else
  programs="$drive_c/Program Files/Zelvantor Copier"
  system="$drive_c/windows/system32"
fi
program="$programs/zvcopier.exe"
settings='HKCU\Software\Zelvantor\Copier'

msiexec() { # msiexec /i|/x PACKAGE : prints the exit code
  timeout 300 "$wine64" msiexec "$1" "$(winepath_w "$2")" /qn </dev/null >/dev/null 2>&1; echo $?
}
table() { msiinfo export "$1" "$2" | tr -d '\r'; }
property() { table "$1" Property | awk -F'\t' -v k="$2" '$1 == k { print $2 }'; }
# The programs list: "DisplayName|DisplayVersion|product code" of each entry
# named Zelvantor Copier.
# Both registry views: a 32-bit package's entry might be kept in either.
installed_entries() {
  { "$wine64" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s
    "$wine64" reg query 'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall' /s
  } 2>/dev/null | tr -d '\r' |
    awk 'function out() { if (n == "Zelvantor Copier") print n "|" v "|" k }
         /^HKEY/ { out(); n = ""; v = ""; k = $0; sub(/.*\\/, "", k) }
         $1 == "DisplayName" { n = substr($0, index($0, "REG_SZ") + 10) }
         $1 == "DisplayVersion" { v = substr($0, index($0, "REG_SZ") + 10) }
         END { out() }'
}
shortcuts() { find "$drive_c" -path '*Start Menu/Programs/*' -name 'Zelvantor Copier.lnk' 2>/dev/null; }
entry_of() { echo "Zelvantor Copier|$2|$(property "$1" ProductCode)"; } # PACKAGE VERSION
file_version() { "$wine" "$bin/file_version.exe" "$(winepath_w "$1")" 2>/dev/null | tr -d '\r'; }

# --- The package itself.
check "package exists ($msi)" $([ -f "$msi" ]; echo $?)
check "product name" $([ "$(property "$msi" ProductName)" = "Zelvantor Copier" ]; echo $?)
check "product version is the build's $version ($(property "$msi" ProductVersion))" \
  $([ "$(property "$msi" ProductVersion)" = "$version" ]; echo $?)
folder=ProgramFilesFolder; [ "$arch" = x64 ] && folder=ProgramFiles64Folder
check "the program's folder lies in $folder" \
  $(table "$msi" Directory | grep -q "^INSTALLDIR	$folder	Zelvantor Copier" ; echo $?)

# --- The portable archive beside it: one folder, the build's program (the
# x64 one with the 32-bit copier beside it) and a text for Notepad naming
# the source manager this build needs.
zip="$pkgdir/ZelvantorCopier-$version-$arch.zip"
listing=$(unzip -Z1 "$zip" 2>/dev/null | grep -v '/$' | sort | tr '\n' ' ')
expected="Zelvantor Copier/README.txt Zelvantor Copier/zvcopier.exe "
[ "$arch" = x64 ] && expected+="Zelvantor Copier/zvcopier32.exe "
check "archive: the programs and the text (got '$listing')" $([ "$listing" = "$expected" ]; echo $?)
check "archive: the program is the build's" \
  $(unzip -p "$zip" "Zelvantor Copier/zvcopier.exe" | cmp -s - "$bin/zvcopier.exe"; echo $?)
text=$(unzip -p "$zip" "Zelvantor Copier/README.txt")
manager=TWAIN_32.DLL; [ "$arch" = x64 ] && manager=TWAINDSM.DLL
check "archive: the text names $manager" $(grep -q "$manager" <<< "$text"; echo $?)
check "archive: the text is of this build only, with CR LF line ends" \
  $(! grep -q '^x[68][64]|' <<< "$text" && [ "$(grep -c $'\r$' <<< "$text")" = "$(grep -c '' <<< "$text")" ]; echo $?)
if [ "$arch" = x64 ]; then
  check "archive: the 32-bit copier is the i686 build's ($copier32)" \
    $([ -f "$copier32" ] && unzip -p "$zip" "Zelvantor Copier/zvcopier32.exe" | cmp -s - "$copier32"; echo $?)
  check "archive: the text tells what zvcopier32.exe is for" \
    $(tr -d '\r' <<< "$text" | tr '\n' ' ' | grep -q 'finds no scanner it can reach, it starts zvcopier32.exe'; echo $?)
fi

# --- Silent install.
code=$(msiexec /i "$msi")
check "install: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
check "install: program in $programs" $([ -f "$program" ]; echo $?)
check "install: the program is the build's" $(cmp -s "$program" "$bin/zvcopier.exe"; echo $?)
v=$(file_version "$program")
check "install: file version $version (got '$v')" $([ "$v" = "$version" ]; echo $?)
entries=$(installed_entries)
if [ "$arch" = x64 ]; then
  check "install: the 32-bit copier beside the program, the i686 build's" \
    $([ -f "$copier32" ] && cmp -s "$programs/zvcopier32.exe" "$copier32"; echo $?)
  v=$(file_version "$programs/zvcopier32.exe")
  check "install: zvcopier32.exe has file version $version (got '$v')" $([ "$v" = "$version" ]; echo $?)
fi
check "install: one programs-list entry, version $version (got '$entries')" \
  $([ "$entries" = "$(entry_of "$msi" "$version")" ]; echo $?)
lnk=$(shortcuts)
check "install: one Start-menu shortcut (got '$lnk')" $([ -n "$lnk" ] && [ "$(printf '%s\n' "$lnk" | wc -l)" = 1 ]; echo $?)
if [ -n "$lnk" ]; then
  lnk=$(printf '%s\n' "$lnk" | head -n1)
  target="C:\\${program#"$drive_c/"}"; target=${target//\//\\}
  check "shortcut: target $target" $(strings -a "$lnk" | grep -qxF "$target"; echo $?)
  # The icon location is stored as UTF-16; Windows Installer keeps the icon
  # file under its own folder.
  icon=$(strings -a -el "$lnk" | grep -io 'C:\\.*copier\.ico$' | head -n1)
  icon_unix="$drive_c/${icon#?:\\}"; icon_unix=${icon_unix//\\//}
  check "shortcut: the program's icon ($icon)" $(cmp -s "$icon_unix" "$src/resources/copier.ico"; echo $?)
fi
if [ "$arch" = x64 ]; then
  dsm="$src/third_party/twaindsm-2.4.3"
  check "install: TWAINDSM.dll in the 64-bit system folder, as released" \
    $(cmp -s "$system/TWAINDSM.dll" "$dsm/win64/TWAINDSM.dll"; echo $?)
  check "install: its licence beside the program" \
    $(cmp -s "$programs/TWAINDSM-LICENSE.txt" "$dsm/license.txt"; echo $?)
fi

# --- The installed copier copies: the virtual scanner beside it, as the
# other end-to-end tests place it, and the PDF printer as the default.
cp "$bin/vscanner/TWAIN_32.DLL" "$programs/"
scanner_ini "$work/vscanner.ini" "$work/trace.log"
marker="$work/marker"; set_marker "$marker"
code=$( cd "$programs" && WINEDLLOVERRIDES="twain_32=n;winemenubuilder.exe=d" \
          ZV_VSCANNER_INI="$(winepath_w "$work/vscanner.ini")" \
          timeout 180 "$wine" zvcopier.exe copy now </dev/null >/dev/null 2>&1; echo $? )
check "copy: exit code 0" equal "$code" 0
check "copy: the scanner was driven" has_line "$work/trace.log" 'MSG_ENABLEDS'
# This run's page is the one chart page among the new PDFs (other runs on
# this machine may print on the same CUPS server meanwhile).
charts=""
for pdf in $(wait_pdfs "$marker" 60); do
  chart_page "$pdf" && charts+="$pdf"$'\n'
done
check "copy: one chart page among the new PDFs" equal "$(count_lines "$charts")" 1
[ "$(count_lines "$charts")" = 1 ] && check_chart_page "copy" "$(head -n1 <<< "$charts")"
rm -f "$programs/TWAIN_32.DLL"

# Without the virtual scanner the 64-bit copier turns to the source manager
# the package installed (Wine's own TWAIN_32.DLL has no version and is passed
# over). The manager offers Wine's camera source, which finds no camera: the
# copier says that the scanner delivered no page, and ends.
if [ "$arch" = x64 ]; then
  "$wine" "$bin/dialog_driver.exe" "Zelvantor Copier" 60000 > "$work/box.txt" 2>/dev/null &
  driver=$!
  code=$( cd "$programs" && LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 WINEDEBUG=+loaddll \
            timeout 90 "$wine" zvcopier.exe a b </dev/null >/dev/null 2>"$work/loaddll.log"; echo $? )
  wait $driver; found=$?
  check "without the virtual scanner: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
  check "without the virtual scanner: the failed scan is told ('$(tr -d '\r' < "$work/box.txt")')" \
    $([ $found = 0 ] && [ "$(tr -d '\r' < "$work/box.txt")" = "The scanner delivered no page." ]; echo $?)
  check "without the virtual scanner: the installed TWAINDSM.dll was loaded" \
    $(grep -iF 'Loaded L"C:\\windows\\system32\\TWAINDSM.DLL" at' "$work/loaddll.log" | grep -q ': native$'; echo $?)
fi
# The copy stored the copy printer it used, per user.
before=$("$wine64" reg query "$settings" /s 2>/dev/null | tr -d '\r')
check "copy: printer settings stored" $(grep -q 'DEVNAMES' <<< "$before"; echo $?)

# --- The same package again.
code=$(msiexec /i "$msi")
check "second install: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
check "second install: program intact" $(cmp -s "$program" "$bin/zvcopier.exe"; echo $?)
entries=$(installed_entries)
check "second install: still one programs-list entry (got '$entries')" \
  $([ "$entries" = "$(entry_of "$msi" "$version")" ]; echo $?)
check "second install: still one shortcut" $([ "$(shortcuts | wc -l)" = 1 ]; echo $?)

# --- Silent uninstall.
code=$(msiexec /x "$msi")
check "uninstall: exit code 0 (was $code)" $([ "$code" = 0 ]; echo $?)
check "uninstall: program folder removed" $([ ! -e "$programs" ]; echo $?)
check "uninstall: shortcut removed (left: '$(shortcuts)')" $([ -z "$(shortcuts)" ]; echo $?)
check "uninstall: programs-list entry removed" $([ -z "$(installed_entries)" ]; echo $?)
# The manager is the machine's once there: other programs may load it
# (tests/e2e/installer_keeps_manager.sh has the ones a driver brought).
[ "$arch" = x64 ] &&
  check "uninstall: TWAINDSM.dll left in the system folder" \
    $(cmp -s "$system/TWAINDSM.dll" "$src/third_party/twaindsm-2.4.3/win64/TWAINDSM.dll"; echo $?)
after=$("$wine64" reg query "$settings" /s 2>/dev/null | tr -d '\r')
check "uninstall: printer settings left as they were" $([ -n "$before" ] && [ "$after" = "$before" ]; echo $?)

# --- Upgrade: a package of the same upgrade code and the same version (a
# rebuild, or the other architecture's: each has a product code of its own)
# replaces this one, a newer one replaces that, and this one then refuses to
# replace the newer. Both are made from this build's staged files as the
# build makes its own package.
IFS=. read -r major minor build _ <<< "$version"
newer_version="$major.$minor.$((build + 1)).0"
rebuilt="$work/rebuilt.msi" newer="$work/newer.msi"
bash "$src/packaging/make_msi.sh" "$pkgdir/stage-$arch" "$arch" "$version" "$rebuilt" >/dev/null 2>&1
bash "$src/packaging/make_msi.sh" "$pkgdir/stage-$arch" "$arch" "$newer_version" "$newer" >/dev/null 2>&1
check "upgrade: rebuilt and newer ($newer_version) packages made" $([ -f "$rebuilt" ] && [ -f "$newer" ]; echo $?)
check "upgrade: one upgrade code, three product codes" \
  $([ -n "$(property "$msi" UpgradeCode)" ] &&
    [ "$(property "$rebuilt" UpgradeCode)" = "$(property "$msi" UpgradeCode)" ] &&
    [ "$(property "$newer" UpgradeCode)" = "$(property "$msi" UpgradeCode)" ] &&
    [ "$(for m in "$msi" "$rebuilt" "$newer"; do property "$m" ProductCode; done | sort -u | wc -l)" = 3 ]; echo $?)
code=$(msiexec /i "$msi")
check "upgrade: this package installed again (exit code $code)" $([ "$code" = 0 ]; echo $?)
code=$(msiexec /i "$rebuilt")
check "upgrade: rebuilt package installed (exit code $code)" $([ "$code" = 0 ]; echo $?)
entries=$(installed_entries)
check "upgrade: only the rebuilt in the programs list (got '$entries')" \
  $([ "$entries" = "$(entry_of "$rebuilt" "$version")" ]; echo $?)
code=$(msiexec /i "$newer")
check "upgrade: newer package installed (exit code $code)" $([ "$code" = 0 ]; echo $?)
entries=$(installed_entries)
check "upgrade: only the newer in the programs list (got '$entries')" \
  $([ "$entries" = "$(entry_of "$newer" "$newer_version")" ]; echo $?)
check "upgrade: program present" $([ -f "$program" ]; echo $?)
check "upgrade: one shortcut" $([ "$(shortcuts | wc -l)" = 1 ]; echo $?)
code=$(msiexec /i "$msi")
check "downgrade: refused (exit code $code)" $([ "$code" != 0 ]; echo $?)
entries=$(installed_entries)
check "downgrade: the newer stays (got '$entries')" \
  $([ "$entries" = "$(entry_of "$newer" "$newer_version")" ]; echo $?)
code=$(msiexec /x "$newer")
check "upgrade: newer uninstalled (exit code $code)" $([ "$code" = 0 ]; echo $?)
check "upgrade: nothing left in $programs" $([ ! -e "$programs" ] && [ -z "$(shortcuts)" ] && [ -z "$(installed_entries)" ]; echo $?)

e2e_finish
