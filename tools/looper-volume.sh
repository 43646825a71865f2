#!/usr/bin/env bash
# The storage side of a Corvane looper, for trying Tarn and for its tests: a small disk
# image with the looper's volume label and its CORVANE/WAVE/MMM_T track folders, mounted
# where you say. Needs root (mount). The MIDI side is tools/looper-sim.
#
#   tools/looper-volume.sh mount MODEL MOUNTPOINT [--label LABEL] [--size MIB] [--owner UID:GID] [--fs fat32|ext4]
#   tools/looper-volume.sh unmount MOUNTPOINT [--check]
#   tools/looper-volume.sh image MODEL IMAGE [--label LABEL] [--size MIB]
#   tools/looper-volume.sh models
#
# MODEL is a model's name or volume label as Tarn knows them ("Eddy Duo", "POOL_BANKS";
# `models` lists them). --label gives the volume another label (an empty one too), for
# a looper that Tarn has to recognise by its folders. --owner hands the files to that
# user (default: the user who ran sudo, if any). The image lives next to the mount
# point as MOUNTPOINT.img and is removed by `unmount`, which also copes with a volume
# Tarn has already released; with --check it first checks the image (fsck -n) and
# fails when the filesystem is not clean.
#
# `image` only makes the FAT32 image (no root needed), for a USB gadget to serve.
#
# --fs (or $LOOPER_VOLUME_FS) picks the filesystem: FAT32 by default, as the loopers
# format it, or ext4. FAT32 is mounted with the kernel's vfat driver where there is one,
# and through FUSE (fusefat, on a loop device so that it shows as a block device's
# volume) where the kernel has none. fusefat has limits the kernel driver does not:
# it refuses file names that are not plain ASCII (EPERM), reports no free space
# (statfs gives 0 blocks), shows the volume label entry as an empty file in the root
# folder, and keeps every file root's (--owner has no effect there).
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

# The track folders of a layout, one a line, relative to the volume's root.
track_folders() {
  local tracks=$1 memories=$2 m t
  for ((m = 1; m <= memories; m++)); do
    for ((t = 1; t <= tracks; t++)); do
      printf 'CORVANE/WAVE/%03d_%d\n' "$m" "$t"
    done
  done
}

kernel_has_vfat() {
  grep -qw vfat /proc/filesystems 2>/dev/null || { modprobe -q vfat 2>/dev/null && grep -qw vfat /proc/filesystems; }
}

# FAT32 through FUSE: the image on a loop device, so that the mount table shows a block
# device and its label can be read as a kernel-mounted stick's. The loop device is
# detached at once; the kernel frees it when fusefat closes it at unmount.
mount_fusefat() {
  local image=$1 point=$2 device
  device=$(losetup -f --show "$image") || return 1
  # fusefat forks away when the volume is mounted; its chatter goes to a log beside it.
  if ! fusefat -o rw+,big_writes,max_write=131072,fsname="$device" "$device" "$point" >"$point.log" 2>&1; then
    losetup -d "$device" 2>/dev/null || true
    return 1
  fi
  losetup -d "$device" 2>/dev/null || true
}

make_fat32() {
  local image=$1 label=$2 tracks=$3 memories=$4
  local args=(-F 32 -S 512 -s 8)
  [ -n "$label" ] && args+=(-n "$label")
  mkfs.fat "${args[@]}" "$image" >/dev/null || return 1
  # Folders go in with mtools, without mounting: thousands of them take a moment.
  local folders
  mapfile -t folders < <(printf '::CORVANE\n::CORVANE/WAVE\n'; track_folders "$tracks" "$memories" | sed 's/^/::/')
  MTOOLS_SKIP_CHECK=1 mmd -i "$image" "${folders[@]}"
}

do_image() {
  [ $# -ge 2 ] || die "usage: image MODEL IMAGE [--label LABEL] [--size MIB]"
  local model=$1 image=$2 label="" label_set=0 size=300
  shift 2
  while [ $# -gt 0 ]; do
    case $1 in
      --label) label=$2; label_set=1; shift 2 ;;
      --size) size=$2; shift 2 ;;
      *) die "unknown option $1" ;;
    esac
  done
  read -r tracks memories volname < <(model_layout "$model")
  [ $label_set -eq 1 ] || label=$volname
  [ "$size" -lt 300 ] && size=300
  rm -f "$image"
  truncate -s "${size}M" "$image"
  make_fat32 "$image" "$label" "$tracks" "$memories" || { rm -f "$image"; die "cannot make a FAT32 image"; }
  echo "$image"
}

do_mount() {
  [ $# -ge 2 ] || die "usage: mount MODEL MOUNTPOINT [--label LABEL] [--size MIB] [--owner UID:GID] [--fs fat32|ext4]"
  local model=$1 point=$2
  shift 2
  local label="" label_set=0 size="" owner="" fs=${LOOPER_VOLUME_FS:-fat32}
  [ -n "${SUDO_UID:-}" ] && owner="$SUDO_UID:${SUDO_GID:-$SUDO_UID}"
  while [ $# -gt 0 ]; do
    case $1 in
      --label) label=$2; label_set=1; shift 2 ;;
      --size) size=$2; shift 2 ;;
      --owner) owner=$2; shift 2 ;;
      --fs) fs=$2; shift 2 ;;
      *) die "unknown option $1" ;;
    esac
  done
  case $fs in fat32 | ext4) ;; *) die "--fs is fat32 or ext4, not '$fs'" ;; esac
  [ "$(id -u)" -eq 0 ] || die "mounting needs root"
  read -r tracks memories volname < <(model_layout "$model")
  [ $label_set -eq 1 ] || label=$volname
  # FAT32 wants at least 65525 clusters; with 4 KiB clusters (fusefat is many times slower
  # with smaller ones) that is 256 MiB, so FAT32 images have 300 MiB at the least. The
  # image is sparse: only what is written takes room.
  [ -n "$size" ] || size=32
  [ "$fs" = fat32 ] && [ "$size" -lt 300 ] && size=300
  point=${point%/}
  local image="$point.img"
  mountpoint -q "$point" 2>/dev/null && die "$point is already a mount point"
  mkdir -p "$point"
  rm -f "$image" "$point.fs" "$point.log"
  truncate -s "${size}M" "$image"
  if [ "$fs" = ext4 ]; then
    mkfs.ext4 -q -F -m 0 -N 2048 -L "$label" "$image" >/dev/null
    if ! mount -o loop "$image" "$point"; then
      rm -f "$image"
      die "cannot mount $image"
    fi
    rmdir "$point/lost+found" 2>/dev/null || true
    track_folders "$tracks" "$memories" | (cd "$point" && xargs mkdir -p)
    [ -n "$owner" ] && chown -R "$owner" "$point"
  else
    make_fat32 "$image" "$label" "$tracks" "$memories" || { rm -f "$image"; die "cannot make a FAT32 image"; }
    local how=fuse
    if kernel_has_vfat; then
      local options=loop
      [ -n "$owner" ] && options+=",uid=${owner%%:*},gid=${owner##*:}"
      mount -t vfat -o "$options" "$image" "$point" && how=vfat || how=fuse
    fi
    if [ $how = fuse ] && ! mount_fusefat "$image" "$point"; then
      rm -f "$image"
      die "cannot mount $image (fusefat: $(cat "$point.log" 2>/dev/null))"
    fi
  fi
  echo "$fs" >"$point.fs"
  sync -f "$point" 2>/dev/null || true
  echo "$point"
}

# The FUSE daemon serving a mount point, if any.
fuse_daemon() {
  local point=$1 pid
  for pid in $(pgrep -x fusefat 2>/dev/null); do
    if tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | grep -qxF "$point"; then echo "$pid"; return; fi
  done
}

do_unmount() {
  [ $# -ge 1 ] || die "usage: unmount MOUNTPOINT [--check]"
  local point=${1%/} check=0
  [ "${2:-}" = --check ] && check=1
  local image="$point.img" fs=fat32 daemon=""
  [ -f "$point.fs" ] && fs=$(cat "$point.fs")
  if mountpoint -q "$point" 2>/dev/null; then
    daemon=$(fuse_daemon "$point")
    umount "$point" || umount -l "$point"
  fi
  # A FUSE unmount returns before the daemon has written its last sectors: wait for it.
  if [ -n "$daemon" ]; then
    local i
    for ((i = 0; i < 100; i++)); do
      [ -d "/proc/$daemon" ] && ! grep -q '^[^)]*) Z' "/proc/$daemon/stat" 2>/dev/null || break
      sleep 0.1
    done
  fi
  local status=0
  if [ $check -eq 1 ] && [ -f "$image" ]; then
    local report
    if [ "$fs" = ext4 ]; then
      report=$(e2fsck -f -n "$image" 2>&1) || status=$?
    else
      report=$(fsck.fat -n "$image" 2>&1) || status=$?
      # fsck.fat -n reports some faults it would mend and still exits 0.
      grep -qiE 'wrong|invalid|lost|bad|differ|mark|reclaim|free cluster summary|will be|perform changes' <<<"$report" && [ $status -eq 0 ] && status=1
    fi
    [ $status -ne 0 ] && echo "looper-volume: $image is not clean:"$'\n'"$report" >&2
  fi
  rm -f "$image" "$point.fs" "$point.log"
  rmdir "$point" 2>/dev/null || true
  return $status
}

case ${1:-} in
  mount) shift; do_mount "$@" ;;
  image) shift; do_image "$@" ;;
  unmount) shift; do_unmount "$@" ;;
  models) list_models ;;
  *) sed -n '2,28p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
