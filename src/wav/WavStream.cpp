#include "wav/WavStream.h"

#include <cstring>

namespace wav {

namespace {

// Sub-format GUIDs of WAVE_FORMAT_EXTENSIBLE as stored in the file.
const unsigned char kSubtypePcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
const unsigned char kSubtypeIeeeFloat[16] = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                             0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

}  // namespace

WavStream::~WavStream() { closeChunks(); }

void WavStream::closeChunks() {
    const bool pad = wordAligned_ && data_ && data_->mode() == RiffChunkStream::Writing && (data_->size() & 1);
    data_.reset();
    if (pad && riff_) {
        const unsigned char zero = 0;
        riff_->write(&zero, 1);
    }
    riff_.reset();
}

bool WavStream::readFormat(RiffChunkStream* fmt) {
    if (fmt->read(&format_, 16) < 16) return false;
    fileFormatTag_ = format_.formatTag;
    if (format_.formatTag != kWaveFormatExtensible) return true;
    unsigned char cbSize[2];
    if (fmt->read(cbSize, 2) < 2) return false;
    if (loadU16(cbSize) < 22) return true;
    unsigned char validBits[2], channelMask[4], subFormat[16];
    if (fmt->read(validBits, 2) < 2 || fmt->read(channelMask, 4) < 4 || fmt->read(subFormat, 16) < 16) return false;
    if (std::memcmp(subFormat, kSubtypePcm, 16) == 0) {
        format_.formatTag = kWaveFormatPcm;
    } else if (std::memcmp(subFormat, kSubtypeIeeeFloat, 16) == 0) {
        format_.formatTag = kWaveFormatIeeeFloat;
    }
    return true;
}

bool WavStream::open() {
    if (used_) return false;
    used_ = true;
    riff_ = std::make_unique<RiffChunkStream>(base_);
    if (!riff_->find("RIFF")) return false;
    char wave[4];
    if (riff_->read(wave, 4) < 4 || std::memcmp(wave, "WAVE", 4) != 0) return false;
    {
        RiffChunkStream fmt(riff_.get());
        fmt.setWordAligned(wordAligned_);
        if (!fmt.find("fmt ") || !readFormat(&fmt)) return false;
    }  // closing the chunk moves riff past the whole "fmt " chunk, whatever its length
    uint32_t resume = riff_->position();
    if (!onReadExtraChunks(riff_.get())) return false;
    riff_->seek(resume);
    data_ = std::make_unique<RiffChunkStream>(riff_.get());
    data_->setWordAligned(wordAligned_);
    return data_->find("data");
}

bool WavStream::create(const WaveFormat& format) {
    if (used_) return false;
    used_ = true;
    format_ = format;
    riff_ = std::make_unique<RiffChunkStream>(base_);
    if (!riff_->create("RIFF")) return false;
    if (riff_->write("WAVE", 4) < 4) return false;
    if (!writeFormatChunk(riff_.get(), format_)) return false;
    if (!onWriteExtraChunks(riff_.get())) return false;
    data_ = std::make_unique<RiffChunkStream>(riff_.get());
    return data_->create("data");
}

bool WavStream::writeFormatChunk(RiffChunkStream* riff, const WaveFormat& format) {
    RiffChunkStream fmt(riff);
    if (!fmt.create("fmt ")) return false;
    if (fmt.write(&format, 16) < 16) return false;
    return onWriteFormatExtension(&fmt);
}

bool WavStream::onReadExtraChunks(RiffChunkStream*) { return true; }
bool WavStream::onWriteFormatExtension(RiffChunkStream*) { return true; }
bool WavStream::onWriteExtraChunks(RiffChunkStream*) { return true; }

bool WavStream::readAcidChunk(AcidChunk* out) {
    if (!out || !riff_) return false;
    uint32_t resume = riff_->position();
    riff_->seek(4);  // just after "WAVE": the whole body, including what follows "data"
    bool found = false;
    {
        RiffChunkStream acid(riff_.get());
        acid.setWordAligned(wordAligned_);
        AcidChunk body;
        if (acid.find("acid") && acid.read(&body, 24) == 24) {
            *out = body;
            found = true;
        }
    }
    riff_->seek(resume);
    return found;
}

}  // namespace wav
