#include "wav/WavInfo.h"

#include "wav/FileStream.h"
#include "wav/WavStream.h"

namespace wav {

bool readWavInfo(const std::string& path, WavInfo& info) {
    FileStream file;
    if (path.find('\0') != std::string::npos || !file.openForReading(path)) return false;
    WavStream wav(&file);
    if (!wav.open()) return false;
    const WaveFormat& format = wav.format();
    if (format.blockAlign == 0) return false;
    info.formatTag = format.formatTag;
    info.channels = format.channels;
    info.bitsPerSample = format.bitsPerSample;
    info.sampleRate = format.sampleRate;
    info.samples = wav.size() / format.blockAlign;
    info.tempo = -1.0f;
    AcidChunk acid;
    if (wav.readAcidChunk(&acid)) {
        info.tempo = acid.tempo;
        info.beatCount = acid.beatCount;
        info.denominator = acid.denominator;
        info.numerator = acid.numerator;
    }
    return true;
}

}  // namespace wav
