#pragma once

#include "net/UlinkDelegates.h"
#include "net/UlinkMIDIPackets.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class UlinkNetClient;

// MIDI over the link: received MIDI payloads become whole messages for the delegate, and MIDI
// bytes to send are packed with a time stamp from the clock.
class UlinkMIDIService {
public:
    using Clock = std::function<uint32_t()>;

    UlinkMIDIService(UlinkNetClient& link, Clock clock) : link_(link), clock_(std::move(clock)) {}

    void setDelegate(UlinkMIDIServiceDelegate* delegate) { delegate_ = delegate; }
    // Link thread: one received MIDI payload.
    void receive(const std::string& payload);
    // Forgets unfinished sysex (a new link starts clean).
    void reset();
    // Packs and sends; more than one message when the data would not fit one. False when
    // nothing could be sent (not linked, a send failed); true for nothing to send.
    bool send(const std::string& midi);

private:
    UlinkNetClient& link_;
    Clock clock_;
    UlinkMIDIServiceDelegate* delegate_ = nullptr;
    std::mutex assemblerMutex_;
    UlinkMIDIAssembler assembler_;
};
