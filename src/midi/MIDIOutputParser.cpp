#include "midi/MIDIOutputParser.h"

namespace {

// Number of bytes (status included) of a message with this status that carries data bytes;
// 0 for the statuses handled otherwise.
size_t messageLength(uint8_t status) {
    if (status >= 0x80 && status <= 0xBF) return 3;
    if (status >= 0xC0 && status <= 0xDF) return 2;
    if (status >= 0xE0 && status <= 0xEF) return 3;
    if (status == 0xF1 || status == 0xF3) return 2;
    if (status == 0xF2) return 3;
    return 0;
}

bool isRealTime(uint8_t status) {
    return status == 0xF6 || status == 0xF8 || status == 0xFA || status == 0xFB || status == 0xFC ||
           status == 0xFE || status == 0xFF;
}

}  // namespace

void MIDIOutputParser::parse(const uint8_t* bytes, size_t length, const Sink& deliver) {
    if (!bytes) return;
    size_t i = 0;
    while (i < length) {
        uint8_t status = running_;
        if (bytes[i] & 0x80) status = bytes[i++];

        if (size_t size = messageLength(status)) {
            if (status < 0xF0) running_ = status;
            if (length - i < size - 1) {
                // The data bytes are missing at the end of the input: nothing is sent.
                i = length;
                break;
            }
            uint8_t message[3] = {status, 0, 0};
            for (size_t k = 1; k < size; ++k) message[k] = bytes[i++] & 0x7F;
            deliver(message, size, false);
        } else if (isRealTime(status)) {
            deliver(&status, 1, false);
        } else if (status == 0xF0) {
            running_ = 1;
            sysEx_[0] = 0xF0;
            sysExLength_ = 1;
        } else if (status == 0xF7) {
            running_ = 0;
            if (sysExLength_ > 0) {
                sysEx_[sysExLength_++] = 0xF7;
                deliver(sysEx_, sysExLength_, true);
                sysExLength_ = 0;
            }
        } else if (status < 0x80) {
            // A data byte with no channel status running: part of a SysEx, or dropped.
            if (running_ == 1 && sysExLength_ < kSysExLimit - 1) sysEx_[sysExLength_++] = bytes[i];
            ++i;
        }
        // F4, F5, F9 and FD are undefined: consumed and ignored.
    }
}
