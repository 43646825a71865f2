#!/usr/bin/env bash
# Runs a command (a page flow) in a mount namespace of its own: the looper volumes it
# mounts are seen by nothing outside, and the volumes mounted on the machine, before or
# while it runs, are not seen by the host under test. Needs root; as another user the
# command runs as it is (the flows that mount volumes then skip).
#
#   tests/e2e/support/private-mounts.sh COMMAND [ARGS...]
#
# Inside, every mount of a block device is detached except those the run needs: the
# root and the filesystems holding this checkout, the temporary folder and /usr. The
# namespace also has its own process IDs, so that a FUSE daemon or server a killed run
# leaves behind ends with it.
set -euo pipefail

if [ "${1:-}" = --inside ]; then
  shift
  keep=(/ /usr "${TMPDIR:-/tmp}" "$(cd "$(dirname "$0")/../../.." && pwd)" "$PWD")
  # The mount holding a path: the longest mount point that is a prefix of it.
  holder() {
    awk -v path="$1" '{
      p = $5; gsub(/\\040/, " ", p)
      if ((path == p || index(path, p == "/" ? "/" : p "/") == 1) && length(p) > length(best)) best = p
    } END { print best }' /proc/self/mountinfo
  }
  declare -A needed=()
  for path in "${keep[@]}"; do
    [ -e "$path" ] && needed[$(holder "$(realpath "$path")")]=1
  done
  # Mount points of block devices, deepest first so that nested ones go before their parents.
  mapfile -t points < <(awk '{ for (i = 7; i <= NF; i++) if ($i == "-") { if ($(i + 2) ~ /^\/dev\//) print $5; break } }' \
    /proc/self/mountinfo | awk '{ print length($0) " " $0 }' | sort -rn | cut -d' ' -f2-)
  for point in "${points[@]}"; do
    point=${point//\\040/ }
    [ -n "${needed[$point]:-}" ] && continue
    umount -l "$point" 2>/dev/null || true
  done
  # A /dev/shm of its own too: the JACK server of a flow keeps its registry (eight servers at
  # most), shared memory and metadata database there, and a killed run's leftovers must
  # neither reach nor block another run.
  mount -t tmpfs -o mode=1777,size=1g tarn-shm /dev/shm
  TARN_PRIVATE_MOUNTS=$(readlink /proc/self/ns/mnt)
  export TARN_PRIVATE_MOUNTS
  # This shell is the namespace's first process: it stays, so that daemons whose parent
  # exits (fusefat) are reaped, and passes termination on to the command.
  "$@" &
  child=$!
  trap 'kill -TERM $child 2>/dev/null' TERM INT
  status=0
  wait $child || status=$?
  # wait returns early when a trapped signal arrives: wait for the command's own end.
  while kill -0 $child 2>/dev/null; do wait $child || status=$?; done
  exit $status
fi

if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
  exec "$@"
fi
exec unshare --mount --propagation private --pid --fork --kill-child --mount-proc "$0" --inside "$@"
