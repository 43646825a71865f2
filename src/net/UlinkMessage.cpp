#include "net/UlinkMessage.h"

std::string UlinkMessage::encode() const { return encode(type, subtype, payload); }

std::string UlinkMessage::encode(uint8_t type, uint8_t subtype, const std::string& payload) {
    if (payload.size() > kMaxPayload) return std::string();
    std::string out;
    out.reserve(kHeaderSize + payload.size());
    out += static_cast<char>(type);
    out += static_cast<char>(subtype);
    out += static_cast<char>(payload.size() >> 8 & 0x7F);
    out += static_cast<char>(payload.size() & 0xFF);
    out += payload;
    return out;
}

UlinkMessageReader::Result UlinkMessageReader::next(UlinkMessage& message) {
    unsigned char header[UlinkMessage::kHeaderSize];
    if (!readExact_(header, sizeof header)) return Result::End;
    if (header[2] & 0x80) return Result::BadLength;
    size_t length = static_cast<size_t>(header[2]) << 8 | header[3];
    if (length > 0 && !readExact_(buffer_, length)) return Result::End;
    message.type = header[0];
    message.subtype = header[1];
    message.payload.assign(reinterpret_cast<const char*>(buffer_), length);
    return Result::Message;
}

uint32_t ulinkBigEndian32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}
