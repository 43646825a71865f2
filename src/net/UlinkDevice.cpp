#include "net/UlinkDevice.h"

#include "net/Socket.h"
#include "net/UlinkMessage.h"

#include <cstdio>
#include <cstring>

Json UlinkDevice::toJson() const {
    Json record = Json::object();
    record["UlinkDeviceAddressKey"] = address;
    record["UlinkDevicePortNoKey"] = port;
    record["UlinkDeviceUIDKey"] = uid;
    record["UlinkDeviceCapsKey"] = caps;
    record["UlinkDeviceImageKey"] = image;
    record["UlinkDeviceStatusKey"] = status;
    record["UlinkDeviceManufacturerKey"] = manufacturer;
    record["UlinkDeviceVersionKey"] = version;
    record["UlinkDeviceNameKey"] = name;
    return record;
}

namespace {

std::string textOf(const Json& record, const char* key) {
    auto it = record.find(key);
    return it != record.end() && it->is_string() ? it->get<std::string>() : std::string();
}

long long numberOf(const Json& record, const char* key) {
    auto it = record.find(key);
    if (it == record.end() || !it->is_number()) return 0;
    double value = it->get<double>();
    return value >= 0 && value <= 65535 ? static_cast<long long>(value) : 0;
}

}  // namespace

UlinkDevice UlinkDevice::fromJson(const std::string& text) {
    Json record = parseJson(text);
    if (!record.is_object()) throw std::runtime_error("not a device record");
    UlinkDevice device;
    device.address = textOf(record, "UlinkDeviceAddressKey");
    device.port = static_cast<uint16_t>(numberOf(record, "UlinkDevicePortNoKey"));
    device.uid = textOf(record, "UlinkDeviceUIDKey");
    device.caps = static_cast<uint8_t>(numberOf(record, "UlinkDeviceCapsKey") & 0xFF);
    device.image = static_cast<uint8_t>(numberOf(record, "UlinkDeviceImageKey") & 0xFF);
    device.status = static_cast<uint8_t>(numberOf(record, "UlinkDeviceStatusKey") & 0xFF);
    device.manufacturer = textOf(record, "UlinkDeviceManufacturerKey");
    device.version = textOf(record, "UlinkDeviceVersionKey");
    device.name = textOf(record, "UlinkDeviceNameKey");
    return device;
}

namespace UlinkDiscoveryWire {

std::string request(uint16_t replyPort) {
    std::string out(kSignature, 6);
    out += static_cast<char>(replyPort >> 8);
    out += static_cast<char>(replyPort & 0xFF);
    return out;
}

std::string latin1Field(const unsigned char* field, size_t size) {
    std::string out;
    for (size_t i = 0; i < size && field[i] != 0; ++i) {
        unsigned char c = field[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool parseReply(const unsigned char* reply, size_t size, uint32_t peerAddress, UlinkDevice& device) {
    if (size < kReplySize || std::memcmp(reply, kSignature, 6) != 0) return false;
    uint16_t port = static_cast<uint16_t>(reply[6] << 8 | reply[7]);
    if (peerAddress == 0 || port == 0 || reply[12] == 0) return false;
    device = UlinkDevice();
    device.address = Socket::formatAddress(peerAddress);
    device.port = port;
    char serial[9];
    std::snprintf(serial, sizeof serial, "%08X", ulinkBigEndian32(reply + 8));
    device.uid = latin1Field(reply + 36, 8) + "-" + serial;
    device.caps = reply[12];
    device.image = reply[13];
    device.status = reply[14];
    device.manufacturer = latin1Field(reply + 20, 16);
    device.version = latin1Field(reply + 44, 8);
    device.name = latin1Field(reply + 52, 16);
    return true;
}

}  // namespace UlinkDiscoveryWire
