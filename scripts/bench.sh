#!/usr/bin/env bash
# Builds what the benchmarks need, runs every benchmark (bench/ and the on-request targets
# of tests/CMakeLists.txt) and prints one table: each figure beside its peer measured in
# the same run (the other transport, sox, ffmpeg, cp), their ratio and the goal. The full
# output of every benchmark is kept in the log folder it names at the end.
#   scripts/bench.sh           the full set (about half an hour on two busy cores)
#   scripts/bench.sh --quick   shorter inputs and fewer runs, a few minutes
#   scripts/bench.sh --table LOGS   the table again from the log folder of an earlier run
# Benchmarks that need root (looper volumes) run in a private mount namespace and say
# "skipped" without it. BUILD=folder picks another build tree.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${BUILD:-build}
quick=0
logs=
case "${1:-}" in
  --quick) quick=1 ;;
  --table) logs=${2:?--table needs the log folder of an earlier run} ;;
esac

if [ -z "$logs" ]; then
jobs=$(($(nproc) < 2 ? $(nproc) : 2))
targets=(tarn looper-sim paint_probe wav_bench audio_bench resample_bench ir_bench net_bench tcpip_bench fs_bench midi_bench seq_bench sampler_bench)
echo "building: ${targets[*]}" >&2
# Only the targets this tree has (an older checkout lacks the newer benchmarks).
known=$(cmake --build "$build" --target help 2>/dev/null)
have=()
for t in "${targets[@]}"; do grep -qE "^\.\.\. $t( |\$)" <<<"$known" && have+=("$t"); done
cmake --build "$build" -j"$jobs" --target "${have[@]}" >/dev/null || { echo "build failed" >&2; exit 1; }

logs=$(mktemp -d /tmp/tarn-bench.XXXXXX)
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), load $(cut -d' ' -f1-3 /proc/loadavg)" >"$logs/started"
export TARN_BIN="$root/$build/tarn" LOOPER_SIM="$root/$build/looper-sim"

# The built benchmark NAME, wherever its folder of tests/ put it.
bin() { find "$build/tests" -name "$1" -type f -perm -u+x -print -quit 2>/dev/null; }

# run NAME COMMAND...: the command's output goes to $logs/NAME.log.
run() {
  local name=$1
  shift
  if [ -z "$1" ]; then return; fi
  if [ "$1" = node ] && [ ! -e "$2" ]; then return; fi
  echo "running $name" >&2
  timeout 1800 "$@" >"$logs/$name.log" 2>&1 || echo "(exit status $?)" >>"$logs/$name.log"
}
# run_as_root NAME COMMAND...: run, in a mount namespace of its own (looper volumes).
run_as_root() {
  local name=$1
  shift
  if [ "$(id -u)" -eq 0 ]; then run "$name" tests/e2e/support/private-mounts.sh "$@"
  else echo "skipped: needs root" >"$logs/$name.log"; fi
}

if [ $quick -eq 1 ]; then
  calls=500 starts=3 wav_seconds=60 wav_runs=1 import_minutes=1
else
  calls=3000 starts=6 wav_seconds=300 wav_runs=3 import_minutes=4
fi

run view node bench/view_roundtrip.mjs "$calls" "$starts"
run http node bench/bridge_roundtrip.mjs "$calls"
run wav "$(bin wav_bench)" "$wav_seconds" "$wav_runs"
run import "$(bin audio_bench)" "$import_minutes"
run resample "$(bin resample_bench)"
run window_memory node bench/window_footprint.mjs
run ir "$(bin ir_bench)"
run fs "$(bin fs_bench)"
run net "$(bin net_bench)"
run tcpip "$(bin tcpip_bench)"
run midi "$(bin midi_bench)"
run_as_root page_device node bench/page_device_bench.mjs
run_as_root page_plugin node bench/page_plugin_bench.mjs
# Plug-in over a real USB bus, only where the rig's VM is prepared (tests/usb/README.md).
if [ -f "$build/usb-rig/ready" ] && [ "$(id -u)" -eq 0 ]; then
  run usb_plug env ROUNDS=$((quick == 1 ? 1 : 3)) bench/usb_plug_bench.sh "$build"
fi
if [ $quick -eq 0 ]; then
  run seq "$(bin seq_bench)"
  run sampler "$(bin sampler_bench)"
  run_as_root cli_import node bench/cli_import_bench.mjs
  run_as_root backup node bench/backup_bench.mjs
fi
fi

# --- the table -------------------------------------------------------------------------
# field LOG REGEX: the first capture group of the first matching line (empty when none).
field() { [ -f "$logs/$1.log" ] && sed -nE "s#.*$2.*#\1#p" "$logs/$1.log" | head -n1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b + 0 == 0) print "-"; else printf "%.2fx", a / b }'; }
row() { printf '| %-44s | %-16s | %-22s | %-7s | %-28s |\n' "$@"; }

http_median=$(field http 'median ([0-9.]+) ms')
http_p99=$(field http 'p99 ([0-9.]+) ms')
view_median=$(field view 'tarn:// scheme.*median ([0-9.]+) ms')
view_p99=$(field view 'tarn:// scheme.*p99 ([0-9.]+) ms')
plain_kept=$(field http 'one kept-alive connection: median ([0-9.]+) ms')
plain_new=$(field http 'a new connection per call: median ([0-9.]+) ms')
socket_median=$(field http 'bare socket, one connection: median ([0-9.]+) ms')
socket_p99=$(field http 'bare socket, one connection: .*p99 ([0-9.]+) ms')
first_call=$(field view 'later starts median ([0-9]+) ms')
painted=$(field window_memory 'painted: median ([0-9]+) ms')
pss_total=$(field window_memory 'PSS total: ([0-9.]+) MB')
pss_tarn=$(field window_memory 'PSS tarn: ([0-9.]+) MB')
pss_web=$(field window_memory 'PSS web process: ([0-9.]+) MB')
pss_network=$(field window_memory 'PSS network process: ([0-9.]+) MB')

echo
echo "Tarn benchmarks, started $(cat "$logs/started" 2>/dev/null), $(nproc) cores ($(sed -nE 's/^model name\s*: //p' /proc/cpuinfo | head -n1))$([ $quick -eq 1 ] && echo ', --quick')"
echo
row "figure" "Tarn" "peer (same run)" "ratio" "goal"
row "--------------------------------------------" "----------------" "----------------------" "-------" "----------------------------"
row "bridge round trip, headless HTTP: median" "${http_median:-?} ms" "window ${view_median:-?} ms" "$(ratio "$http_median" "$view_median")" "<= 0.5 ms"
row "bridge round trip, headless HTTP: p99" "${http_p99:-?} ms" "window ${view_p99:-?} ms" "$(ratio "$http_p99" "$view_p99")" "<= 2 ms"
row "bridge round trip, plain HTTP client: median" "${plain_kept:-?} ms" "new conn. ${plain_new:-?} ms" "$(ratio "$plain_kept" "$plain_new")" "-"
row "bridge round trip, bare socket: median" "${socket_median:-?} ms" "browser ${http_median:-?} ms" "$(ratio "$socket_median" "$http_median")" "<= 0.5 ms"
row "bridge round trip, bare socket: p99" "${socket_p99:-?} ms" "browser ${http_p99:-?} ms" "$(ratio "$socket_p99" "$http_p99")" "<= 2 ms"
row "bridge round trip, window tarn://: median" "${view_median:-?} ms" "HTTP ${http_median:-?} ms" "$(ratio "$view_median" "$http_median")" "<= 0.3 ms"
row "window start to first bridge call (median)" "${first_call:-?} ms" "-" "-" "-"
row "window start to page painted (median)" "${painted:-?} ms" "-" "-" "<= 800 ms"
row "window memory, PSS of every process" "${pss_total:-?} MB" "-" "-" "<= 150 MB"
row "window memory, PSS of tarn" "${pss_tarn:-?} MB" "-" "-" "<= 50 MB"
row "window memory, PSS of the web process" "${pss_web:-?} MB" "-" "-" "-"
row "window memory, PSS of the network process" "${pss_network:-?} MB" "-" "-" "-"
# wav_bench: "name MB | tarn-wall sox-wall | tarn-cpu sox-cpu | wall-ratio cpu-ratio [cp-wall]"
if [ -f "$logs/wav.log" ]; then
  while IFS='|' read -r name _ wall cpu ratios; do
    read -r tw sw <<<"$wall"
    read -r tc sc <<<"$cpu"
    read -r rw rc <<<"$ratios"
    name=${name%"${name##*[! ]}"}
    row "trnWav $name (CPU MB/s)" "$tc" "sox $sc" "${rc}x" ">= 3x sox"
    row "trnWav $name (wall MB/s)" "$tw" "sox $sw" "${rw}x" "-"
  done < <(grep -E '^(import|export) .*->' "$logs/wav.log" | sed -E 's/ +[0-9.]+ \|/ | |/')
  cp_rate=$(field wav 'copying the same bytes: ([0-9]+) MB/s')
  [ -n "$cp_rate" ] && row "copying the same file (wall MB/s)" "-" "cp $cp_rate" "-" "trnWav wall >= cp / 1.2"
fi
while read -r kind rate unit program cli r _; do
  row "import $kind $rate $unit vs ffmpeg CLI (s)" "$program" "ffmpeg $cli" "${r}x" "<= 0.8x"
done < <(grep -E '^(mp3|aac) ' "$logs/import.log" 2>/dev/null)
while read -r line; do
  row "resampling 48 -> 44.1 kHz: ${line%%:*}" "${line#*: }" "-" "-" "flat 0.01 dB, alias < -140 dB"
done < <(grep -E '^(passband|aliasing)' "$logs/resample.log" 2>/dev/null)
backup_tarn=$(field backup 'tarn backup of a full Eddy Duo .*: [0-9.]+ s, ([0-9.]+) MiB/s')
backup_plain=$(field backup 'cp -r and md5sum of the same files: [0-9.]+ s, ([0-9.]+) MiB/s')
[ -n "$backup_tarn" ] && row "backup of a full Eddy Duo (MiB/s)" "$backup_tarn" "cp+md5sum $backup_plain" "$(ratio "$backup_tarn" "$backup_plain")" ">= 0.90x"

echo
echo "Other benchmarks (figures without a goal here):"
for name in ir fs net tcpip midi page_device page_plugin usb_plug seq sampler cli_import backup; do
  [ -f "$logs/$name.log" ] || continue
  echo "  [$name]"
  grep -vE '^\s*$' "$logs/$name.log" | sed 's/^/    /' | tail -n 12
done
echo
echo "full output: $logs"
