#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build over its committed seed corpus.
# Usage: scripts/fuzz.sh <fuzz build folder> [seconds per target]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
seconds=${2:-30}
status=0
for target in $(cat "$build/fuzzers.txt"); do
  corpus=fuzz/corpus/$target
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  echo "-- $target (${seconds}s)"
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=0 -rss_limit_mb=2048 \
        -artifact_prefix="$build/$target-" "$work" >"$build/$target.log" 2>&1; then
    echo "fuzz target $target failed:"; tail -n 60 "$build/$target.log"; status=1
  else
    grep -E '^Done [0-9]+ runs' "$build/$target.log" | tail -n 1 || true
  fi
  rm -rf "$work"
done
exit $status
