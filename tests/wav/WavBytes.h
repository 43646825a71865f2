#pragma once

#include "wav/WaveFormat.h"

#include <cstring>
#include <string>
#include <vector>

// Builders for WAV file bytes in tests.
namespace wavbytes {

using wav::WaveFormat;
using wav::kWaveFormatExtensible;

inline std::string u16(uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); }
inline std::string u32(uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
inline std::string f32(float v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
inline std::string s24(int32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16)};
}
inline std::string s16(int v) { return u16(static_cast<uint16_t>(v)); }

// A chunk: identifier, size field and body, without a pad byte. declaredSize overrides the size.
inline std::string chunk(const char* id, const std::string& body, int64_t declaredSize = -1) {
    return std::string(id, 4) + u32(static_cast<uint32_t>(declaredSize < 0 ? body.size() : declaredSize)) + body;
}

inline WaveFormat format(uint16_t tag, uint16_t channels, uint16_t bits, uint32_t rate = 44100) {
    uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    return WaveFormat{tag, channels, rate, rate * align, align, bits};
}

inline std::string formatBody(const WaveFormat& f) { return std::string(reinterpret_cast<const char*>(&f), 16); }

// A "fmt " body of WAVE_FORMAT_EXTENSIBLE with the sub-format whose first GUID byte is subtype.
inline std::string extensibleBody(WaveFormat f, uint8_t subtype, uint16_t cbSize = 22) {
    f.formatTag = kWaveFormatExtensible;
    std::string guid = std::string{static_cast<char>(subtype), 0, 0, 0, 0, 0, 0x10, 0} +
                       std::string("\x80\x00\x00\xAA\x00\x38\x9B\x71", 8);
    return formatBody(f) + u16(cbSize) + u16(f.bitsPerSample) + u32(3) + guid;
}

// "RIFF" <size> "WAVE" followed by the chunks.
inline std::string riff(const std::string& chunks, int64_t declaredSize = -1) {
    return chunk("RIFF", "WAVE" + chunks, declaredSize);
}

inline std::string wavFile(const WaveFormat& f, const std::string& data, const std::string& extra = "") {
    return riff(chunk("fmt ", formatBody(f)) + extra + chunk("data", data));
}

inline std::string acid(float tempo, uint32_t beats, uint16_t denominator, uint16_t numerator) {
    return u32(0) + u16(60) + u16(0x8000) + f32(0) + u32(beats) + u16(denominator) + u16(numerator) + f32(tempo);
}

}  // namespace wavbytes
