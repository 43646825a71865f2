#include "LooperDevice.h"

namespace {

const uint8_t kRequest = 0x11;  // RQ1
const uint8_t kDataSet = 0x12;  // DT1

uint32_t address(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) << 24 | static_cast<uint32_t>(bytes[at + 1]) << 16 |
           static_cast<uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

}  // namespace

uint8_t LooperDevice::checksum(const Bytes& bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    return static_cast<uint8_t>((128 - (sum & 0x7F)) & 0x7F);
}

LooperDevice::Bytes LooperDevice::header() const {
    Bytes bytes{0xF0, kManufacturer, kDeviceId};
    bytes.insert(bytes.end(), modelId_.begin(), modelId_.end());
    return bytes;
}

LooperDevice::Bytes LooperDevice::dataSet(uint32_t addr, const Bytes& data) const {
    Bytes body{static_cast<uint8_t>(addr >> 24), static_cast<uint8_t>(addr >> 16), static_cast<uint8_t>(addr >> 8),
               static_cast<uint8_t>(addr)};
    body.insert(body.end(), data.begin(), data.end());
    Bytes message = header();
    message.push_back(kDataSet);
    message.insert(message.end(), body.begin(), body.end());
    message.push_back(checksum(body));
    message.push_back(0xF7);
    return message;
}

uint8_t LooperDevice::editMode(Clock::time_point now) const { return now < busyUntil_ ? 2 : editMode_; }

std::vector<LooperDevice::Bytes> LooperDevice::receive(const Bytes& message, Clock::time_point now) {
    if (message.size() >= 2 && message[0] == 0xF0 && message[1] == kManufacturer)
        return handleDeviceMessage(message, now);
    // Identity request, to any device: F0 7E <device> 06 01 F7.
    if (message.size() == 6 && message[0] == 0xF0 && message[1] == 0x7E && message[3] == 0x06 && message[4] == 0x01 &&
        message[5] == 0xF7) {
        Bytes reply{0xF0, 0x7E, kDeviceId, 0x06, 0x02, kManufacturer};
        for (size_t i = 0; i < 4; ++i) reply.push_back(i < modelId_.size() ? modelId_[i] : 0);
        reply.insert(reply.end(), {0x00, 0x01, 0x00, 0x00, 0xF7});
        return {reply};
    }
    return {message};
}

std::vector<LooperDevice::Bytes> LooperDevice::handleDeviceMessage(const Bytes& message, Clock::time_point now) {
    const Bytes head = header();
    // header, command, 4 address bytes, at least one byte, checksum, F7
    if (message.size() < head.size() + 1 + 4 + 1 + 2 || message.back() != 0xF7) return {};
    if (!std::equal(head.begin(), head.end(), message.begin())) return {};
    size_t at = head.size();
    uint8_t command = message[at++];
    Bytes body(message.begin() + at, message.end() - 2);
    if (checksum(body) != message[message.size() - 2]) return {};
    if (address(body, 0) != kEditModeAddress) return {};

    if (command == kRequest && body.size() == 8) return {dataSet(kEditModeAddress, {editMode(now)})};
    if (command == kDataSet && body.size() == 5 && body[4] <= 1) {
        editMode_ = body[4];
        busyUntil_ = now + busyTime_;
    }
    return {};
}

std::string hexText(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

bool parseHex(const std::string& text, std::vector<uint8_t>& bytes) {
    if (text.size() % 2) return false;
    bytes.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        int value = 0;
        for (char c : {text[i], text[i + 1]}) {
            int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0) return false;
            value = value * 16 + digit;
        }
        bytes.push_back(static_cast<uint8_t>(value));
    }
    return true;
}
