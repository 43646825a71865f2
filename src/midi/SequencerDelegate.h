#pragma once

#include <string>

// What the sequencer reports. Every callback may come from the UI thread or the play timer's
// thread; the sequencer's lock is held during each, so they never overlap.
class SequencerDelegate {
public:
    virtual ~SequencerDelegate() = default;
    // MIDI bytes to play now: the song's (at most 256 bytes a call, cut before a status byte,
    // unless one message is longer) and the metronome click's (empty when it is off).
    virtual void sequencerOutput(const std::string& song, const std::string& metronome) {
        (void)song;
        (void)metronome;
    }
    // Playing has stopped (pause, stop, or the end of the range without loop).
    virtual void sequencerDidStop() {}
    // The tempo in effect has changed to bpm (60000000 / microseconds per quarter note).
    virtual void sequencerTempoChanged(int bpm) { (void)bpm; }
};
