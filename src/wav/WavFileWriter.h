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

    // Moves every sample byte in pieces of at most 1200 bytes; false on a short read or write.
    bool copyData(WavStream& reader);

    static constexpr uint32_t kBufferSize = 1200;

private:
    WavStream* writer_;
};

}  // namespace wav
