#!/usr/bin/env bash
# Runs the WAV fuzzer for a bounded time from the seed corpus in the repository.
# New inputs go to a temporary folder, so the repository corpus stays as it is.
#   run_wav_fuzz.sh <fuzzer binary> <seed folder> <dictionary> [seconds]
set -euo pipefail
fuzzer=$1 seeds=$2 dict=$3 seconds=${4:-60}
work=$(mktemp -d "${TMPDIR:-/tmp}/wav_fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
status=0
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
  -dict="$dict" -artifact_prefix="$work/" -print_final_stats=1 "$work/corpus" "$seeds" 2>&1 | tail -n 40 || status=$?
for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
  [ -e "$crash" ] || continue
  echo "failing input $(basename "$crash"):"
  od -An -tx1 -v "$crash" | head -n 40
done
exit "$status"
