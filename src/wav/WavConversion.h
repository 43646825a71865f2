#pragma once

#include "wav/DataStream.h"
#include "wav/WaveFormat.h"

namespace wav {

// Rewrites a WAV file from source into the device's internal format on destination;
// frames (when given) receives the number of frames written.
bool importWav(DataStream* source, DataStream* destination, const WavTargetFormat& target, uint32_t* frames);
// Rewrites a device track from source in an export format on destination.
bool exportWav(DataStream* source, DataStream* destination, const WavTargetFormat& target);

}  // namespace wav
