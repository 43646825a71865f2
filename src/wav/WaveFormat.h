#pragma once

#include <cstdint>
#include <cstring>

namespace wav {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "WAV records are read and written in host order");

// Format tags of a "fmt " chunk; MP3 and AAC name compressed formats of other files.
enum WaveFormatTag : uint16_t {
    kWaveFormatPcm = 0x0001,
    kWaveFormatIeeeFloat = 0x0003,
    kWaveFormatMp3 = 0x0055,
    kWaveFormatAac = 0x1610,
    kWaveFormatExtensible = 0xFFFE,
};

// The 16-byte PCM wave-format record of a "fmt " chunk; the audio services describe
// every stream with it too.
struct WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
};
static_assert(sizeof(WaveFormat) == 16, "WaveFormat is the 16-byte file record");

// Integer PCM (or float) with block align and byte rate derived from the other fields.
inline WaveFormat pcmFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    WaveFormat f;
    f.formatTag = tag;
    f.channels = channels;
    f.sampleRate = rate;
    f.bitsPerSample = bits;
    f.blockAlign = static_cast<uint16_t>(bits / 8 * channels);
    f.avgBytesPerSec = f.blockAlign * rate;
    return f;
}

// The 24-byte body of an "acid" chunk (tempo metadata of a loop).
struct AcidChunk {
    uint32_t typeFlags;
    uint16_t rootNote;
    uint16_t reserved1;
    float reserved2;
    uint32_t beatCount;
    uint16_t denominator;
    uint16_t numerator;
    float tempo;
};
static_assert(sizeof(AcidChunk) == 24, "AcidChunk is the 24-byte chunk body");

// The target of a conversion as the caller gives it.
struct WavTargetFormat {
    int32_t format;  // format tag; only the low 16 bits count
    int32_t bits;
    int32_t sampleRate;
};

// True when blockAlign is exactly channels x bytes per sample. The converters rely on it:
// any other layout would make them read outside a frame.
inline bool hasConsistentLayout(const WaveFormat& format) {
    return format.channels != 0 && format.bitsPerSample % 8 == 0 &&
           format.blockAlign == format.channels * (format.bitsPerSample / 8);
}

inline uint16_t loadU16(const void* p) { uint16_t v; std::memcpy(&v, p, 2); return v; }
inline uint32_t loadU32(const void* p) { uint32_t v; std::memcpy(&v, p, 4); return v; }
inline void storeU32(void* p, uint32_t v) { std::memcpy(p, &v, 4); }

}  // namespace wav
