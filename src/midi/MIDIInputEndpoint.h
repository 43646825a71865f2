#pragma once

#include "midi/MIDIEndpointInfo.h"
#include "midi/MIDIPortConnection.h"

#include <memory>

// One open connection to a MIDI input device. Every message the system hands over is passed,
// whole, to the receiver on the MIDI system's input thread; none is once close() returns.
class MIDIInputEndpoint {
public:
    using Receiver = MIDISystem::Receiver;

    explicit MIDIInputEndpoint(Receiver receiver) : receiver_(std::move(receiver)) {}
    MIDIInputEndpoint(const MIDIInputEndpoint&) = delete;
    MIDIInputEndpoint& operator=(const MIDIInputEndpoint&) = delete;
    ~MIDIInputEndpoint() { close(); }

    // Closes, then connects to the port that endpoint names; false when there is none or it
    // cannot be opened.
    bool open(const MIDIEndpointInfo& endpoint);
    void close() { system_.reset(); }
    bool isOpen() const { return system_ != nullptr; }

private:
    Receiver receiver_;
    std::unique_ptr<MIDISystem::Input> system_;
};
