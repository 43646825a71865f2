#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// One message of the device link: [type, subtype, length high, length low] and the payload.
// The top bit of the length is always 0, so a payload holds at most 32767 bytes.
struct UlinkMessage {
    static constexpr size_t kHeaderSize = 4;
    static constexpr size_t kMaxPayload = 0x7FFF;

    uint8_t type = 0;
    uint8_t subtype = 0;
    std::string payload;

    // The message on the wire; empty when the payload is too long to frame.
    std::string encode() const;
    static std::string encode(uint8_t type, uint8_t subtype, const std::string& payload = std::string());
};

// Message types of the link.
namespace UlinkType {
constexpr uint8_t KeepAlive = 0;       // subtype 0: ping; subtype 1: interval, 1 byte
constexpr uint8_t DeviceValue = 1;     // subtypes 0-4: a 4-byte big-endian value
constexpr uint8_t MIDI = 2;            // time stamp and event packets
constexpr uint8_t Levels = 3;          // 16 bytes of level data
constexpr uint8_t Audio = 4;           // subtype 0x0B: audio input mode, 1 byte
}  // namespace UlinkType
namespace UlinkSubtype {
constexpr uint8_t Ping = 0;
constexpr uint8_t Interval = 1;
constexpr uint8_t InputMode = 0x0B;
}  // namespace UlinkSubtype

// Reads whole messages from a stream. readExact must fill the whole buffer, or answer false
// when the stream ends (or fails) first.
class UlinkMessageReader {
public:
    enum class Result { Message, End, BadLength };
    using ReadExact = std::function<bool(void* buffer, size_t size)>;

    explicit UlinkMessageReader(ReadExact readExact) : readExact_(std::move(readExact)) {}
    // The next message into message. End when the stream ended, before or inside a message;
    // BadLength for a length with its top bit set (nothing more can be trusted after it).
    Result next(UlinkMessage& message);

private:
    ReadExact readExact_;
    unsigned char buffer_[UlinkMessage::kMaxPayload];
};

uint32_t ulinkBigEndian32(const unsigned char* p);
