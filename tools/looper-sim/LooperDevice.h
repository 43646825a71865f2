#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The MIDI side of a looper in edit-mode terms: it answers a read request (RQ1) of the
// edit-mode address with a write (DT1) of the current value, takes DT1 writes of edit mode
// (0 off, 1 on; optionally reading "busy" 2 for a while after a write), answers an identity
// request and echoes every other message. Device-protocol messages with a wrong model ID,
// device ID, checksum, address or value are ignored.
class LooperDevice {
public:
    using Bytes = std::vector<uint8_t>;
    using Clock = std::chrono::steady_clock;

    static constexpr uint8_t kManufacturer = 0x7D;
    static constexpr uint8_t kDeviceId = 0x10;
    static constexpr uint32_t kEditModeAddress = 0x7F700000;

    LooperDevice(Bytes modelId, std::chrono::milliseconds busyTime, uint8_t editMode = 0)
        : modelId_(std::move(modelId)), busyTime_(busyTime), editMode_(editMode) {}

    // The answers to one received message, in order (none, one reply or the echo).
    std::vector<Bytes> receive(const Bytes& message, Clock::time_point now = Clock::now());
    // The edit-mode value a read gets now: 2 while busy after a write.
    uint8_t editMode(Clock::time_point now = Clock::now()) const;

    // Checksum of address and data bytes: (128 - (sum & 0x7F)) & 0x7F.
    static uint8_t checksum(const Bytes& bytes);
    Bytes header() const;
    Bytes dataSet(uint32_t address, const Bytes& data) const;

private:
    std::vector<Bytes> handleDeviceMessage(const Bytes& message, Clock::time_point now);

    Bytes modelId_;
    std::chrono::milliseconds busyTime_;
    uint8_t editMode_;
    Clock::time_point busyUntil_{};
};

std::string hexText(const std::vector<uint8_t>& bytes);
// Two hex digits per byte, either case; false for anything else.
bool parseHex(const std::string& text, std::vector<uint8_t>& bytes);
