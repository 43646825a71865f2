#!/bin/sh
# A private mDNS daemon for one test: its own D-Bus bus (a socket in DIR) and avahi-daemon
# inside a network namespace of its own, with only the loopback interface (multicast on).
# /run is a private tmpfs in that namespace, so the daemon's pid file and socket are ours too.
# Usage: private-avahi.sh DIR [NAME TYPE PORT]...
# Publishes each service, prints "bus <address>" and then "ready", and runs until killed;
# the caller ends the whole process group.
set -eu
dir=$1
shift
trap 'trap - EXIT TERM; kill 0 2>/dev/null' EXIT TERM INT

cat >"$dir/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$dir/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
cat >"$dir/avahi.conf" <<CONF
[server]
use-ipv4=yes
use-ipv6=no
allow-interfaces=lo
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
CONF

dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile >"$dir/dbus.log" 2>&1 &
address="unix:path=$dir/bus"
export DBUS_SYSTEM_BUS_ADDRESS="$address"
i=0
until [ -S "$dir/bus" ]; do
    i=$((i + 1)); [ $i -lt 200 ] || { echo "no bus" >&2; exit 1; }
    sleep 0.05
done

unshare -n -m --propagation private sh -c '
    ip link set lo up && ip link set lo multicast on && mount -t tmpfs tarn-avahi /run &&
    exec avahi-daemon -f "$1" --no-drop-root --no-chroot --no-rlimits --no-proc-title' sh "$dir/avahi.conf" \
    >"$dir/avahi.log" 2>&1 &

i=0
until grep -q "Server startup complete" "$dir/avahi.log" 2>/dev/null; do
    i=$((i + 1)); [ $i -lt 400 ] || { echo "avahi-daemon did not start" >&2; cat "$dir/avahi.log" >&2; exit 1; }
    sleep 0.05
done

n=0
while [ $# -ge 3 ]; do
    n=$((n + 1))
    avahi-publish -s "$1" "$2" "$3" >"$dir/publish$n.log" 2>&1 &
    i=0
    until grep -q "Established" "$dir/publish$n.log" 2>/dev/null; do
        i=$((i + 1)); [ $i -lt 400 ] || { echo "could not publish $1" >&2; cat "$dir/publish$n.log" >&2; exit 1; }
        sleep 0.05
    done
    shift 3
done

echo "bus $address"
echo ready
wait
