#pragma once

#include "wav/ConvertingWavWriter.h"

namespace wav {

// Writes a WAV file in an export format (16-bit PCM, 24-bit PCM or 32-bit float, 44100 Hz)
// from a track in the internal format (16-bit PCM or 32-bit float); channels are kept.
class WavExport : public ConvertingWavWriter {
public:
    class DataConvProc : public SampleConverter {};

    // target must outlive the writer.
    WavExport(DataStream* base, const WavTargetFormat* target) : ConvertingWavWriter(base), target_(target) {}

    // sourceFormat (normally the reading WavStream's format) must outlive the writer.
    bool create(const WaveFormat& sourceFormat) override;

    // The converter for a source and target pair, or null when there is none.
    static std::unique_ptr<DataConvProc> converterFor(const WaveFormat& source, const WavTargetFormat& target);

private:
    const WavTargetFormat* target_;
};

}  // namespace wav
