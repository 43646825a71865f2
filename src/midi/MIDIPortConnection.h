#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// An open connection to one port of the MIDI system, whichever backend serves it.
namespace MIDISystem {

// Why a write failed. The numbers are the codes the MIDI "error" events have always carried.
enum SendError : int {
    kSendUnspecified = 2,
    kSendNoDevices = 3,
    kSendInvalidDevice = 4,
    kSendOutOfMemory = 5,
    kSendInvalidParameter = 6,
    kSendInvalidUse = 7,
    kSendDriverError = 8,
    kSendSystemError = 9,
    kSendThreadError = 10,
};

// Gets each received message whole, on the backend's own input thread.
using Receiver = std::function<void(const uint8_t* data, size_t length)>;

// Delivers to its receiver until it is destroyed; once the destructor returns, the receiver
// is never called again.
class Input {
public:
    virtual ~Input() = default;
};

class Output {
public:
    virtual ~Output() = default;
    // Writes one whole message: 0 on success, otherwise the SendError that says why.
    virtual int send(const uint8_t* data, size_t length) = 0;
};

}  // namespace MIDISystem
