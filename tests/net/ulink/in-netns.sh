#!/bin/sh
# Runs a command in a network namespace of its own (an unprivileged user namespace maps us to
# root there), with only its loopback interface, up. Whatever the command broadcasts or
# listens on stays inside; the machine's own interfaces are never reached.
set -eu
exec unshare -rn sh -c 'ip link set lo up && export TARN_TEST_PRIVATE_NETWORK=1 && exec "$@"' sh "$@"
