#!/usr/bin/env bash
# run_without_printer.sh PROGRAM [ARGS...]
# Runs a Windows program under Wine in a prefix that sees no printer at all.
#
# Wine takes its printer list from CUPS (through libcups) at every process
# start and drops the printers that CUPS no longer lists. libcups honours
# CUPS_SERVER: pointed at a socket that does not exist, it reaches no server,
# and the prefix has no printer; PrintDlgW's default request then fails with
# PDERR_NODEFAULTPRN. The prefix must be a separate one: the printer list
# lives in the prefix's registry, so a single process started this way in the
# normal test prefix would take the printers away from everything else
# running there.
#
# The prefix is $ZV_NOPRINTER_PREFIX, else "$WINEPREFIX-noprinter" (beside the
# test prefix), prepared like the test prefix on first use (about 12 s).
# Every Wine process started in it must carry the same CUPS_SERVER, which is
# why this script is the way in. DISPLAY should be set (scripts/test does).
# ZV_ARCH (x86_64 unless set) is the program's architecture: for i686 the
# prefix gets its 32-bit half and the program runs with 32-bit Wine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/env.sh"

base=${WINEPREFIX:-$root/build/wine/test-prefix}
prefix=${ZV_NOPRINTER_PREFIX:-$base-noprinter}
export CUPS_SERVER=/nonexistent/zv-no-cups/cups.sock
export WINEDEBUG=${WINEDEBUG:--all}

zv_start_xvfb
zv_make_prefix "$prefix"
export WINEPREFIX="$prefix"
trap zv_env_stop EXIT
# Detached from our output, as in zv_env_start: a server or service started
# by the program itself would inherit its pipes and keep the caller waiting.
"$ZV_WINESERVER" -p >/dev/null 2>&1 </dev/null || true
"$ZV_WINE64" wineboot </dev/null >/dev/null 2>&1 || true
"$ZV_WINE" "$@"
