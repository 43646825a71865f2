#pragma once

#include <cstdint>
#include <cstring>

namespace wav {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "WAV records are read and written in host order");

enum : uint16_t {
    kWaveFormatPcm = 1,
    kWaveFormatIeeeFloat = 3,
    kWaveFormatExtensible = 0xFFFE,
};

// The 16-byte PCM wave-format record of a "fmt " chunk.
struct WaveFormat {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t sampleRate;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
};
static_assert(sizeof(WaveFormat) == 16, "WaveFormat is the 16-byte file record");

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
