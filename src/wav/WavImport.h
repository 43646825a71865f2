#pragma once

#include "wav/ConvertingWavWriter.h"

namespace wav {

// Writes a WAV file in the device's internal format (stereo, 44100 Hz, 16-bit PCM or
// 32-bit float) from sample bytes in any accepted source format; mono is widened to stereo.
class WavImport : public ConvertingWavWriter {
public:
    // A conversion into one internal format; format() describes that format.
    class DataConvProc : public SampleConverter {
    public:
        virtual void format(WaveFormat* out) const = 0;
    };

    // target must outlive the writer.
    WavImport(DataStream* base, const WavTargetFormat* target) : ConvertingWavWriter(base), target_(target) {}

    // sourceFormat (normally the reading WavStream's format) must outlive the writer.
    bool create(const WaveFormat& sourceFormat) override;

    // The converter for a source and target pair, or null when the pair is not accepted.
    static std::unique_ptr<DataConvProc> converterFor(const WaveFormat& source, const WavTargetFormat& target);

protected:
    // A float file gets a 12-byte extension: cbSize 10 and ten zero bytes.
    bool onWriteFormatExtension(RiffChunkStream* fmtChunk) override;

private:
    const WavTargetFormat* target_;
};

}  // namespace wav
