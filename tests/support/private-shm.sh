#!/bin/sh
# Runs a test program with a /dev/shm of its own. A JACK server keeps its registry of servers
# (eight at most), its shared memory and its metadata database there; a server or client that
# dies without cleaning up leaves them behind, and enough of them stop any new server from
# starting or make every client wait on a stale database lock. A private tmpfs per program
# keeps each run's JACK state to itself. As another user than root the program runs as it is.
#
#   tests/support/private-shm.sh PROGRAM [ARGS...]
if [ "${1:-}" = --inside ]; then
  shift
  mount -t tmpfs -o mode=1777,size=1g tarn-shm /dev/shm || exit 125
  exec "$@"
fi
if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
  exec "$@"
fi
exec unshare --mount --propagation private "$0" --inside "$@"
