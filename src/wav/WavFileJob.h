#pragma once

#include "wav/WaveFormat.h"

#include <cstdint>
#include <string>

namespace wav {

enum class WavJobKind { Import, Export };

// Converts the WAV file at from into a new file at to (import into the device's internal
// format, or export from it). The output is written under a temporary name beside to and
// renamed over to only when it is complete and closed, so a failed job leaves no partial
// file and does not touch a file already at to. frames receives the frames written (import).
bool convertWavFile(WavJobKind kind, const std::string& from, const std::string& to, const WavTargetFormat& target,
                    uint32_t* frames);

}  // namespace wav
