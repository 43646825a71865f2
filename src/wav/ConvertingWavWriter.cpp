#include "wav/ConvertingWavWriter.h"

#include <algorithm>

namespace wav {

bool ConvertingWavWriter::startFile(std::unique_ptr<SampleConverter> converter, const WaveFormat* source,
                                    const WaveFormat& fileFormat) {
    converter_ = std::move(converter);
    source_ = source;
    pending_ = 0;
    if (!block_) block_.reset(new uint8_t[kBlockFrames * kMaxSourceFrame]);
    if (WavStream::create(fileFormat)) return true;
    clearConversion();
    return false;
}

void ConvertingWavWriter::clearConversion() {
    converter_.reset();
    source_ = nullptr;
    pending_ = 0;
}

bool ConvertingWavWriter::writeFrames(const uint8_t* in, size_t frames) {
    const size_t inFrame = source_->blockAlign;
    const size_t outFrame = format_.blockAlign;
    while (frames != 0) {
        size_t n = std::min(frames, kBlockFrames);
        converter_->convertFrames(block_.get(), in, n, source_->channels, format_.channels);
        uint32_t bytes = static_cast<uint32_t>(n * outFrame);
        if (WavStream::write(block_.get(), bytes) != bytes) return false;
        in += n * inFrame;
        frames -= n;
    }
    return true;
}

uint32_t ConvertingWavWriter::write(const void* buffer, uint32_t count) {
    if (!converter_ || !source_ || !dataChunk()) return 0;
    const uint32_t frame = source_->blockAlign;
    const auto* in = static_cast<const uint8_t*>(buffer);
    uint32_t left = count;
    if (pending_ != 0) {  // complete the frame begun by an earlier write
        uint32_t n = std::min(left, frame - pending_);
        std::memcpy(pendingFrame_ + pending_, in, n);
        pending_ += n;
        in += n;
        left -= n;
        if (pending_ < frame) return count;
        pending_ = 0;
        if (!writeFrames(pendingFrame_, 1)) return 0;
    }
    uint32_t whole = left / frame;
    if (!writeFrames(in, whole)) return 0;
    in += size_t{whole} * frame;
    left -= whole * frame;
    std::memcpy(pendingFrame_, in, left);
    pending_ = left;
    return count;
}

}  // namespace wav
