# Sourced by scripts/test and scripts/copy: starts what running the program
# under Wine needs (an X display, CUPS with a PDF printer, a Wine prefix) and
# stops what it started when the calling script exits.
#
# After zv_env_start: DISPLAY, WINEPREFIX, WINEDEBUG, ZV_ARCH, ZV_WINE and
# ZV_PDF_DIR are exported.
#
# ZV_ARCH, x86_64 unless set before sourcing, is the architecture of the
# Windows programs to run (zv_set_arch changes it): x86_64 programs run with
# 64-bit Wine's loader, i686 programs with 32-bit Wine's, which is itself an
# i386 Linux program and runs only where scripts/i386-run provides for it.

ZV_ROOT=${ZV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
# One server for both loaders; the prefixes are looked after with the 64-bit
# loader whichever programs run in them.
ZV_WINESERVER=/usr/lib/wine/wineserver64
ZV_WINE64=/usr/lib/wine/wine64
ZV_PRINTER=${ZV_PRINTER:-ZelvantorPDF}
# A second PDF printer, never the default (a stand-in for a fax printer).
ZV_FAX_PRINTER=${ZV_FAX_PRINTER:-ZelvantorFax}
ZV_STARTED_PIDS=()
export ZV_PRINTER ZV_FAX_PRINTER

# zv_set_arch x86_64|i686: the loader for that architecture's programs.
zv_set_arch() {
  case $1 in
    x86_64) ZV_WINE=/usr/lib/wine/wine64 ;;
    i686) ZV_WINE=$ZV_ROOT/scripts/wine32 ;;
    *) echo "env: unknown architecture '$1'" >&2; return 1 ;;
  esac
  ZV_ARCH=$1
  export ZV_ARCH ZV_WINE
}
zv_set_arch "${ZV_ARCH:-x86_64}"

# Whether 32-bit Wine runs here (on this kernel or through scripts/i386-run).
zv_i386_runs() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

zv_start_xvfb() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    ZV_STARTED_PIDS+=($!)
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 100); do
      xdpyinfo >/dev/null 2>&1 && return 0
      sleep 0.1
    done
    echo "env: Xvfb on :$n did not come up" >&2
    return 1
  done
  echo "env: no free X display number" >&2
  return 1
}

zv_start_cups() {
  if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
    mkdir -p /run/cups
    cupsd </dev/null >/dev/null 2>&1
    local i
    for i in $(seq 1 100); do
      lpstat -r 2>/dev/null | grep -q 'is running' && break
      sleep 0.1
    done
  fi
  if ! lpstat -p "$ZV_PRINTER" >/dev/null 2>&1; then
    lpadmin -p "$ZV_PRINTER" -v cups-pdf:/ -E -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
  fi
  if ! lpstat -p "$ZV_FAX_PRINTER" >/dev/null 2>&1; then
    lpadmin -p "$ZV_FAX_PRINTER" -v cups-pdf:/ -E -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
  fi
  zv_add_offset_printer
  lpadmin -d "$ZV_PRINTER"
  local p
  for p in "$ZV_PRINTER" "$ZV_FAX_PRINTER"; do
    cupsenable "$p" 2>/dev/null || true
    cupsaccept "$p" 2>/dev/null || true
  done
  # cups-pdf writes into the home folder of the job's user as the system
  # knows it, whatever HOME says.
  local home
  home=$(getent passwd "$(id -un)" | cut -d: -f6)
  export ZV_PDF_DIR="${home:-${HOME:-/root}}/PDF"
}

# A PDF printer whose A4 printable area starts 10 mm from the left and
# 15 mm from the top of the sheet (physical offsets 118 and 177 at 300 dpi),
# never the default. A Wine prefix learns CUPS's printers only when it is
# made, so this runs before the prefix is.
ZV_OFFSET_PRINTER=${ZV_OFFSET_PRINTER:-ZelvantorOffset}
export ZV_OFFSET_PRINTER
zv_add_offset_printer() {
  if ! lpstat -p "$ZV_OFFSET_PRINTER" >/dev/null 2>&1; then
    local ppd
    ppd=$(mktemp --suffix=.ppd)
    sed 's|^\*ImageableArea A4/A4: .*|*ImageableArea A4/A4: "28.35 0 595 799.48"|' \
      /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd > "$ppd"
    lpadmin -p "$ZV_OFFSET_PRINTER" -v cups-pdf:/ -E -P "$ppd"
    rm -f "$ppd"
  fi
  cupsenable "$ZV_OFFSET_PRINTER" 2>/dev/null || true
  cupsaccept "$ZV_OFFSET_PRINTER" 2>/dev/null || true
}

# zv_make_prefix DIR: a prefix prepared for unattended windows, reused when
# already there. Wine lists CUPS's printers in it: a prefix that sees CUPS
# (no CUPS_SERVER of its own) but was made before the offset printer existed
# is made again.
#
# Every prefix is a 64-bit one. Made for i686 (where 32-bit programs run, see
# scripts/i386-run) it also gets the 32-bit half of 64-bit Windows
# (syswow64), so that 32-bit programs run in it as they do there, and the
# programs of both builds share one HKEY_CURRENT_USER.
zv_make_prefix() {
  local dir=$1
  if [ -f "$dir/.zv-ready" ]; then
    [ -n "${CUPS_SERVER:-}" ] && return 0
    grep -qF "Printers\\\\$ZV_OFFSET_PRINTER]" "$dir/system.reg" 2>/dev/null && return 0
  fi
  rm -rf "$dir"
  mkdir -p "$dir"
  if [ "$ZV_ARCH" = i686 ]; then
    if ! zv_i386_runs; then
      echo "env: 32-bit programs do not run here: run this under scripts/i386-run" >&2
      return 1
    fi
    # Wine's .NET and HTML engines are not installed; without the override
    # the 32-bit half stops to offer a download.
    WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="$dir" timeout 900 "$ZV_WINE64" wineboot -i \
      </dev/null >"$dir.log" 2>&1
    if [ ! -d "$dir/drive_c/windows/syswow64" ]; then
      echo "env: $dir got no 32-bit half (see $dir.log)" >&2
      return 1
    fi
  else
    WINEPREFIX="$dir" "$ZV_WINE64" wineboot -i >/dev/null 2>&1
  fi
  # Without a window manager every window close otherwise stalls for 2 s.
  WINEPREFIX="$dir" "$ZV_WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  # Caption buttons need Marlett.
  if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$dir/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  WINEPREFIX="$dir" "$ZV_WINESERVER" -w
  touch "$dir/.zv-ready"
}

zv_env_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    WINEPREFIX="$WINEPREFIX" "$ZV_WINESERVER" -k >/dev/null 2>&1 || true
  fi
  local pid
  for pid in "${ZV_STARTED_PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  # cupsd stays: other runs on this machine may be printing through it.
}

# zv_env_start PREFIXDIR
zv_env_start() {
  export WINEDEBUG=${WINEDEBUG:--all}
  # The display must exist before the first Wine process of a prefix.
  zv_start_xvfb
  zv_start_cups
  zv_make_prefix "$1"
  export WINEPREFIX="$1"
  trap zv_env_stop EXIT
  # Keep one wineserver alive so that each test process starts quickly.
  "$ZV_WINESERVER" -p >/dev/null 2>&1 </dev/null || true
  # Start Wine's own services now, detached from our output: started by the
  # first test they would inherit its pipes and keep ctest waiting forever.
  "$ZV_WINE64" wineboot </dev/null >/dev/null 2>&1 || true
}

# winepath_w UNIXPATH: the same file as Wine's programs see it (drive Z:).
winepath_w() {
  local p
  p=$(realpath -m "$1")
  printf 'Z:%s\n' "${p//\//\\}"
}
