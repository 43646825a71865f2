#!/bin/sh
# Runs the dialog test program on a private Xvfb server and plays the user with xdotool:
# types a file's path and Enter into each of two "Open" dialogs (one file, several files),
# then Escape into "Select Folder".
# Usage: with_xvfb_dialog.sh <test program>
set -u
program=$1
dir=$(mktemp -d "${TMPDIR:-/tmp}/tarn-xvfb-XXXXXX")
xvfb_pid=""
test_pid=""
cleanup() {
    [ -n "$test_pid" ] && kill "$test_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT INT TERM

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb_pid=$!
i=0
until [ -s "$dir/display" ]; do
    i=$((i + 1)); [ $i -gt 100 ] && { echo "Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
DISPLAY=":$(head -n 1 "$dir/display")"
export DISPLAY
# The server answers a client before the program under test needs it to.
i=0
until xdotool getdisplaygeometry >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -gt 100 ] && { echo "Xvfb takes no clients" >&2; cat "$dir/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
# No accessibility bus, no desktop settings service: a bare X session.
NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory GTK_USE_PORTAL=0
export NO_AT_BRIDGE GSETTINGS_BACKEND GTK_USE_PORTAL

mkdir -p "$dir/music"
printf 'RIFF' >"$dir/music/take one.wav"
TARN_TEST_PICK="$dir/music/take one.wav"
export TARN_TEST_PICK

"$program" >"$dir/test.log" 2>&1 &
test_pid=$!

# Waits for a window with the exact title and gives it the keyboard.
focus() {
    i=0
    while :; do
        window=$(xdotool search --name "^$1\$" 2>/dev/null | head -n 1)
        [ -n "$window" ] && break
        i=$((i + 1)); [ $i -gt 300 ] && { echo "no \"$1\" window appeared" >&2; return 1; }
        sleep 0.1
    done
    sleep 0.5
    xdotool windowfocus "$window"
    sleep 0.3
}

# Types the path into the open dialog and takes it; returns once that window is gone
# (by its id: the next dialog has the same title).
pick() {
    focus "Open" || return 1
    answered=$window
    xdotool type --delay 15 "$TARN_TEST_PICK"
    sleep 0.5
    xdotool key Return
    i=0
    while xdotool getwindowname "$answered" >/dev/null 2>&1; do
        i=$((i + 1)); [ $i -gt 300 ] && { echo "the \"Open\" window stayed" >&2; return 1; }
        sleep 0.1
    done
}

played=0
if pick && pick; then
    if focus "Select Folder"; then
        xdotool key Escape
        played=1
    fi
fi
wait "$test_pid"
status=$?
test_pid=""
cat "$dir/test.log"
if [ $played -ne 1 ]; then
    status=1
    echo "--- Xvfb's log:" >&2
    cat "$dir/xvfb.log" >&2
fi
exit $status
