#!/bin/bash
# Inside the rig's VM: the headless host whose page a browser outside drives
# (tests/usb/page.mjs), through the one port the rig forwards. The host serves on the
# VM's loopback only, so a relay takes the forwarded port on the VM's network address to
# it: the same port number, so that the browser's Host header names the host's origin.
#
#   page.sh PORT
#
# The driver and this script talk through the rig's output share (/rig-out): the driver
# writes a request req.N (one word), this script answers in ans.N (its status on the
# first line, what it saw after). Requests: plug, unplug (the cable pulled), replug (the
# same looper again), ejected (what the desktop and the looper show after Disconnect). The script ends when Tarn ends (the
# page's Exit) or the driver writes "abort", and then checks that Tarn left the looper
# out of edit mode.
set -u
export TARN_LOOPER_WAIT=180
. "$(dirname "$0")/checks.sh"
port=$1
talk=/rig-out
gadget=/sys/kernel/config/usb_gadget/looper0
work=$(mktemp -d)

step "the headless host on port $port"
# The looper's volume exists before it is plugged in: made meanwhile, not counted in the
# plug-in (looper.sh keeps it as /tmp/looper-0.img).
"$(dirname "$0")/../../../tools/looper-volume.sh" image "Eddy Duo" /tmp/looper-0.img >"$work/image" 2>&1 &
image_pid=$!
# No catalogue: nothing leaves the VM.
mkdir -p "$HOME/.local/share/Corvane/tarn/pref"
printf 'http://127.0.0.1:9/none.json' >"$HOME/.local/share/Corvane/tarn/pref/catalogueAddress"
TARN_DIALOG_ANSWERS=$talk/answers.txt "$tarn" --headless --port "$port" >"$work/tarn.out" 2>"$work/tarn.err" &
tarn_pid=$!
deadline=$((SECONDS + 300))
until [ -s "$work/tarn.out" ] || ! kill -0 $tarn_pid 2>/dev/null || [ $SECONDS -ge $deadline ]; do sleep 0.2; done
[ -s "$work/tarn.out" ] || { fail "the host printed no address"; cat "$work/tarn.err"; kill $tarn_pid; finish_checks; }
node "$(dirname "$0")/relay.mjs" "$(ip -4 -o addr show scope global | awk '{print $4; exit}' | cut -d/ -f1)" "$port" \
    >"$work/relay" 2>&1 &
relay_pid=$!
until grep -qs '^ready' "$work/relay" || ! kill -0 $relay_pid 2>/dev/null || [ $SECONDS -ge $deadline ]; do sleep 0.2; done
grep -q '^ready' "$work/relay" || { fail "the relay did not start"; cat "$work/relay"; kill $tarn_pid; finish_checks; }
wait $image_pid || { fail "the looper's volume could not be made"; cat "$work/image"; }
head -n 1 "$work/tarn.out" >"$talk/address.part" && mv "$talk/address.part" "$talk/address"
pass "the host serves $(head -n 1 "$work/tarn.out" | sed 's/token=.*/token=.../')"

# ejected: after the page's Disconnect, the desktop unmounted the volume and ejected its
# media (the gadget let its backing file go; the looper stays on the bus with its MIDI
# ports, which a power-off would take away), the looper is out of edit mode and the
# volume is clean.
ejected() {
    local before=$failures
    local file state
    file=$(cat "$gadget/functions/mass_storage.usb0/lun.0/file") state=$(cat /sys/class/udc/dummy_udc.0/state)
    echo "gadget: backing file '$file', controller state '$state'"
    [ -z "$file" ] && pass "the gadget saw the eject" || fail "the gadget still serves $file"
    ! grep -q ' /media/root/EDDY_DUO ' /proc/mounts && pass "the volume is unmounted" || fail "the volume is still mounted"
    [ "$(grep '^mode ' /tmp/looper-0.sim | tail -n 1)" = "mode 0" ] && pass "Disconnect left edit mode" ||
        fail "the looper is still in edit mode: $(grep '^mode ' /tmp/looper-0.sim | tail -n 1)"
    if fsck.fat -n /tmp/looper-0.img >"$work/fsck" 2>&1 && ! grep -qiE 'dirty|mark|wrong|lost|reclaim|differ' "$work/fsck"; then
        pass "fsck.fat -n clean"
    else
        fail "fsck.fat -n:"; cat "$work/fsck"
    fi
    return $((failures - before))
}

answer() {
    local n=$1 what=$2 status=0
    step "request $n: $what"
    case $what in
    # A looper fresh from its own power switch, whatever edit mode a pull left it in.
    plug) looper.sh plug "Eddy Duo" --edit-mode 0 >"$work/req" 2>&1 || status=$? ;;
    # The cable pulled, and the desktop taking down the dead mount.
    unplug) { looper.sh unplug; udisksctl unmount --no-user-interaction -b /dev/sda >/dev/null 2>&1 || true; } >"$work/req" 2>&1 ;;
    replug) { looper.sh unplug && looper.sh replug; } >"$work/req" 2>&1 || status=$? ;;
    ejected) ejected >"$work/req" 2>&1 || status=$? ;;
    *) echo "unknown request" >"$work/req"; status=2 ;;
    esac
    cat "$work/req"
    # Pulled out, a looper keeps the edit mode it had: Tarn can leave only a plugged one's.
    case $what in unplug) plugged=0 ;; plug | replug) plugged=1 ;; esac
    { echo "$status"; cat "$work/req"; } >"$talk/ans.$n.part" && mv "$talk/ans.$n.part" "$talk/ans.$n"
}

# Requests until Tarn ends; bounded in all (the driver's own waits are shorter).
n=1 plugged=0
deadline=$((SECONDS + 1200))
while kill -0 $tarn_pid 2>/dev/null && [ ! -e "$talk/abort" ] && [ $SECONDS -lt $deadline ]; do
    if [ -e "$talk/req.$n" ]; then
        answer $n "$(cat "$talk/req.$n")"
        n=$((n + 1))
    else
        sleep 0.2
    fi
done

step "Tarn ends"
if kill -0 $tarn_pid 2>/dev/null; then
    fail "Tarn is still running ($([ -e "$talk/abort" ] && echo "the driver gave up" || echo "no exit within 1200 s"))"
    kill -TERM $tarn_pid
    wait_pid $tarn_pid 60 || kill -KILL $tarn_pid
fi
wait $tarn_pid
status=$?
[ $status -eq 0 ] && pass "Tarn ended with status 0" || fail "Tarn ended with status $status"
last=$(grep '^mode ' /tmp/looper-0.sim 2>/dev/null | tail -n 1)
if [ $plugged = 0 ]; then
    echo "note: the looper was pulled out last ($last)"
elif [ "$last" = "mode 0" ]; then
    pass "the looper left edit mode"
else
    fail "the looper is left in edit mode (${last:-no mode seen})"
fi
echo "the looper entered edit mode $(grep -c '^mode 1' /tmp/looper-0.sim 2>/dev/null) times (once per plug-in)"
kill $relay_pid 2>/dev/null
echo "--- what the host wrote on stderr"
cat "$work/tarn.err"
finish_checks
