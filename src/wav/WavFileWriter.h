#pragma once

#include "wav/WavStream.h"

namespace wav {

// Copies the sample bytes of a WAV file opened for reading into a (converting) writer.
class WavFileWriter {
public:
    explicit WavFileWriter(WavStream* writer) : writer_(writer) {}
    // Closes the writer's data and RIFF chunks.
    ~WavFileWriter() { writer_->closeChunks(); }
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // Moves every sample byte in pieces of whole frames of at most kBufferSize bytes (large
    // enough that reads and writes go to the file without a copy through its buffer);
    // false on a short read or write.
    bool copyData(WavStream& reader);

    static constexpr uint32_t kBufferSize = 1024 * 1024;

private:
    WavStream* writer_;
};

}  // namespace wav
