#pragma once

#include "wav/RiffChunkStream.h"
#include "wav/WaveFormat.h"

#include <memory>

namespace wav {

// A RIFF/WAVE file on a base stream. After open() or create() the DataStream operations
// act on the sample bytes of the "data" chunk.
class WavStream : public DataStream {
public:
    explicit WavStream(DataStream* base) : base_(base) {}
    // Closes the data chunk, then the RIFF chunk (patching the sizes of a written file).
    ~WavStream() override;
    WavStream(const WavStream&) = delete;
    WavStream& operator=(const WavStream&) = delete;

    uint32_t size() const override { return data_ ? data_->size() : 0; }
    uint32_t position() const override { return data_ ? data_->position() : 0; }
    bool seek(uint32_t pos) override { return data_ && data_->seek(pos); }
    bool seekRelative(int32_t delta) override { return data_ && data_->seekRelative(delta); }
    uint32_t read(void* buffer, uint32_t count) override { return data_ ? data_->read(buffer, count) : 0; }
    uint32_t write(const void* buffer, uint32_t count) override { return data_ ? data_->write(buffer, count) : 0; }

    // Parses a WAV file from the base stream's position.
    virtual bool open();
    // Starts a new WAV file at the base stream's position.
    virtual bool create(const WaveFormat& format);
    // Reads the "acid" chunk anywhere in the RIFF body; the sample position is kept.
    bool readAcidChunk(AcidChunk* out);
    // Closes the data chunk, then the RIFF chunk; the stream cannot be opened again.
    void closeChunks();

    // Chunks follow the general RIFF rule: a pad byte after each odd-sized chunk, skipped
    // when reading and written after odd-sized sample data. Off by default; set before open().
    void setWordAligned(bool on) { wordAligned_ = on; }

    const WaveFormat& format() const { return format_; }
    // The format tag as the "fmt " chunk stores it (format() maps an extensible PCM or float
    // sub-format onto the plain tag; this does not).
    uint16_t fileFormatTag() const { return fileFormatTag_; }

protected:
    // Called by open() between the "fmt " and "data" searches.
    virtual bool onReadExtraChunks(RiffChunkStream* riff);
    virtual bool writeFormatChunk(RiffChunkStream* riff, const WaveFormat& format);
    // Called inside the "fmt " chunk after the 16 standard bytes.
    virtual bool onWriteFormatExtension(RiffChunkStream* fmtChunk);
    // Called after the "fmt " chunk, before the "data" chunk.
    virtual bool onWriteExtraChunks(RiffChunkStream* riff);

    RiffChunkStream* dataChunk() const { return data_.get(); }

    WaveFormat format_{};
    uint16_t fileFormatTag_ = 0;

private:
    bool readFormat(RiffChunkStream* fmt);

    DataStream* base_;
    std::unique_ptr<RiffChunkStream> riff_;
    std::unique_ptr<RiffChunkStream> data_;
    bool used_ = false;
    bool wordAligned_ = false;
};

}  // namespace wav
