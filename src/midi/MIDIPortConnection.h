#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// An open connection to one port of the MIDI system, whichever backend serves it.
namespace MIDISystem {

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
    // Writes one whole message: 0 on success, otherwise the RtMidi error type that says why
    // (a plain warning is reported as a driver error).
    virtual int send(const uint8_t* data, size_t length) = 0;
};

}  // namespace MIDISystem
