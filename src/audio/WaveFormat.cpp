#include "audio/WaveFormat.h"

namespace {
void put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}
void put32(std::string& out, uint32_t v) {
    put16(out, static_cast<uint16_t>(v & 0xFFFF));
    put16(out, static_cast<uint16_t>(v >> 16));
}
uint32_t get(const std::string& in, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        uint8_t b = at + i < in.size() ? static_cast<uint8_t>(in[at + i]) : 0;
        v = (v << 8) | b;
    }
    return v;
}
}  // namespace

std::string WaveFormat::toBytes() const {
    std::string out;
    put16(out, tag);
    put16(out, channels);
    put32(out, samplesPerSec);
    put32(out, avgBytesPerSec);
    put16(out, blockAlign);
    put16(out, bitsPerSample);
    put16(out, extraSize);
    return out;
}

WaveFormat WaveFormat::fromBytes(const std::string& bytes) {
    WaveFormat f;
    f.tag = static_cast<uint16_t>(get(bytes, 0, 2));
    f.channels = static_cast<uint16_t>(get(bytes, 2, 2));
    f.samplesPerSec = get(bytes, 4, 4);
    f.avgBytesPerSec = get(bytes, 8, 4);
    f.blockAlign = static_cast<uint16_t>(get(bytes, 12, 2));
    f.bitsPerSample = static_cast<uint16_t>(get(bytes, 14, 2));
    f.extraSize = static_cast<uint16_t>(get(bytes, 16, 2));
    return f;
}

WaveFormat WaveFormat::pcm(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    WaveFormat f;
    f.tag = tag;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = bits;
    f.blockAlign = static_cast<uint16_t>(bits / 8 * channels);
    f.avgBytesPerSec = f.blockAlign * rate;
    return f;
}
