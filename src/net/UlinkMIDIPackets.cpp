#include "net/UlinkMIDIPackets.h"

namespace {

uint32_t bigEndian32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

void appendPacket(std::string& out, int cable, int cin, const unsigned char* bytes, size_t count) {
    out += static_cast<char>((cable & 0x0F) << 4 | (cin & 0x0F));
    for (size_t i = 0; i < 3; ++i) out += static_cast<char>(i < count ? bytes[i] : 0);
}

// The Code Index Number of a whole (non-sysex) message with this status and length.
int codeIndex(unsigned char status, int length) {
    if (status < 0xF0) return status >> 4;
    if (status == 0xF2) return 0x3;
    if (length == 2) return 0x2;  // F1, F3
    if (status == 0xF6) return 0x5;
    return 0xF;  // single-byte real-time
}

}  // namespace

int UlinkMIDIAssembler::statusLength(unsigned char status) {
    if (status < 0x80) return 0;
    if (status < 0xC0) return 3;
    if (status < 0xE0) return 2;
    if (status < 0xF0) return 3;
    switch (status) {
    case 0xF1:
    case 0xF3: return 2;
    case 0xF2: return 3;
    case 0xF6:
    case 0xF8:
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFE:
    case 0xFF: return 1;
    default: return 0;  // F0, F7, and the undefined F4, F5, F9, FD
    }
}

bool UlinkMIDIAssembler::receive(const unsigned char* payload, size_t size, const Deliver& deliver) {
    if (size < 4) return false;
    uint32_t timeStamp = bigEndian32(payload);
    for (size_t at = 4; at + 4 <= size; at += 4) packet(payload + at, timeStamp, deliver);
    return true;
}

void UlinkMIDIAssembler::packet(const unsigned char* p, uint32_t timeStamp, const Deliver& deliver) {
    int cable = p[0] >> 4;
    int cin = p[0] & 0x0F;
    if (int length = statusLength(p[1])) {
        deliver(std::string(reinterpret_cast<const char*>(p + 1), static_cast<size_t>(length)), timeStamp, cable);
        return;
    }
    size_t count;
    switch (cin) {
    case 0x4:
    case 0x7: count = 3; break;
    case 0x5: count = 1; break;
    case 0x6: count = 2; break;
    default: return;
    }
    std::string& buffer = sysex_[static_cast<size_t>(cable)];
    if (buffer.size() + count <= kMaxSysexSize) buffer.append(reinterpret_cast<const char*>(p + 1), count);
    if (cin == 0x4) return;
    std::string message;
    message.swap(buffer);
    deliver(message, timeStamp, cable);
}

std::string packUlinkMIDI(const std::string& midi, uint32_t timeStamp, int cable) {
    if (timeStamp == 0) timeStamp = 1;
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(timeStamp >> shift & 0xFF);
    const auto* bytes = reinterpret_cast<const unsigned char*>(midi.data());
    size_t size = midi.size();
    unsigned char running = 0;
    size_t i = 0;
    while (i < size) {
        unsigned char status = bytes[i];
        if (status == 0xF0) {
            // Sysex: up to F7, or up to the next status byte (which then starts afresh).
            std::string data(1, static_cast<char>(0xF0));
            size_t j = i + 1;
            for (; j < size; ++j) {
                if (bytes[j] == 0xF7) {
                    data += static_cast<char>(0xF7);
                    ++j;
                    break;
                }
                if (bytes[j] >= 0x80) {
                    if (bytes[j] >= 0xF8) {  // real-time bytes may sit inside a sysex
                        appendPacket(out, cable, 0xF, bytes + j, 1);
                        continue;
                    }
                    break;
                }
                data += static_cast<char>(bytes[j]);
            }
            const auto* d = reinterpret_cast<const unsigned char*>(data.data());
            size_t left = data.size();
            while (left > 3) {
                appendPacket(out, cable, 0x4, d, 3);
                d += 3;
                left -= 3;
            }
            appendPacket(out, cable, static_cast<int>(0x4 + left), d, left);
            running = 0;
            i = j;
            continue;
        }
        size_t j = i + 1;
        if (status < 0x80) {
            if (!running) {  // stray data
                ++i;
                continue;
            }
            status = running;  // running status: this data byte is the message's first
            j = i;
        }
        int length = UlinkMIDIAssembler::statusLength(status);
        if (length == 0) {  // an undefined status or a lone F7
            ++i;
            continue;
        }
        unsigned char message[3] = {status, 0, 0};
        size_t have = 1;
        while (have < static_cast<size_t>(length) && j < size && bytes[j] < 0x80) message[have++] = bytes[j++];
        if (have < static_cast<size_t>(length)) {  // cut short: dropped, as a device would
            i = j;
            continue;
        }
        appendPacket(out, cable, codeIndex(status, length), message, have);
        if (status < 0xF0) running = status;
        else if (status < 0xF8) running = 0;
        i = j;
    }
    return out;
}
