#pragma once

#include "wav/WaveFormat.h"

#include <cstdint>
#include <memory>
#include <string>

namespace wav {
class FileStream;
class WavStream;
}

// Plain RIFF WAVE access for the sample-level jobs (split, reverse, WAV output of
// conversions and recordings), over the program's WAV layer (src/wav) with word-aligned
// chunks. Reading finds "fmt " and "data" wherever they are; writing lays out RIFF, an
// 18-byte "fmt " and "data", and fixes the sizes on close().
class WaveChunkFile {
public:
    WaveChunkFile();
    ~WaveChunkFile();
    WaveChunkFile(const WaveChunkFile&) = delete;
    WaveChunkFile& operator=(const WaveChunkFile&) = delete;

    // Opens a WAV for reading. An extensible format's PCM or float sub-format gives its
    // plain tag. False when the file is not a readable WAV.
    bool openRead(const std::string& path);
    // Creates (truncates) a WAV for writing with the given format record.
    bool openWrite(const std::string& path, const wav::WaveFormat& format);

    // Reads up to size bytes of sample data; 0 at the end (a read error ends the data too),
    // -1 when the file is not open for reading.
    long read(void* buffer, size_t size);
    // Appends sample data; false on a write error.
    bool write(const void* data, size_t size);
    // Finishes the file (sizes fixed for a written file); false when anything failed.
    bool close();

    const wav::WaveFormat& format() const { return format_; }
    uint64_t dataSize() const { return dataSize_; }

private:
    std::unique_ptr<wav::FileStream> file_;
    std::unique_ptr<wav::WavStream> wav_;
    bool writing_ = false;
    bool failed_ = false;
    wav::WaveFormat format_;
    uint64_t dataSize_ = 0;  // bytes of sample data (to read, or written)
    uint64_t dataPos_ = 0;   // bytes of sample data read so far
};
