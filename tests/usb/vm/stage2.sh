#!/bin/bash
# The VM's second stage (PID 1, on the overlaid root): the kernel's filesystems, the
# drivers a plugged-in looper needs, the desktop's services (system D-Bus, udevd,
# udisksd), then the job's command. Its status goes to the output share; the VM then
# unplugs every looper and powers off.
set -u
log() { echo "rig: $(cut -d" " -f1 /proc/uptime 2>/dev/null) $*" >/dev/console; }
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc || echo "rig: no /proc" >/dev/console
mount -t sysfs sysfs /sys
mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
ln -s /proc/self/fd /dev/fd
ln -s /proc/self/fd/0 /dev/stdin
ln -s /proc/self/fd/1 /dev/stdout
ln -s /proc/self/fd/2 /dev/stderr
mount -t tmpfs tmpfs /dev/shm
# shellcheck disable=SC1091
. /rig-out/job
# The stock kernel's modules, with the index the rig built (before /tmp is covered: the
# cache may be there).
mkdir -p /lib/modules
mount --bind "$RIG_CACHE/kernel/lib/modules" /lib/modules
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
finish() {
    echo "$1" >/rig-out/status.part && mv /rig-out/status.part /rig-out/status
    "$RIG_REPO/tests/usb/vm/looper.sh" unplug-all >/dev/console 2>&1
    sync
    umount /rig-out 2>/dev/null
    echo o >/proc/sysrq-trigger 2>/dev/null
    poweroff -f
}
log "filesystems mounted"
for m in configfs dummy_hcd:num=2 libcomposite usb_f_midi usb_f_mass_storage usb_storage:delay_use=0 sd_mod \
    snd_usb_audio snd_seq snd_seq_midi snd_rawmidi vfat nls_utf8 nls_cp437 nls_iso8859_1; do
    modprobe "${m%%:*}" $( [ "$m" != "${m#*:}" ] && echo "${m#*:}") || log "cannot load ${m%%:*}"
done
mount -t configfs configfs /sys/kernel/config || log "no configfs"
log "drivers loaded"
ip link set lo up
if [ -n "$RIG_FORWARD" ]; then
    modprobe virtio_net
    dev=$(ls /sys/class/net | grep -v '^lo$' | head -n 1)
    ip link set "$dev" up
    ip addr add 10.0.2.15/24 dev "$dev"
fi
hostname usb-rig
# The desktop's services, as a session would have them.
mkdir -p /run/dbus /run/udev /media
# No polkit: udisksd would wait 25 s for its activation, and it authorises root anyway.
rm -f /usr/share/dbus-1/system-services/org.freedesktop.PolicyKit1.service
dbus-daemon --system --fork --nopidfile || log "no system bus"
/lib/systemd/systemd-udevd --daemon >/dev/console 2>&1 || log "no udevd"
# No coldplug: what the tests need (the loopers) is plugged in after udevd runs.
log "udevd started"
/usr/libexec/udisks2/udisksd >/dev/console 2>&1 &
# udisksd takes a while to start under emulation; looper.sh waits for it when it plugs in.
export PATH="$RIG_REPO/tests/usb/vm:$PATH" HOME=/root XDG_RUNTIME_DIR=/run/user/0 USER=root LOGNAME=root
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
cd "$RIG_CWD" || cd /
log "ready; running: ${RIG_COMMAND[*]}"
"${RIG_COMMAND[@]}" >/rig-out/command.log 2>&1 </dev/null
finish $?
