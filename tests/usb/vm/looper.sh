#!/bin/bash
# Plugs a simulated looper into the VM's USB bus, and pulls it out again. The looper is a
# composite USB gadget on dummy_hcd (one USB-MIDI function with one port each way, one
# mass-storage function serving a FAT32 image with the model's label and track folders);
# the VM's own drivers see it as the real thing. looper-sim answers on the gadget's side
# of the MIDI wire. Like a desktop session's automounter, `plug` then has udisks2 mount
# the volume (under /media/root/LABEL).
#
#   looper.sh plug MODEL [--slot N] [--read-only] [--edit-mode 0|1] [--no-mount]
#   looper.sh unplug [--slot N]        the cable pulled: no unmount, no warning
#   looper.sh replug [--slot N]        the same looper (same volume, same edit mode) again
#   looper.sh unplug-all
#   looper.sh mount-point [--slot N]   where udisks2 mounted the volume
#
# MODEL is a name or volume label of page/js/tarn/models.js. Slots 0 and 1 are the two
# ports of the VM's dummy_hcd. A looper keeps its edit mode while unplugged (it has its
# own power): replug starts the simulator in the mode it last had. Every wait is bounded
# (60 s, or $LOOPER_WAIT) and fails with what is missing.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../../.." && pwd)
build=${TARN_BUILD:-$repo/build}
gadgets=/sys/kernel/config/usb_gadget
wait_s=${LOOPER_WAIT:-60}
die() { echo "looper: $*" >&2; exit 1; }

slot=0
state() { echo "/tmp/looper-$slot.$1"; }

# "portName volName modelID" of a MIDI model (storage-only models have no MIDI side).
model_info() {
    node -e '
        const m = require(process.argv[1]);
        const r = m.compatibleInstruments.find((x) => x.name === process.argv[2] || x.volName === process.argv[2]);
        if (!r) process.exit(3);
        console.log(JSON.stringify([r.midi ? r.midi.portName : "", r.volName, r.midi ? r.midi.modelID : ""]));
    ' "$repo/page/js/tarn/models.js" "$1" | node -e 'JSON.parse(require("fs").readFileSync(0)).forEach((v) => console.log(v))'
}

# Waits until the command succeeds; fails after the bounded wait.
wait_for() {
    local what=$1 deadline=$((SECONDS + wait_s))
    shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $deadline ] || die "no $what after $wait_s s"
        sleep 0.2
    done
}

make_gadget() {
    local g=$gadgets/looper$slot port=$1 readonly=$2
    [ -d "$g" ] && return 0
    mkdir "$g"
    echo 0x1209 >"$g/idVendor"
    printf '0x%04x\n' $((0x7700 + slot)) >"$g/idProduct"
    mkdir -p "$g/strings/0x409"
    echo Corvane >"$g/strings/0x409/manufacturer"
    echo "$port" >"$g/strings/0x409/product"
    echo "LOOPER$slot" >"$g/strings/0x409/serialnumber"
    mkdir -p "$g/configs/c.1/strings/0x409"
    echo looper >"$g/configs/c.1/strings/0x409/configuration"
    if [ -n "$port" ]; then
        mkdir "$g/functions/midi.usb0"
        echo 1 >"$g/functions/midi.usb0/in_ports"
        echo 1 >"$g/functions/midi.usb0/out_ports"
        # The gadget side's sound card, found by this id.
        echo "gadget$slot" >"$g/functions/midi.usb0/id"
        ln -s "$g/functions/midi.usb0" "$g/configs/c.1/"
    fi
    mkdir "$g/functions/mass_storage.usb0"
    local lun=$g/functions/mass_storage.usb0/lun.0
    echo 1 >"$lun/removable"
    echo "$readonly" >"$lun/ro"
    echo "Corvane $port" | cut -c1-28 >"$lun/inquiry_string"
    echo "$(state img)" >"$lun/file"
    ln -s "$g/functions/mass_storage.usb0" "$g/configs/c.1/"
}

# Takes the slot's gadget apart (and forgets its volume and edit mode), for another model.
remove_gadget() {
    local g=$gadgets/looper$slot f
    unplug
    [ -d "$g" ] || return 0
    rm -f "$g"/configs/c.1/*.usb0
    rmdir "$g/configs/c.1/strings/0x409" "$g/configs/c.1"
    for f in "$g"/functions/*; do rmdir "$f"; done
    rmdir "$g/strings/0x409" "$g"
    rm -f "$(state img)" "$(state sim)" "$(state plugged)"
}

start_sim() {
    local port=$1 model=$2 mode=$3
    [ -n "$port" ] || return 0
    wait_for "gadget MIDI card" test -e /proc/asound/gadget$slot
    "$build/looper-sim" --name "$port" --model "$model" --edit-mode "$mode" --rawmidi "hw:gadget$slot,0,0" \
        >>"$(state sim)" 2>&1 &
    echo $! >"$(state pid)"
    wait_for "looper-sim ready" grep -q '^ready' "$(state sim)"
}

# The disk on this slot's USB port, once the kernel has it.
volume_device() {
    local dev
    for dev in /sys/block/sd*; do
        [ -e "$dev" ] || continue
        readlink -f "$dev/device" | grep -q "dummy_hcd.$slot" || continue
        echo "/dev/${dev##*/}"
        return 0
    done
    return 1
}

udisks_running() {
    dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.UDisks2 | grep -q 'boolean true'
}

mount_volume() {
    local readonly=$1 dev options=()
    wait_for "udisks2" udisks_running
    wait_for "USB disk on port $slot" volume_device
    dev=$(volume_device)
    [ "$readonly" = 1 ] && options=(-o ro)
    wait_for "mount of $dev" udisksctl mount --no-user-interaction -b "$dev" "${options[@]}"
    mount_point
}

mount_point() {
    local dev
    dev=$(volume_device) || die "no looper on port $slot"
    # udisks2's own record: the dead mount of a pulled disk may still be listed under the
    # same device name until it is taken down.
    udisksctl info -b "$dev" | sed -n 's/^ *MountPoints: *//p' | head -n 1
}

plug() {
    local model="" readonly=0 mode="" mount=1
    while [ $# -gt 0 ]; do
        case $1 in
        --slot) slot=$2; shift 2 ;;
        --read-only) readonly=1; shift ;;
        --edit-mode) mode=$2; shift 2 ;;
        --no-mount) mount=0; shift ;;
        -*) die "unknown option $1" ;;
        *) model=$1; shift ;;
        esac
    done
    [ -n "$model" ] || die "which model?"
    local info port volname modelid
    mapfile -t info < <(model_info "$model") || die "unknown model $model"
    [ ${#info[@]} -eq 3 ] || die "unknown model $model"
    port=${info[0]} volname=${info[1]} modelid=${info[2]}
    # Another model in this slot than last time: a new gadget and a new volume.
    if [ -f "$(state plugged)" ] && [ "$(head -n 1 "$(state plugged)")" != "$model" ]; then remove_gadget; fi
    [ -f "$(state img)" ] || "$repo/tools/looper-volume.sh" image "$model" "$(state img)" >/dev/null
    printf '%s\n' "$model" "$readonly" "$mount" >"$(state plugged)"
    [ -n "$mode" ] || mode=$( (grep '^mode ' "$(state sim)" 2>/dev/null || true) | tail -n 1 | cut -d' ' -f2)
    [ -n "$mode" ] && [ "$mode" != 2 ] || mode=0
    make_gadget "$port" "$readonly"
    # Media the computer ejected come back when the looper is plugged in again.
    local lun=$gadgets/looper$slot/functions/mass_storage.usb0/lun.0
    [ -n "$(cat "$lun/file")" ] || echo "$(state img)" >"$lun/file"
    echo "dummy_udc.$slot" >"$gadgets/looper$slot/UDC"
    start_sim "$port" "$modelid" "$mode"
    [ -n "$port" ] && wait_for "ALSA port $port MIDI 1" sh -c "aconnect -l | grep -qF \"'$port MIDI 1\""
    if [ "$mount" = 1 ]; then mount_volume "$readonly"; fi
    return 0
}

unplug() {
    [ "${1:-}" = --slot ] && slot=$2
    local g=$gadgets/looper$slot
    [ -d "$g" ] || return 0
    echo "" >"$g/UDC" 2>/dev/null || true
    if [ -f "$(state pid)" ]; then
        kill "$(cat "$(state pid)")" 2>/dev/null || true
        rm -f "$(state pid)"
    fi
}

replug() {
    [ "${1:-}" = --slot ] && slot=$2
    [ -f "$(state plugged)" ] || die "nothing was plugged into port $slot"
    local how
    mapfile -t how <"$(state plugged)"
    local args=("${how[0]}" --slot "$slot")
    [ "${how[1]}" = 1 ] && args+=(--read-only)
    [ "${how[2]}" = 0 ] && args+=(--no-mount)
    plug "${args[@]}"
}

case ${1:-} in
plug) shift; plug "$@" ;;
unplug) shift; unplug "$@" ;;
replug) shift; replug "$@" ;;
unplug-all) for slot in 0 1; do unplug; done ;;
mount-point) [ "${2:-}" = --slot ] && slot=$3; mount_point ;;
*) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
