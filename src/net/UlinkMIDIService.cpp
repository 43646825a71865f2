#include "net/UlinkMIDIService.h"

#include "net/UlinkMessage.h"
#include "net/UlinkNetClient.h"

void UlinkMIDIService::receive(const std::string& payload) {
    std::lock_guard<std::mutex> lock(assemblerMutex_);
    assembler_.receive(reinterpret_cast<const unsigned char*>(payload.data()), payload.size(),
                       [this](const std::string& bytes, uint32_t timeStamp, int cable) {
                           if (delegate_) delegate_->message(bytes, timeStamp, cable);
                       });
}

void UlinkMIDIService::reset() {
    std::lock_guard<std::mutex> lock(assemblerMutex_);
    assembler_ = UlinkMIDIAssembler();
}

bool UlinkMIDIService::send(const std::string& midi) {
    std::string packed = packUlinkMIDI(midi, clock_ ? clock_() : 1);
    if (packed.size() <= 4) return true;
    // Whole packets per message, each message with the same time stamp.
    constexpr size_t kPacketsPerMessage = (UlinkMessage::kMaxPayload - 4) / 4;
    const std::string stamp = packed.substr(0, 4);
    for (size_t at = 4; at < packed.size(); at += kPacketsPerMessage * 4) {
        std::string payload = stamp + packed.substr(at, kPacketsPerMessage * 4);
        if (!link_.sendMessage(UlinkType::MIDI, 0, payload)) return false;
    }
    return true;
}
