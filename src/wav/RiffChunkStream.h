#pragma once

#include "wav/DataStream.h"

namespace wav {

// A window onto one RIFF chunk inside a parent stream. find() opens an existing chunk for
// reading, create() starts a new one for writing; the destructor closes the chunk (patching
// the size of a written one) and leaves the parent just after the chunk's data.
class RiffChunkStream : public DataStream {
public:
    enum Mode { Closed = 0, Reading = 1, Writing = 2 };

    explicit RiffChunkStream(DataStream* parent) : parent_(parent) {}
    ~RiffChunkStream() override { close(); }
    RiffChunkStream(const RiffChunkStream&) = delete;
    RiffChunkStream& operator=(const RiffChunkStream&) = delete;

    // Opens the first chunk with the identifier at or after the parent's position. Chunks are
    // skipped by their declared size, with no pad byte after an odd size unless word-aligned.
    // Unpadded is the rule of the loopers' own files: the device writes its chunks back to
    // back and reads them the same way, so a track (or a file written for it) walked by the
    // general rule would be read one byte off after any odd chunk. This is the one RIFF
    // reader of the program; the page and the command line ask it through the host.
    bool find(const char id[4]);
    // Word-aligned chunks (the general RIFF rule) are followed by a pad byte when their size
    // is odd; find() skips it and closing a chunk that was read moves past it.
    void setWordAligned(bool on) { wordAligned_ = on; }
    // Writes a chunk header with a placeholder size at the parent's position.
    bool create(const char id[4]);
    void close();

    Mode mode() const { return mode_; }
    uint32_t start() const { return start_; }

    uint32_t size() const override { return size_; }
    uint32_t position() const override { return position_; }
    bool seek(uint32_t pos) override;
    bool seekRelative(int32_t delta) override;
    uint32_t read(void* buffer, uint32_t count) override;
    uint32_t write(const void* buffer, uint32_t count) override;

private:
    DataStream* parent_;
    Mode mode_ = Closed;
    uint32_t size_ = 0;
    uint32_t start_ = 0;
    uint32_t position_ = 0;
    bool headerWritten_ = false;
    bool wordAligned_ = false;
};

}  // namespace wav
