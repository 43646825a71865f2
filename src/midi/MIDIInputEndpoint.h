#pragma once

#include "midi/MIDIEndpointInfo.h"
#include "midi/MIDISystem.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// One open connection to a MIDI input device. Every message the system hands over is passed,
// whole, to the receiver on the MIDI system's input thread.
class MIDIInputEndpoint {
public:
    using Receiver = std::function<void(const std::vector<unsigned char>& message)>;

    explicit MIDIInputEndpoint(Receiver receiver) : receiver_(std::move(receiver)) {}
    MIDIInputEndpoint(const MIDIInputEndpoint&) = delete;
    MIDIInputEndpoint& operator=(const MIDIInputEndpoint&) = delete;
    // Closes; no message is passed on once it returns.
    ~MIDIInputEndpoint();

    // Closes, then connects to the port that endpoint names; false when there is none or it
    // cannot be opened.
    bool open(const MIDIEndpointInfo& endpoint);
    void close();
    bool isOpen() const { return midi_ != nullptr; }

private:
    static void received(double, std::vector<unsigned char>* message, void* self);

    Receiver receiver_;
    std::unique_ptr<MIDISystem::Quiet<RtMidiIn>> midi_;
};
