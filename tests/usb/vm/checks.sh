# Shared by the scripts that run inside the rig's VM: steps, checks and bounded waits.
# Each failed check prints what was expected and what Tarn said; the script goes on to
# the next step so that one run shows every fault, and exits 1 at the end.
failures=0
tarn=${TARN:-${TARN_BUILD:-$RIG_REPO/build}/tarn}

# Steps show on the VM's console too, with the time, to follow a slow run.
step() {
    echo "=== $*"
    echo "rig: $(cut -d' ' -f1 /proc/uptime) step: $*" >/dev/console
}
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
# A fault known and not yet mended: reported in the log, not counted, so that the rest of
# the run still guards what works.
known() { echo "KNOWN FAULT: $*"; }

# expect WHAT TEXT FILE: FILE contains TEXT.
expect_in() {
    if grep -qF -- "$2" "$3"; then pass "$1"; else fail "$1: no \"$2\" in:"; sed 's/^/    /' "$3"; fi
}
expect_not_in() {
    if grep -qF -- "$2" "$3"; then fail "$1: \"$2\" in:"; sed 's/^/    /' "$3"; else pass "$1"; fi
}

# run_tarn OUTPUT ARGS...: runs a command (bounded), its stdout and stderr into OUTPUT;
# returns its status.
run_tarn() {
    local out=$1
    shift
    timeout 120 "$tarn" "$@" >"$out" 2>&1
}

# The copy temporaries on a volume.
temporaries() { find "$1" -name '.tarn-copy-*' 2>/dev/null; }

# wait_for_file FOLDER PATTERN S [PID]: waits (at most S seconds, and only while PID
# runs) until a file of this name pattern shows up under the folder.
wait_for_file() {
    local folder=$1 pattern=$2 s=$3 pid=${4:-} deadline=$((SECONDS + $3))
    until [ -n "$(find "$folder" -name "$pattern" 2>/dev/null | head -n 1)" ]; do
        [ $SECONDS -lt "$deadline" ] || return 1
        [ -z "$pid" ] || kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
}

# silence FILE SECONDS: a 16-bit stereo 44.1 kHz WAV of silence.
silence() {
    local bytes=$(($2 * 44100 * 4))
    le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
    {
        printf 'RIFF'; printf "$(le32 $((bytes + 36)))"; printf 'WAVEfmt '
        printf "$(le32 16)\x01\x00\x02\x00$(le32 44100)$(le32 176400)\x04\x00\x10\x00data"
        printf "$(le32 "$bytes")"
        head -c "$bytes" /dev/zero
    } >"$1"
}

# Milliseconds since the epoch, for the figures the log reports.
now_ms() { date +%s%3N; }

# Waits (at most S seconds) for a process to end; 1 when it is still running.
wait_pid() {
    local pid=$1 deadline=$((SECONDS + $2))
    while kill -0 "$pid" 2>/dev/null; do
        [ $SECONDS -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

# edit_modes: how often slot 0's looper has entered edit mode so far.
edit_modes() { grep -c '^mode 1' /tmp/looper-0.sim; }
# wait_for_edit_mode COUNT PID: waits (300 s at most, while PID runs) until the looper
# enters edit mode again after COUNT times.
wait_for_edit_mode() {
    local deadline=$((SECONDS + 300))
    until [ "$(edit_modes)" -gt "$1" ]; do
        [ $SECONDS -lt $deadline ] && kill -0 "$2" 2>/dev/null || return 1
        sleep 0.05
    done
}

# unplugged_during NAME LOG PID [DONE]: pulls slot 0's looper out now; the command (PID,
# its output in LOG) must end within 20 s saying that the device is gone or failed. The
# log gets when its message came and when it ended. Returns 1 (nothing checked) when the
# command had succeeded before the unplug reached it (its status, or its output matching
# the pattern DONE: leaving edit mode may still fail).
unplugged_during() {
    local name=$1 log=$2 pid=$3 done=${4:-} pulled said= status deadline=$((SECONDS + 20))
    looper.sh unplug
    pulled=$(now_ms)
    while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
        [ -n "$said" ] || ! grep -q '^tarn: ' "$log" || said=$(now_ms)
        sleep 0.05
    done
    if kill -0 "$pid" 2>/dev/null; then
        fail "$name still running 20 s after the unplug"
        kill "$pid"
        return 0
    fi
    wait "$pid"
    status=$?
    local came="with its end"
    [ -z "$said" ] || came="$((said - pulled)) ms after the unplug"
    echo "figure: the $name's message came $came; it ended $(($(now_ms) - pulled)) ms after the unplug (status $status)"
    grep '^tarn: ' "$log" | sed "s/^/said: /"
    if [ "$status" -eq 0 ] || { [ -n "$done" ] && grep -qE "$done" "$log"; }; then
        echo "note: the $name was over before the unplug reached it; nothing to check:"; cat "$log"
        return 1
    fi
    grep -qE 'device is gone|could not be read or written' "$log" && pass "$name: the unplug is reported" ||
        { fail "$name: the unplug is not reported as such:"; cat "$log"; }
}

# repair_volume: what a pull leaves on the Eddy Duo's volume (a half-written cluster chain,
# lost clusters) can make vfat set it read-only at the next write, as it would for a user,
# who repairs it then. So does the rig after each unplug step, and says what it found, so
# that the next step starts from a sound volume.
repair_volume() {
    local dev
    dev=$(findmnt -n -o SOURCE "$duo") || { fail "repair: the volume is not mounted"; return; }
    ! findmnt -n -o OPTIONS "$duo" | grep -qE '(^|,)ro(,|$)' || echo "note: vfat had set the volume read-only"
    udisksctl unmount --no-user-interaction -b "$dev" >/dev/null || fail "repair: unmount"
    fsck.fat -a "$dev" 2>&1 | grep -vE '^fsck.fat|^/dev/|^$' | sed 's/^/left on the volume: /' | head -n 8
    udisksctl mount --no-user-interaction -b "$dev" >/dev/null || fail "repair: mount"
    duo=$(looper.sh mount-point)
}

finish_checks() {
    local sim
    for sim in /tmp/looper-*.sim; do
        [ -f "$sim" ] || continue
        echo "--- what the simulator on the gadget side saw ($sim, last lines)"
        tail -n 40 "$sim"
    done
    if [ "$failures" -eq 0 ]; then echo "=== all checks passed"; exit 0; fi
    echo "=== $failures checks failed"
    exit 1
}
