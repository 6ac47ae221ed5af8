#!/usr/bin/env bash
# Runs one fuzz target: run_target.sh <binary> <target folder> [seconds].
# First every kept regression input and every seed, once each; then
# fuzzing from the seeds for the given seconds (ZV_FUZZ_SECONDS, default
# 10). The committed folders are never written: new inputs go to a scratch
# corpus, and a crash is saved there and named in the output.
set -euo pipefail
binary=$1
dir=$2
seconds=${3:-${ZV_FUZZ_SECONDS:-10}}
name=$(basename "$dir")
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zv-$name.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

inputs=()
for sub in regressions seeds; do
  [ -d "$dir/$sub" ] || continue
  while IFS= read -r -d '' f; do inputs+=("$f"); done < <(find "$dir/$sub" -type f -print0 | sort -z)
done
if [ ${#inputs[@]} -gt 0 ]; then
  echo "fuzz: $name: ${#inputs[@]} kept inputs"
  if ! "$binary" -runs=1 "${inputs[@]}" >"$scratch/kept.log" 2>&1; then
    tail -n 60 "$scratch/kept.log"
    echo "fuzz: $name: a kept input fails"
    exit 1
  fi
fi

[ "$seconds" -gt 0 ] || exit 0
mkdir -p "$scratch/corpus" "$scratch/crash"
[ -d "$dir/seeds" ] && cp "$dir/seeds/"* "$scratch/corpus/" 2>/dev/null || true
keep=${ZV_FUZZ_ARTIFACTS:-$(dirname "$scratch")/zv-fuzz-findings/$name}
mkdir -p "$keep"
echo "fuzz: $name: $seconds s"
if ! "$binary" -max_total_time="$seconds" -max_len=8192 -timeout=20 -rss_limit_mb=1536 \
     -artifact_prefix="$keep/" -print_final_stats=1 "$scratch/corpus" >"$scratch/log" 2>&1; then
  tail -n 60 "$scratch/log"
  echo "fuzz: $name: FINDING kept in $keep (add it to $dir/regressions and mend the code)"
  exit 1
fi
grep -E '^(stat::number_of_executed_units|stat::new_units_added)' "$scratch/log" || true
