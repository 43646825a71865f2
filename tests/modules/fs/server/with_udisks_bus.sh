#!/bin/sh
# Runs the unmount tests against a UDisks2 stand-in (python3-dbusmock with our template)
# on a private D-Bus daemon, which the tests see as their system bus.
# Usage: with_udisks_bus.sh <template.py> <test program> [args...]
set -u
template=$1
shift
dir=$(mktemp -d "${TMPDIR:-/tmp}/tarn-udisks-XXXXXX")
socket="$dir/system_bus_socket"
daemon_pid=""
mock_pid=""
cleanup() {
    [ -n "$mock_pid" ] && kill "$mock_pid" 2>/dev/null
    [ -n "$daemon_pid" ] && kill "$daemon_pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT INT TERM

dbus-daemon --session --nofork --nopidfile --address="unix:path=$socket" >"$dir/daemon.log" 2>&1 &
daemon_pid=$!
DBUS_SYSTEM_BUS_ADDRESS="unix:path=$socket"
export DBUS_SYSTEM_BUS_ADDRESS
i=0
until [ -S "$socket" ]; do
    i=$((i + 1)); [ $i -gt 100 ] && { echo "dbus-daemon did not start" >&2; cat "$dir/daemon.log" >&2; exit 1; }
    sleep 0.1
done

# Debian's python3 carries python3-dbusmock; another python3 first on PATH may not.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
"$python" -m dbusmock --system --template "$template" >"$dir/mock.log" 2>&1 &
mock_pid=$!
i=0
until dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
        string:org.freedesktop.UDisks2 2>/dev/null | grep -q "boolean true"; do
    i=$((i + 1)); [ $i -gt 150 ] && { echo "the UDisks2 stand-in did not start" >&2; cat "$dir/mock.log" >&2; exit 1; }
    sleep 0.1
done

"$@"
status=$?
[ $status -ne 0 ] && tail -n 40 "$dir/mock.log" >&2
exit $status
