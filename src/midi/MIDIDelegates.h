#pragma once

#include "midi/MIDIEndpointInfo.h"

#include <cstdint>

// What a MIDI client reports to its owner. Called from the UI thread (connect failures),
// the client's poll thread (device changes) and any thread that sends (write errors).
class MIDIClientDelegate {
public:
    virtual ~MIDIClientDelegate() = default;
    virtual void midiInputPortConnectFailed(const MIDIEndpointInfo&) {}
    virtual void midiOutputPortConnectFailed(const MIDIEndpointInfo&) {}
    virtual void midiObjectAddedRemoved() {}
    virtual void midiErrorDidOccur(int32_t) {}
};

// Receives every incoming message on the MIDI system's input thread.
class MIDIInputDelegate {
public:
    virtual ~MIDIInputDelegate() = default;
    virtual void midiInputMessage(const uint8_t*, uint32_t, uint32_t) {}
};
