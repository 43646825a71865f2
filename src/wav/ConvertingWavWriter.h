#pragma once

#include "wav/SampleConverter.h"
#include "wav/WavStream.h"

#include <memory>

namespace wav {

// The converting write shared by WavImport and WavExport: the caller writes bytes in the
// source format, in pieces of any length, and the data chunk receives converted frames.
// An incomplete frame is held until the next write; one left at the end is dropped.
class ConvertingWavWriter : public WavStream {
public:
    explicit ConvertingWavWriter(DataStream* base) : WavStream(base) {}

    // Returns count when every byte was converted or held, 0 when the writer has no
    // converter or a converted block could not be written in full.
    uint32_t write(const void* buffer, uint32_t count) override;

protected:
    // Used by create(): takes the rule and the source format (not owned) and starts the file;
    // on failure the writer keeps no rule and takes no samples.
    bool startFile(std::unique_ptr<SampleConverter> converter, const WaveFormat* source, const WaveFormat& fileFormat);
    void clearConversion();
    const WaveFormat* source() const { return source_; }

private:
    bool writeFrames(const uint8_t* in, size_t frames);

    static constexpr size_t kMaxSourceFrame = 8;  // 2 channels x 4 bytes
    static constexpr size_t kBlockFrames = 32768;  // 256 KiB of float frames: written unbuffered
    std::unique_ptr<SampleConverter> converter_;
    const WaveFormat* source_ = nullptr;
    uint8_t pendingFrame_[kMaxSourceFrame];
    uint32_t pending_ = 0;
    std::unique_ptr<uint8_t[]> block_;  // converted frames on their way to the file
};

}  // namespace wav
