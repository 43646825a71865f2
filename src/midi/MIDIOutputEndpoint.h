#pragma once

#include "midi/MIDIEndpointInfo.h"
#include "midi/MIDIPortConnection.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// One open connection to a MIDI output device. The send operations return 0 on success and
// otherwise the MIDI system's SendError.
class MIDIOutputEndpoint {
public:
    MIDIOutputEndpoint() = default;
    MIDIOutputEndpoint(const MIDIOutputEndpoint&) = delete;
    MIDIOutputEndpoint& operator=(const MIDIOutputEndpoint&) = delete;
    virtual ~MIDIOutputEndpoint();

    // Closes, then connects to the port that endpoint names. False when there is none or it
    // cannot be opened (the connection is then closed).
    virtual bool open(const MIDIEndpointInfo& endpoint);
    virtual void close();
    virtual bool isOpen() const { return system_ != nullptr; }
    // Writes a channel, system-common or real-time message of 1 to 3 bytes; 0 when closed.
    virtual int sendShort(const uint8_t* data, size_t length);
    // Writes a whole SysEx; 0 when closed.
    virtual int sendLong(const uint8_t* data, size_t length);

    // Hands over the system connection, leaving this endpoint closed. Closing a system
    // connection can wait for the MIDI system's cycle, so a sender running on such a cycle
    // retires it instead and lets the UI thread drop it later.
    std::unique_ptr<MIDISystem::Output> retire() { return std::move(system_); }

private:
    int write(const uint8_t* data, size_t length) { return system_ ? system_->send(data, length) : 0; }

    std::unique_ptr<MIDISystem::Output> system_;
};
