#include "audio/WaveFormat.h"

wav::WaveFormat WaveFormat::record() const {
    return wav::WaveFormat{tag, channels, samplesPerSec, avgBytesPerSec, blockAlign, bitsPerSample};
}

WaveFormat WaveFormat::fromRecord(const wav::WaveFormat& record) {
    WaveFormat f;
    f.tag = record.formatTag;
    f.channels = record.channels;
    f.samplesPerSec = record.sampleRate;
    f.avgBytesPerSec = record.avgBytesPerSec;
    f.blockAlign = record.blockAlign;
    f.bitsPerSample = record.bitsPerSample;
    return f;
}

WaveFormat WaveFormat::pcm(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    WaveFormat f;
    f.tag = tag;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = bits;
    f.blockAlign = static_cast<uint16_t>(bits / 8 * channels);
    f.avgBytesPerSec = f.blockAlign * rate;
    return f;
}
