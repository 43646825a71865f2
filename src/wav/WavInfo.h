#pragma once

#include <cstdint>
#include <string>

namespace wav {

// Format, length and tempo metadata of a WAV file.
struct WavInfo {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint16_t bitsPerSample = 0;
    uint32_t sampleRate = 0;
    uint32_t samples = 0;  // frames in the data chunk
    float tempo = -1.0f;   // -1 when there is no readable "acid" chunk
    uint16_t denominator = 0;
    uint16_t numerator = 0;
    uint32_t beatCount = 0;
};

// False when the file cannot be opened or is not a WAV file with a usable format.
bool readWavInfo(const std::string& path, WavInfo& info);

}  // namespace wav
