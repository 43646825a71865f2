# Shared by the scripts that run inside the rig's VM: steps, checks and bounded waits.
# Each failed check prints what was expected and what Tarn said; the script goes on to
# the next step so that one run shows every fault, and exits 1 at the end.
failures=0
tarn=${TARN:-${TARN_BUILD:-$RIG_REPO/build}/tarn}

step() { echo "=== $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

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
    if [ "$failures" -eq 0 ]; then echo "=== all checks passed"; exit 0; fi
    echo "=== $failures checks failed"
    exit 1
}
