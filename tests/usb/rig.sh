#!/usr/bin/env bash
# A small Linux VM with a looper on a real (emulated) USB bus: Debian's stock kernel under
# QEMU (software emulation), this machine's root shared read-only with a tmpfs on top, and
# inside it a USB gadget on dummy_hcd that the VM's own drivers see as a USB-MIDI device
# and a USB stick. Needs root (depmod into the cache, QEMU's 9p shares).
#
#   tests/usb/rig.sh prepare CACHE                 fetch the kernel, build the initramfs
#   tests/usb/rig.sh run CACHE OUT [--forward PORT] [--timeout S] -- COMMAND...
#
# `run` boots the VM, runs COMMAND inside (as root, in the services' environment: system
# D-Bus, udevd, udisksd; tests/usb/vm/looper.sh plugs loopers in), and exits with
# COMMAND's status. OUT is a host folder the VM writes: command.log (COMMAND's output),
# console.log (the kernel's and the services' output), status. Every wait is bounded:
# when the VM does not end within --timeout seconds (default 300) it is killed and the
# console log printed. The VM has no network device unless --forward PORT is given:
# then QEMU's user networking, with only 127.0.0.1:PORT on this machine forwarded to
# PORT in the VM (nothing else can be reached either way: restrict=on).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
die() { echo "usb-rig: $*" >&2; exit 1; }

# Modules the initramfs needs to reach the shared root; the rest load from the root.
boot_modules=(virtio_pci 9pnet_virtio 9p overlay)

prepare() {
    local cache=$1
    mkdir -p "$cache"
    cache=$(cd "$cache" && pwd)
    if [ -f "$cache/ready" ]; then return 0; fi
    command -v qemu-system-x86_64 >/dev/null || die "qemu-system-x86 is not installed"
    [ -x /bin/busybox ] || die "busybox-static is not installed"
    local pkg deb
    pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
    [ -n "$pkg" ] || die "cannot find the stock kernel package (apt-cache depends linux-image-amd64)"
    rm -rf "$cache/kernel" "$cache/download"
    mkdir -p "$cache/download"
    (cd "$cache/download" && apt-get download "$pkg" >/dev/null 2>&1) || die "apt-get download $pkg failed"
    deb=$(ls "$cache"/download/*.deb)
    dpkg-deb -x "$deb" "$cache/kernel"
    local release
    release=$(ls "$cache/kernel/lib/modules")
    # The package leaves the module index to its install scripts.
    depmod -b "$cache/kernel" "$release"
    # The uncompressed kernel boots through its PVH entry, much faster under emulation
    # than unpacking vmlinuz: its payload is the xz stream after the setup code.
    local vmlinuz="$cache/kernel/boot/vmlinuz-$release" offset
    offset=$(LC_ALL=C grep -abo $'\xfd7zXZ\x00' "$vmlinuz" | head -n 1 | cut -d: -f1)
    [ -n "$offset" ] || die "no xz payload in $vmlinuz"
    tail -c +$((offset + 1)) "$vmlinuz" | xz -dc >"$cache/vmlinux.part" 2>/dev/null || true
    [ "$(head -c 4 "$cache/vmlinux.part" | od -An -c | tr -d " ")" = "177ELF" ] || die "could not unpack the kernel"
    mv "$cache/vmlinux.part" "$cache/vmlinux"
    build_initramfs "$cache" "$release"
    echo "$release" >"$cache/ready"
}

build_initramfs() {
    local cache=$1 release=$2 tree="$1/initramfs.d" m f
    rm -rf "$tree"
    mkdir -p "$tree"/{bin,dev,proc,sys,newroot,lib/modules}
    cp /bin/busybox "$tree/bin/busybox"
    for f in sh mount umount mkdir insmod switch_root sleep cat poweroff echo; do ln -s busybox "$tree/bin/$f"; done
    # The boot modules in load order, with what they depend on.
    : >"$tree/modules.list"
    for m in "${boot_modules[@]}"; do
        modprobe -d "$cache/kernel" -S "$release" --show-depends "$m" | awk '$1 == "insmod" {print $2}' |
            while read -r f; do
                grep -qxF "$(basename "$f")" "$tree/modules.list" && continue
                cp "$f" "$tree/lib/modules/"
                basename "$f" >>"$tree/modules.list"
            done
    done
    cp "$here/vm/init" "$tree/init"
    chmod +x "$tree/init"
    (cd "$tree" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$cache/initramfs.gz"
}

run() {
    local cache=$1 out=$2
    shift 2
    local forward="" timeout=300
    while [ $# -gt 0 ]; do
        case $1 in
        --forward) forward=$2; shift 2 ;;
        --timeout) timeout=$2; shift 2 ;;
        --) shift; break ;;
        *) die "unknown option $1" ;;
        esac
    done
    [ $# -gt 0 ] || die "no command to run"
    [ -f "$cache/ready" ] || prepare "$cache"
    cache=$(cd "$cache" && pwd)
    mkdir -p "$out"
    out=$(cd "$out" && pwd)
    rm -f "$out/status" "$out/command.log" "$out/console.log"
    # The command, its folder and the environment the VM needs, as one file on the share.
    {
        printf 'RIG_CACHE=%q\nRIG_RELEASE=%q\nRIG_OUT=/rig-out\nRIG_CWD=%q\nRIG_REPO=%q\n' \
            "$cache" "$(cat "$cache/ready")" "$PWD" "$(cd "$here/../.." && pwd)"
        printf 'RIG_FORWARD=%q\n' "$forward"
        printf 'export TARN_BUILD=%q\n' "${TARN_BUILD:-$(cd "$here/../.." && pwd)/build}"
        printf 'RIG_COMMAND=('
        printf '%q ' "$@"
        printf ')\n'
    } >"$out/job"
    local net=(-nic none)
    if [ -n "$forward" ]; then
        net=(-nic "user,model=virtio-net-pci,restrict=on,hostfwd=tcp:127.0.0.1:$forward-:$forward")
    fi
    local qemu_pid status=0
    qemu-system-x86_64 -nodefaults -machine q35,accel=tcg -cpu max -smp 1 -m "${RIG_MEMORY:-768}" \
        -display none -no-reboot -serial "file:$out/console.log" -monitor none \
        -kernel "$cache/vmlinux" -initrd "$cache/initramfs.gz" \
        -append "console=ttyS0 quiet loglevel=4 panic=-1 cryptomgr.notests rig.stage2=$here/vm/stage2.sh" \
        -fsdev local,id=root,path=/,security_model=none,readonly=on,multidevs=remap \
        -device virtio-9p-pci,fsdev=root,mount_tag=root \
        -fsdev local,id=out,path="$out",security_model=none \
        -device virtio-9p-pci,fsdev=out,mount_tag=out \
        "${net[@]}" </dev/null >"$out/qemu.log" 2>&1 &
    qemu_pid=$!
    local waited=0
    while kill -0 "$qemu_pid" 2>/dev/null; do
        if [ "$waited" -ge "$timeout" ]; then
            kill "$qemu_pid" 2>/dev/null || true
            wait "$qemu_pid" 2>/dev/null || true
            echo "usb-rig: the VM did not end within $timeout s; its console:" >&2
            tail -n 80 "$out/console.log" >&2 || true
            cat "$out/command.log" >&2 2>/dev/null || true
            return 124
        fi
        sleep 1
        waited=$((waited + 1))
    done
    wait "$qemu_pid" 2>/dev/null || true
    if [ ! -f "$out/status" ]; then
        echo "usb-rig: the VM ended without the command's status; its console:" >&2
        tail -n 80 "$out/console.log" >&2 || true
        cat "$out/qemu.log" >&2 || true
        return 125
    fi
    status=$(cat "$out/status")
    cat "$out/command.log"
    return "$status"
}

case ${1:-} in
prepare) [ $# -eq 2 ] || die "usage: $0 prepare CACHE"; prepare "$2" ;;
run) [ $# -ge 4 ] || die "usage: $0 run CACHE OUT [options] -- COMMAND..."; shift; run "$@" ;;
*) die "usage: $0 prepare CACHE | run CACHE OUT [--forward PORT] [--timeout S] -- COMMAND..." ;;
esac
