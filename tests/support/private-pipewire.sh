#!/bin/sh
# A private PipeWire sound server for one test program, as a Linux desktop runs it: a D-Bus
# session bus, pipewire, the wireplumber session manager and pipewire-pulse, all with their
# runtime folder, configuration and state under DIR. PulseAudio clients reach it through
# DIR/run/pulse/native. Nothing here reads the user's or the machine's configuration, and
# nothing reaches their servers or their sound and video devices.
#
#   tests/support/private-pipewire.sh DIR
#
# Runs until its standard input closes (the program that started it ended, however it ended)
# or until SIGTERM, then ends every server it started, waits for them and removes DIR. The
# caller may kill the process group as a last resort.
set -eu
dir=$1
stock_pw=/usr/share/pipewire
stock_wp=/usr/share/wireplumber

pids=
stop() {
    trap - EXIT TERM INT HUP
    # shellcheck disable=SC2086
    [ -z "$pids" ] || kill $pids 2>/dev/null || true
    wait
    rm -rf "$dir"
    exit 0
}
trap stop EXIT TERM INT HUP

mkdir -p "$dir/run" "$dir/config" "$dir/state" "$dir/data" "$dir/pipewire" \
    "$dir/wireplumber/main.lua.d" "$dir/wireplumber/policy.lua.d"
chmod 700 "$dir/run"

# PIPEWIRE_CONFIG_DIR and WIREPLUMBER_CONFIG_DIR replace every other configuration folder
# (/etc, ~/.config): the stock files, then ours.
for f in "$stock_pw"/*.conf; do ln -sf "$f" "$dir/pipewire/"; done
# The graph runs at the rate of the tests' sinks, as PulseAudio's null sink does: what a
# stream plays reaches the sink's monitor sample for sample, not resampled twice.
mkdir -p "$dir/pipewire/pipewire.conf.d"
cat >"$dir/pipewire/pipewire.conf.d/test-clock.conf" <<'CONF'
context.properties = {
    default.clock.rate = 44100
    default.clock.allowed-rates = [ 44100 ]
}
CONF
for d in main.lua.d policy.lua.d; do
    for f in "$stock_wp/$d"/*.lua; do ln -sf "$f" "$dir/wireplumber/$d/"; done
done
# No Bluetooth: it would talk to the machine's BlueZ over the system bus.
sed '/bluetooth\.lua/d' "$stock_wp/wireplumber.conf" >"$dir/wireplumber/wireplumber.conf"
# No device monitors: on a desktop they would open the real sound cards and cameras. The
# stock files enable them at 90; this runs between their defaults (50) and that.
cat >"$dir/wireplumber/main.lua.d/60-test-no-devices.lua" <<'LUA'
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
LUA

export HOME="$dir" XDG_RUNTIME_DIR="$dir/run" PIPEWIRE_RUNTIME_DIR="$dir/run" \
    XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state" XDG_DATA_HOME="$dir/data" \
    PIPEWIRE_CONFIG_DIR="$dir/pipewire" WIREPLUMBER_CONFIG_DIR="$dir/wireplumber" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus" DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/no-system-bus"
unset PULSE_SERVER PULSE_RUNTIME_PATH PIPEWIRE_REMOTE PIPEWIRE_CORE DISPLAY WAYLAND_DISPLAY

waitfor() {  # PATH WHAT: waits up to 15 s for a socket
    i=0
    until [ -S "$1" ]; do
        i=$((i + 1))
        if [ $i -ge 300 ]; then
            echo "$2 did not start" >&2
            tail -n 20 "$dir"/*.log >&2
            exit 1
        fi
        sleep 0.05
    done
}

dbus-daemon --session --address="unix:path=$dir/bus" --nofork --nopidfile >"$dir/dbus.log" 2>&1 &
pids="$pids $!"
waitfor "$dir/bus" dbus-daemon
pipewire >"$dir/pipewire.log" 2>&1 &
pids="$pids $!"
waitfor "$dir/run/pipewire-0" pipewire
wireplumber >"$dir/wireplumber.log" 2>&1 &
pids="$pids $!"
pipewire-pulse >"$dir/pipewire-pulse.log" 2>&1 &
pids="$pids $!"
waitfor "$dir/run/pulse/native" pipewire-pulse

# An asynchronous command's standard input is /dev/null: hand it ours through another number.
exec 3<&0
cat <&3 >/dev/null &
watcher=$!
pids="$pids $watcher"
wait "$watcher" || true
