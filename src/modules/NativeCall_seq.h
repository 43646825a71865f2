#pragma once

#include "bridge/NativeCall.h"
#include "midi/SequencerDelegate.h"

#include <atomic>

class JavaScriptInterface;
class MIDIClient;

// The MIDI-file sequencer for the page: load, transport, loop range, tempo, mute, transpose,
// metronome; "stop" and "tempo" as events.
class NativeCall_seq : public NativeCall {
public:
    explicit NativeCall_seq(NativeObjects* objects);
    std::string moduleName() const override { return "seq"; }
};

// Plays the sequencer's bytes to the application's MIDI output (output type 1; any other type
// sends nothing) and turns its reports into "seq" events.
class _SequencerDelegate : public SequencerDelegate {
public:
    static constexpr int kApplicationOutput = 1;

    _SequencerDelegate(JavaScriptInterface* controller, MIDIClient* client) : controller_(controller), client_(client) {}
    void sequencerOutput(const std::string& song, const std::string& metronome) override;
    void sequencerDidStop() override;
    void sequencerTempoChanged(int bpm) override;

    void setOutputType(int type) { outputType_.store(type); }
    int outputType() const { return outputType_.load(); }

private:
    JavaScriptInterface* controller_;
    MIDIClient* client_;
    std::atomic<int> outputType_{0};
};
