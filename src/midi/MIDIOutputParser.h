#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Cuts a byte string into MIDI messages for sending. Keeps running status and a SysEx being
// collected across calls. Channel and system-common messages and real-time bytes are handed
// over as short messages; a SysEx (at most 512 bytes with its F0 and F7; the data bytes past
// that are dropped and F7 is still appended) as one long message when its F7 arrives.
// Not thread-safe: its owner serialises calls.
class MIDIOutputParser {
public:
    using Sink = std::function<void(const uint8_t* data, size_t length, bool isLong)>;
    static constexpr size_t kSysExLimit = 512;

    void parse(const uint8_t* bytes, size_t length, const Sink& deliver);

    // 0: no status; 1: collecting a SysEx; 0x80-0xEF: the running channel status.
    uint8_t runningStatus() const { return running_; }

private:
    uint8_t running_ = 0;
    size_t sysExLength_ = 0;
    uint8_t sysEx_[kSysExLimit] = {};
};
