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

# Waits (at most S seconds) until a file of this name pattern shows up under a folder.
wait_for_file() {
    local folder=$1 pattern=$2 s=$3 deadline=$((SECONDS + $3))
    until [ -n "$(find "$folder" -name "$pattern" 2>/dev/null | head -n 1)" ]; do
        [ $SECONDS -lt "$deadline" ] || return 1
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
