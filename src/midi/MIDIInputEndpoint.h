#pragma once

#include "midi/MIDIEndpointInfo.h"
#include "midi/MIDISystem.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// One open connection to a MIDI input device. Every message the system hands over is passed,
// whole, to the receiver on the MIDI system's input thread.
//
// Closing first shuts the delivery gate, then lets RtMidi close the port. The gate is a flag
// under a lock that each delivery holds while it runs, so shutting it waits for a delivery in
// progress and turns later ones away before they reach the receiver. This matters over JACK:
// RtMidi delivers from the client's process thread and, on close, the JACK library ends that
// thread by asynchronous cancellation, which must never find it inside our code (a thread
// cancelled in the middle of the receiver leaves locks held and the heap half-updated).
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

    void deliver(const std::vector<unsigned char>& message);

    Receiver receiver_;
    std::mutex gate_;
    bool delivering_ = false;  // under gate_
    std::unique_ptr<MIDISystem::Quiet<RtMidiIn>> midi_;
};
