#!/usr/bin/env bash
# Runs the bridge-argument fuzzer for a bounded time from the seed corpus in the repository.
# New inputs go to a temporary folder, so the repository corpus stays as it is.
#   run_bridge_args_fuzz.sh <fuzzer binary> <seed folder> [seconds]
set -euo pipefail
fuzzer=$1 seeds=$2 seconds=${3:-60}
work=$(mktemp -d "${TMPDIR:-/tmp}/bridge_args_fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
status=0
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
  -artifact_prefix="$work/" -print_final_stats=1 "$work/corpus" "$seeds" 2>&1 | tail -n 40 || status=$?
for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
  [ -e "$crash" ] || continue
  echo "failing input $(basename "$crash"):"
  od -An -tx1 -v "$crash" | head -n 40
done
exit "$status"
