#!/usr/bin/env bash
# Runs bench_copy (one A4 copy at 600 dpi, colour and black and white) in
# a Wine prefix of its own, with CUPS's PDF printer as the default printer.
# Build first: scripts/build x86_64. Prints the figures; no pass or fail
# beyond a copy that did not go through. Each kind is copied on both roads
# of the page drawing (one call, bands), after a warm-up: each run prints six
# real pages (three of them from 100 MB colour scans) into the shared PDF
# folder: not while tests that count PDFs are running on the same CUPS server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/env.sh"
build_root=${ZV_BUILD_ROOT:-$root/build}
zv_env_start "$build_root/wine/bench-prefix"
echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores; load $(cut -d' ' -f1-3 /proc/loadavg)"
cd "$build_root/x86_64/bin"
"$ZV_WINE" bench_copy.exe
