#pragma once

#include "wav/WaveFormat.h"

#include <functional>
#include <string>

// Told the share of the source converted so far (0 to 1), now and then.
using ConversionProgress = std::function<void(double)>;

// Converts any readable audio file into the target format record:
//   tag 1 (PCM 8/16/24/32 bits) or 3 (32-bit float): a WAV file;
//   tag 0x1610: AAC in an MPEG-4 file; tag 0x55: MP3; with the record's byte rate × 8 as bit rate.
// The samples are resampled to the record's channels and rate. The result is written
// beside the destination and renamed over it only when complete, so a failed or
// interrupted conversion never leaves a partial destination behind.
bool convertAudioFile(const std::string& source, const std::string& destination, const wav::WaveFormat& target,
                      const ConversionProgress& progress = {});

// A new empty file in the user's temporary folder named "___<random><suffix>";
// empty when none could be made.
std::string makeTemporaryFile(const std::string& suffix);
