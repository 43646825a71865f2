#pragma once

#include <cstdint>
#include <string>

// The 18-byte wave format record of a WAV "fmt " chunk (little-endian on disk).
struct WaveFormat {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t extraSize = 0;

    static constexpr size_t kBytes = 18;
    // The record as it is stored in a file, and back (missing bytes read as 0).
    std::string toBytes() const;
    static WaveFormat fromBytes(const std::string& bytes);
    // Integer PCM with block align and byte rate derived from the other fields.
    static WaveFormat pcm(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits);
};

enum WaveFormatTag : uint16_t {
    kWaveFormatPcm = 0x0001,
    kWaveFormatFloat = 0x0003,
    kWaveFormatMp3 = 0x0055,
    kWaveFormatAac = 0x1610,
    kWaveFormatExtensible = 0xFFFE,
};
