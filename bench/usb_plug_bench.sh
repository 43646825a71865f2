#!/usr/bin/env bash
# Plug-in to answer: from the moment a looper is plugged in to `tarn devices --json`
# listing it, over a real USB bus (the rig's VM: gadget bind, USB-MIDI and ALSA,
# usb-storage, vfat, udisks2 mount) and, in the same run, over the simulator on this
# machine (looper-sim started on a private JACK server beside a volume mounted by
# looper-volume.sh just before: the clock starts with the simulator).
# Then plug-in to usable in the page: the headless host in the VM, its page in headless
# Chromium here (tests/usb/page.mjs; the clock starts with the request to bind the
# gadget), beside bench/page_plugin_bench.mjs on this machine (the simulator's ports
# already there, the clock starts with the volume's mount).
# Best of ROUNDS (3) plugs each; the VM's figure is under software emulation, so it is an
# upper bound of what real hardware takes. Needs root; run from the source tree:
#   bench/usb_plug_bench.sh [BUILD]      (BUILD defaults to build/; ONLY=usb or ONLY=jack
#                                         runs one side)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
rounds=${ROUNDS:-3}
export TARN_BUILD=$build

# The part that runs in the VM: plug, poll `tarn devices`, unplug, ROUNDS times.
# In the build tree: the VM sees this machine's files, but its /tmp is its own.
inside=$(mktemp "$build/usb-plug-bench.XXXXXX.sh")
out=$(mktemp -d)
trap 'rm -rf "$inside" "$out"' EXIT
cat >"$inside" <<'INSIDE'
for ((i = 0; i < ROUNDS; i++)); do
    start=$(date +%s%3N)
    looper.sh plug "Eddy Duo" >/dev/null &
    until "$TARN_BUILD/tarn" devices --json 2>/dev/null | grep -q '"Eddy Duo"'; do sleep 0.05; done
    echo "usb $(($(date +%s%3N) - start))"
    wait
    looper.sh unplug
    udisksctl unmount --no-user-interaction -b /dev/sda >/dev/null 2>&1 || true
    sleep 1
done
INSIDE
sed -i "1i ROUNDS=$rounds" "$inside"
usb_best=- jack_best=-
if [ "${ONLY:-usb}" = usb ]; then
    "$repo/tests/usb/rig.sh" run "$build/usb-rig" "$out" --timeout 1500 -- bash "$inside" >"$out/usb.txt"
    usb_best=$(awk '$1 == "usb" {print $2}' "$out/usb.txt" | sort -n | head -n 1)
fi

# The same on the simulator over JACK, in a private mount namespace.
[ "${ONLY:-jack}" = jack ] && jack_best=$(unshare -m --propagation private bash -c '
    set -euo pipefail
    name=tarn-bench-$$
    jackd --no-realtime -n "$name" -d dummy -r 44100 -p 128 >/dev/null 2>&1 &
    jack=$!
    jack_wait -w -t 10 -s "$name" >/dev/null
    export JACK_DEFAULT_SERVER=$name JACK_NO_START_SERVER=1 TARN_MIDI_API=jack
    home=$(mktemp -d); export HOME=$home XDG_RUNTIME_DIR=$home
    best=""
    for ((i = 0; i < '"$rounds"'; i++)); do
        "$1" mount "Eddy Duo" "$home/EDDY_DUO" >/dev/null
        start=$(date +%s%3N)
        "$0" --name "EDDY DUO" --model 00000072 --api jack >/dev/null 2>&1 &
        sim=$!
        until "$2" devices --json 2>/dev/null | grep -q "\"Eddy Duo\""; do sleep 0.05; done
        took=$(($(date +%s%3N) - start))
        [ -z "$best" ] || [ "$took" -lt "$best" ] && best=$took
        kill $sim; wait $sim 2>/dev/null || true
        "$1" unmount "$home/EDDY_DUO"
    done
    kill $jack; wait $jack 2>/dev/null || true
    rm -rf "$home"
    echo "$best"
' "$build/looper-sim" "$repo/tools/looper-volume.sh" "$build/tarn" 2>/dev/null)
page_usb=- page_jack=- grid_usb=- grid_jack=-
if [ "${ONLY:-usb}" = usb ]; then
    PLUG_ROUNDS=$rounds node "$repo/tests/usb/page.mjs" "$build/usb-rig" "$out/page" >"$out/page.txt" 2>&1 ||
        { echo "the page's plug-ins in the VM failed:" >&2; tail -n 40 "$out/page.txt" >&2; }
    page_usb=$(awk '$1 == "page" {print $2}' "$out/page.txt" | sort -n | head -n 1)
    grid_usb=$(awk '$1 == "page" {print $3}' "$out/page.txt" | sort -n | head -n 1)
fi
if [ "${ONLY:-jack}" = jack ]; then
    TARN_BIN=$build/tarn LOOPER_SIM=$build/looper-sim "$repo/tests/e2e/support/private-mounts.sh" \
        node "$repo/bench/page_plugin_bench.mjs" >"$out/page-jack.txt" 2>&1 || true
    page_jack=$(sed -nE 's/^plug-in to usable.*best ([0-9]+) ms.*/\1/p' "$out/page-jack.txt")
    grid_jack=$(sed -nE 's/^ *track table read as well.*best ([0-9]+) ms.*/\1/p' "$out/page-jack.txt")
fi
echo "plug-in to 'tarn devices' listing the looper (best of $rounds):"
echo "  USB bus in the VM (software emulation): ${usb_best} ms"
echo "  simulator over JACK, on this machine:    ${jack_best} ms"
echo "plug-in to usable in the page (best of $rounds; on this machine best of 5):"
echo "  USB bus in the VM (software emulation): ${page_usb:--} ms"
echo "  simulator over JACK, on this machine:    ${page_jack:--} ms"
echo "plug-in to its tracks shown (the grid in the VM's page; the track table read on this machine):"
echo "  USB bus in the VM (software emulation): ${grid_usb:--} ms"
echo "  simulator over JACK, on this machine:    ${grid_jack:--} ms"
