#!/bin/bash
# Inside the rig's VM: the command line against loopers on the USB bus (MIDI over the
# kernel's USB-MIDI driver and ALSA sequencer, volumes through vfat mounted by udisks2).
set -u
# Under software emulation a command takes longer to start than its usual 15 s wait.
export TARN_LOOPER_WAIT=180
. "$(dirname "$0")/checks.sh"
work=$(mktemp -d)
# Audio made without computing samples: under emulation sox takes minutes for a long file.
silence "$work/short.wav" 1
silence "$work/long.wav" 90

step "an Eddy Duo plugged in before Tarn starts"
looper.sh plug "Eddy Duo" >"$work/plug" || { cat "$work/plug"; fail "plug"; finish_checks; }
duo=$(cat "$work/plug")
run_tarn "$work/out" devices --json
expect_in "devices: the model" '"Eddy Duo"' "$work/out"
expect_in "devices: the MIDI ports over ALSA" '"midiIn":"EDDY DUO","midiOut":"EDDY DUO"' "$work/out"
expect_in "devices: the edit mode read over the USB wire" '"editMode":0' "$work/out"
expect_in "devices: the udisks2 mount" "$duo" "$work/out"

step "import, ls, export, rm, backup and restore"
run_tarn "$work/out" import "$work/short.wav" 1/1 || fail "import: $(cat "$work/out")"
run_tarn "$work/out" import "$work/short.wav" 1/2 || fail "import 1/2: $(cat "$work/out")"
run_tarn "$work/out" ls --json
expect_in "ls: the imported track" 'short.wav' "$work/out"
run_tarn "$work/out" export 1/1 "$work/exported.wav" --format 16 || fail "export: $(cat "$work/out")"
[ -s "$work/exported.wav" ] && pass "export wrote the file" || fail "export: no file"
run_tarn "$work/out" backup "$work/backup" || fail "backup: $(cat "$work/out")"
run_tarn "$work/out" rm 1/2 --yes || fail "rm: $(cat "$work/out")"
[ -z "$(ls -A "$duo/CORVANE/WAVE/001_2")" ] && pass "rm emptied the track" || fail "rm left $(ls -A "$duo/CORVANE/WAVE/001_2")"
run_tarn "$work/out" restore "$work/backup" || fail "restore: $(cat "$work/out")"
[ -n "$(ls -A "$duo/CORVANE/WAVE/001_2")" ] && pass "restore refilled the track" || fail "restore: 1/2 still empty"

step "the volume is clean once unmounted (before any unplug: a pulled cable leaves its marks)"
dev=$(findmnt -n -o SOURCE "$duo")
udisksctl unmount --no-user-interaction -b "$dev" >/dev/null || fail "unmount"
if fsck.fat -n "$dev" >"$work/fsck" 2>&1 && ! grep -qiE 'dirty|mark|wrong|lost|reclaim|differ' "$work/fsck"; then
    pass "fsck.fat -n clean"
else
    fail "fsck.fat -n:"; cat "$work/fsck"
fi
udisksctl mount --no-user-interaction -b "$dev" >/dev/null || fail "mount again"

step "Eddy Duo unplugged as the import of a 90-second file starts copying onto 2/1"
run_tarn "$work/import" import "$work/long.wav" 2/1 &
pid=$!
# The file is converted first, then copied onto the looper: the unplug comes as the copy starts.
wait_for_file "$duo/CORVANE/WAVE/002_1" '.tarn-copy-*' 300 $pid || fail "the import did not start writing"
cut=0
unplugged_during import "$work/import" $pid '^Imported' && cut=1
looper.sh replug >/dev/null || fail "replug"
duo=$(looper.sh mount-point)
run_tarn "$work/out" ls
expect_not_in "ls after re-plug: no handshake failure" 'did not switch to edit mode' "$work/out"
expect_in "ls after re-plug: edit mode from the earlier session" 'in edit mode from an earlier session' "$work/out"
run_tarn "$work/out" ls --json --take-over
if [ $cut -eq 1 ]; then
    expect_not_in "ls --take-over: the half import is no track" 'long.wav' "$work/out"
else
    # Said to be imported before the unplug: then all of it is there (90 s at 44.1 kHz).
    expect_in "ls --take-over: the import said done is whole" '3969000' "$work/out"
fi
left=$(temporaries "$duo")
[ -z "$left" ] && pass "no temporary left once Tarn saw the volume" || fail "temporaries left after tarn ls: $left"

repair_volume

step "Eddy Duo unplugged as an export starts reading the track"
run_tarn "$work/out" import "$work/long.wav" 3/1 --take-over || fail "import for the export: $(cat "$work/out")"
modes=$(edit_modes)
run_tarn "$work/export" export 3/1 "$work/long-out.wav" --format float &
pid=$!
# The export reads the track as soon as the looper is in edit mode: the unplug comes then.
wait_for_edit_mode "$modes" $pid
if unplugged_during export "$work/export" $pid '^Exported'; then
    expect_in "export: the reason is the device" 'device is gone' "$work/export"
    [ ! -e "$work/long-out.wav" ] && pass "no partial export" || fail "a partial export was left: $(ls -l "$work/long-out.wav")"
fi
[ -z "$(temporaries "$work")" ] && pass "no export temporary" || fail "export temporaries: $(temporaries "$work")"
looper.sh replug >/dev/null || fail "replug"
duo=$(looper.sh mount-point)

repair_volume

# The gadget serves its volume at memory speed: a restore or a backup of a few tracks is
# over in a moment, so these unplugs come as the looper enters edit mode for them.
step "Eddy Duo unplugged as a restore starts"
run_tarn "$work/out" backup "$work/full" --take-over || fail "backup before the unplugs: $(cat "$work/out")"
modes=$(edit_modes)
run_tarn "$work/restore-cut.log" restore "$work/full" --replace &
pid=$!
wait_for_edit_mode "$modes" $pid
unplugged_during restore "$work/restore-cut.log" $pid '^Restored'
looper.sh replug >/dev/null || fail "replug"
duo=$(looper.sh mount-point)
run_tarn "$work/out" ls --json --take-over
expect_in "ls after the cut restore: 3/1 still holds its track" 'long.wav' "$work/out"
left=$(find "$duo/CORVANE" -name '.tarn-*' 2>/dev/null)
[ -z "$left" ] && pass "no restore temporary left once Tarn saw the volume" || fail "left after tarn ls: $left"

repair_volume

step "Eddy Duo unplugged as a backup starts"
modes=$(edit_modes)
run_tarn "$work/backup-cut.log" backup "$work/cut" &
pid=$!
wait_for_edit_mode "$modes" $pid
if unplugged_during backup "$work/backup-cut.log" $pid '^Backed up'; then
    [ ! -e "$work/cut" ] && pass "no half backup left" || fail "a half backup was left: $(find "$work/cut")"
fi
[ -z "$(temporaries "$work")" ] && pass "no backup temporary" || fail "backup temporaries: $(temporaries "$work")"
looper.sh replug >/dev/null || fail "replug"
duo=$(looper.sh mount-point)

repair_volume

step "two loopers: an Eddy One beside the Eddy Duo"
looper.sh plug "Eddy One" --slot 1 >/dev/null || fail "plug Eddy One"
run_tarn "$work/out" devices --json
expect_in "devices: the Eddy One" '"Eddy One"' "$work/out"
expect_in "devices: still the Eddy Duo" '"Eddy Duo"' "$work/out"
looper.sh unplug --slot 1

step "an Eddy Six whose volume udisks2 mounts read-only"
looper.sh plug "Eddy Six" --slot 1 --read-only >/dev/null || fail "plug Eddy Six"
run_tarn "$work/out" devices --json
device=$(node -e 'const d = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8")); const l = Array.isArray(d) ? d : d.devices || []; console.log(l.findIndex((x) => JSON.stringify(x).includes("Eddy Six")) + 1)' "$work/out")
run_tarn "$work/out" import "$work/short.wav" 1/1 --device "$device"
expect_in "import onto a read-only volume says so" 'read-only' "$work/out"
finish_checks
