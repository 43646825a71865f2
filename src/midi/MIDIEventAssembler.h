#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Turns the events a MIDI port buffer holds into whole messages. A system may hand a long
// SysEx over in pieces: an event that starts with F0 and does not end with F7 is kept, and
// the events that follow (data bytes) are added to it until one ends with F7. While a SysEx is
// pending, a real-time byte (F8-FF) passes on by itself, as on the wire; any other status
// abandons the unfinished SysEx and is passed on as it is. Every other event is one message.
class MIDIEventAssembler {
public:
    using Emit = std::function<void(const uint8_t* data, size_t length)>;
    // A SysEx that grows past this is dropped, whole (a device that never ends one).
    static constexpr size_t kMaxSysEx = 1 << 20;

    MIDIEventAssembler() { pending_.reserve(4096); }

    void take(const uint8_t* data, size_t length, const Emit& emit);
    bool pending() const { return inSysEx_; }

private:
    void append(const uint8_t* data, size_t length, const Emit& emit);

    std::vector<uint8_t> pending_;
    bool inSysEx_ = false;
    bool overflowed_ = false;
};
