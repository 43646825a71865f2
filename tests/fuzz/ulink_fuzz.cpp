// libFuzzer target: the device link's message reader and everything a received message goes
// through (the type table, the MIDI packet assembler), the discovery reply parser, and the
// MIDI packer on the same bytes.
#include "net/UlinkConnection.h"
#include "net/UlinkDevice.h"
#include "net/UlinkMIDIPackets.h"
#include "net/UlinkMessage.h"

#include <cstdlib>
#include <cstring>

namespace {

// Every delivered message must be whole: a status message of its status's length, or a sysex
// no longer than the assembler's bound.
class CheckingDelegate : public UlinkMIDIServiceDelegate {
public:
    void message(const std::string& bytes, uint32_t, int cable) override {
        if (bytes.empty() || cable < 0 || cable > 15) std::abort();
        int length = UlinkMIDIAssembler::statusLength(static_cast<unsigned char>(bytes[0]));
        if (length != 0 && bytes.size() != static_cast<size_t>(length)) std::abort();
        if (length == 0 && bytes.size() > UlinkMIDIAssembler::kMaxSysexSize) std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckingDelegate delegate;
    UlinkConnection connection([] { return 0u; });
    connection.midiService().setDelegate(&delegate);
    size_t at = 0;
    UlinkMessageReader reader([&](void* buffer, size_t want) {
        if (size - at < want) return false;
        std::memcpy(buffer, data + at, want);
        at += want;
        return true;
    });
    UlinkMessage message;
    UlinkMessageReader::Result result;
    while ((result = reader.next(message)) == UlinkMessageReader::Result::Message) {
        if (message.payload.size() > UlinkMessage::kMaxPayload) std::abort();
        connection.handleMessage(message);
    }
    if (connection.keepAlive() < 0 || connection.keepAlive() > 255) std::abort();
    for (int32_t maximum : connection.levelMaxima())
        if (maximum < UlinkConnection::kLevelFloor) std::abort();

    UlinkDevice device;
    if (UlinkDiscoveryWire::parseReply(data, size, 0x0100007F, device)) {
        if (device.port == 0 || device.caps == 0 || device.uid.find('-') == std::string::npos) std::abort();
        (void)device.toJson().dump();
    }

    std::string midi(reinterpret_cast<const char*>(data), size);
    std::string packed = packUlinkMIDI(midi, 0);
    if (packed.size() < 4 || packed.size() % 4 != 0 || packed.compare(0, 4, std::string("\0\0\0\1", 4)) != 0)
        std::abort();
    for (size_t p = 4; p < packed.size(); p += 4) {
        int cin = packed[p] & 0x0F;
        if (cin < 0x2 || (packed[p] & 0xF0) != 0) std::abort();
    }
    return 0;
}
