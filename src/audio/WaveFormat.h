#pragma once

#include "wav/WaveFormat.h"

#include <cstdint>

// The 18-byte wave format record of a WAV "fmt " chunk, as the audio services describe
// a stream; the file record itself is the WAV layer's (wav::WaveFormat) plus the size of
// the extra bytes.
struct WaveFormat {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t extraSize = 0;

    // The 16-byte file record, and back (extraSize then 0).
    wav::WaveFormat record() const;
    static WaveFormat fromRecord(const wav::WaveFormat& record);
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
