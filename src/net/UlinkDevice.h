#pragma once

#include "base/Json.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A device found on the network, as its discovery reply describes it. Crosses the bridge as a
// JSON object whose keys end in "Key".
struct UlinkDevice {
    std::string address;  // dotted decimal
    uint16_t port = 0;
    std::string uid;      // "<model>-<serial as %08X>"
    uint8_t caps = 0;
    uint8_t image = 0;
    uint8_t status = 0;
    std::string manufacturer;
    std::string version;
    std::string name;

    Json toJson() const;
    // The address and port of a record from the page (other keys kept when present);
    // throws on a text that is not a JSON object.
    static UlinkDevice fromJson(const std::string& text);
};

// The discovery datagram and its reply.
namespace UlinkDiscoveryWire {
constexpr uint16_t kRequestPort = 9314;
constexpr size_t kRequestSize = 8;
constexpr size_t kReplySize = 84;
constexpr char kSignature[] = "UDDPv1";  // 6 bytes on the wire, no terminator

// "UDDPv1" and the port the replies go to, big-endian.
std::string request(uint16_t replyPort);
// Checks an 84-byte reply from peerAddress (network byte order) and fills device: false for a
// wrong signature, a zero peer address, service port or capabilities byte.
bool parseReply(const unsigned char* reply, size_t size, uint32_t peerAddress, UlinkDevice& device);
// A fixed-size text field: up to its first NUL, each byte a Latin-1 character, as UTF-8.
std::string latin1Field(const unsigned char* field, size_t size);
}  // namespace UlinkDiscoveryWire
