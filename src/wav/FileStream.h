#pragma once

#include "wav/DataStream.h"

#include <memory>
#include <string>

namespace wav {

// A DataStream over a file descriptor. Reads and writes pass through one buffer so that
// the small, sequential pieces of a WAV job cost no system call each; the results are
// those of unbuffered I/O (a write past the end grows the size, reads see earlier writes).
class FileStream : public DataStream {
public:
    FileStream();
    // Attaches an open descriptor (owned) whose file currently holds size bytes.
    FileStream(int fd, uint32_t size);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // Opens an existing regular file for reading; false with errno set on failure.
    bool openForReading(const std::string& path);
    // Creates a new file that must not exist yet (mode 0666 less the umask); false with errno.
    bool createExclusive(const std::string& path);
    // Creates a file, or empties an existing one (mode 0666 less the umask); false with errno.
    bool createTruncating(const std::string& path);
    // Writes out what is buffered and closes the descriptor. False when any write failed
    // since the file was attached, so a caller can tell a complete file from a damaged one.
    bool close();

    bool isOpen() const { return fd_ >= 0; }
    bool failed() const { return failed_; }

    uint32_t size() const override { return size_; }
    uint32_t position() const override { return position_; }
    bool seek(uint32_t pos) override;
    bool seekRelative(int32_t delta) override;
    uint32_t read(void* buffer, uint32_t count) override;
    uint32_t write(const void* buffer, uint32_t count) override;

private:
    bool attach(int fd);
    bool flush();
    uint32_t readDirect(void* buffer, uint32_t count, uint64_t offset);
    bool writeDirect(const void* buffer, uint32_t count, uint64_t offset);

    static constexpr uint32_t kBufferSize = 256 * 1024;
    int fd_ = -1;
    uint32_t size_ = 0;
    uint32_t position_ = 0;
    bool failed_ = false;
    std::unique_ptr<unsigned char[]> buffer_;
    uint64_t bufferOffset_ = 0;  // file offset of buffer_[0]
    uint32_t bufferLength_ = 0;  // valid bytes in buffer_
    bool dirty_ = false;         // buffer_ holds bytes not yet written to the file
};

}  // namespace wav
