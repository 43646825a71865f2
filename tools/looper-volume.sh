#!/usr/bin/env bash
# The storage side of a Corvane looper, for trying Tarn and for its tests: a small ext4
# image with the looper's volume label and its CORVANE/WAVE/MMM_T track folders,
# loop-mounted where you say. Needs root (mount). The MIDI side is tools/looper-sim.
#
#   tools/looper-volume.sh mount MODEL MOUNTPOINT [--label LABEL] [--size MIB] [--owner UID:GID]
#   tools/looper-volume.sh unmount MOUNTPOINT
#   tools/looper-volume.sh models
#
# MODEL is a model's name or volume label as Tarn knows them ("Eddy Duo", "POOL_BANKS";
# `models` lists them). --label gives the volume another label (an empty one too), for
# a looper that Tarn has to recognise by its folders. --owner hands the files to that
# user (default: the user who ran sudo, if any). The image lives next to the mount
# point as MOUNTPOINT.img and is removed by `unmount`, which also copes with a volume
# Tarn has already released.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
models_js="$root/page/js/tarn/models.js"

die() { echo "looper-volume: $*" >&2; exit 1; }

# Prints "tracks memories volName" of a model, from the page's own table.
model_layout() {
  node -e '
    const m = require(process.argv[1]);
    const want = process.argv[2];
    const row = m.compatibleInstruments.find((r) => r.name === want || r.volName === want);
    if (!row) process.exit(3);
    console.log(row.numofTrackParMem, row.numofMemParBank * row.numofBank, row.volName);
  ' "$models_js" "$1" || die "unknown model '$1' (see: $0 models)"
}

list_models() {
  node -e '
    const m = require(process.argv[1]);
    for (const r of m.compatibleInstruments) {
      const kind = r.midi ? "MIDI port \"" + r.midi.portName + "\", model ID " + r.midi.modelID : "storage only";
      console.log([r.name, r.volName, r.numofTrackParMem + " x " + r.numofMemParBank * r.numofBank, r.wave.bits + "-bit", kind].join("\t"));
    }
  ' "$models_js"
}

do_mount() {
  [ $# -ge 2 ] || die "usage: mount MODEL MOUNTPOINT [--label LABEL] [--size MIB] [--owner UID:GID]"
  local model=$1 point=$2
  shift 2
  local label="" label_set=0 size=32 owner=""
  [ -n "${SUDO_UID:-}" ] && owner="$SUDO_UID:${SUDO_GID:-$SUDO_UID}"
  while [ $# -gt 0 ]; do
    case $1 in
      --label) label=$2; label_set=1; shift 2 ;;
      --size) size=$2; shift 2 ;;
      --owner) owner=$2; shift 2 ;;
      *) die "unknown option $1" ;;
    esac
  done
  [ "$(id -u)" -eq 0 ] || die "mounting needs root"
  read -r tracks memories volname < <(model_layout "$model")
  [ $label_set -eq 1 ] || label=$volname
  point=${point%/}
  local image="$point.img"
  mountpoint -q "$point" 2>/dev/null && die "$point is already a mount point"
  mkdir -p "$point"
  rm -f "$image"
  truncate -s "${size}M" "$image"
  mkfs.ext4 -q -F -m 0 -N 2048 -L "$label" "$image" >/dev/null
  if ! mount -o loop "$image" "$point"; then
    rm -f "$image"
    die "cannot mount $image"
  fi
  rmdir "$point/lost+found" 2>/dev/null || true
  local m t
  for ((m = 1; m <= memories; m++)); do
    for ((t = 1; t <= tracks; t++)); do
      printf -v folder '%s/CORVANE/WAVE/%03d_%d' "$point" "$m" "$t"
      mkdir -p "$folder"
    done
  done
  [ -n "$owner" ] && chown -R "$owner" "$point"
  sync -f "$point"
  echo "$point"
}

do_unmount() {
  [ $# -eq 1 ] || die "usage: unmount MOUNTPOINT"
  local point=${1%/}
  if mountpoint -q "$point" 2>/dev/null; then
    umount "$point" || umount -l "$point"
  fi
  rm -f "$point.img"
  rmdir "$point" 2>/dev/null || true
}

case ${1:-} in
  mount) shift; do_mount "$@" ;;
  unmount) shift; do_unmount "$@" ;;
  models) list_models ;;
  *) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
