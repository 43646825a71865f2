#include "wav/FileStream.h"

#include "sys/FileIO.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wav {

FileStream::FileStream() = default;

FileStream::FileStream(int fd, uint32_t size) : fd_(fd), size_(size) {}

FileStream::~FileStream() { close(); }

bool FileStream::attach(int fd) {
    close();
    fd_ = fd;
    size_ = 0;
    position_ = 0;
    failed_ = false;
    bufferLength_ = 0;
    dirty_ = false;
    return true;
}

bool FileStream::openForReading(const std::string& path) {
    // Regular files only, opened without blocking (a FIFO or device node never is).
    int fd = openRegularFile(path);
    if (fd < 0) return false;
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        return false;
    }
    attach(fd);
    // Sizes are 32-bit: a larger file shows its first 4 GiB less one byte.
    size_ = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(info.st_size), UINT32_MAX));
    return true;
}

bool FileStream::createExclusive(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    return attach(fd);
}

bool FileStream::createTruncating(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    return attach(fd);
}

bool FileStream::close() {
    if (fd_ < 0) return !failed_;
    flush();
    if (::close(fd_) != 0) failed_ = true;
    fd_ = -1;
    bufferLength_ = 0;
    return !failed_;
}

bool FileStream::seek(uint32_t pos) {
    if (fd_ < 0) return false;
    position_ = pos;
    return true;
}

bool FileStream::seekRelative(int32_t delta) {
    if (fd_ < 0) return false;
    int64_t target = static_cast<int64_t>(position_) + delta;
    if (target < 0 || target > UINT32_MAX) return false;
    position_ = static_cast<uint32_t>(target);
    return true;
}

uint32_t FileStream::readDirect(void* buffer, uint32_t count, uint64_t offset) {
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<uint32_t>(n);
    }
    return done;
}

bool FileStream::writeDirect(const void* buffer, uint32_t count, uint64_t offset) {
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(fd_, static_cast<const char*>(buffer) + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            return false;
        }
        done += static_cast<uint32_t>(n);
    }
    return true;
}

bool FileStream::flush() {
    if (!dirty_) return true;
    dirty_ = false;
    uint32_t length = bufferLength_;
    bufferLength_ = 0;
    return writeDirect(buffer_.get(), length, bufferOffset_);
}

uint32_t FileStream::read(void* buffer, uint32_t count) {
    if (fd_ < 0 || count == 0) return 0;
    if (dirty_ && !flush()) return 0;
    count = static_cast<uint32_t>(std::min<uint64_t>(count, UINT32_MAX - uint64_t{position_}));
    auto* out = static_cast<unsigned char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        uint64_t at = uint64_t{position_} + done;
        if (at >= bufferOffset_ && at < bufferOffset_ + bufferLength_) {
            uint32_t offset = static_cast<uint32_t>(at - bufferOffset_);
            uint32_t n = std::min(count - done, bufferLength_ - offset);
            std::memcpy(out + done, buffer_.get() + offset, n);
            done += n;
            continue;
        }
        if (count - done >= kBufferSize) {  // a large read goes straight to the caller
            done += readDirect(out + done, count - done, at);
            break;
        }
        if (!buffer_) buffer_.reset(new unsigned char[kBufferSize]);
        bufferOffset_ = at;
        bufferLength_ = readDirect(buffer_.get(), kBufferSize, at);
        if (bufferLength_ == 0) break;
    }
    position_ += done;
    return done;
}

uint32_t FileStream::write(const void* buffer, uint32_t count) {
    if (fd_ < 0 || failed_ || count == 0) return 0;
    count = static_cast<uint32_t>(std::min<uint64_t>(count, UINT32_MAX - uint64_t{position_}));
    uint64_t at = position_;
    if (!dirty_) {
        bufferLength_ = 0;  // drop read-ahead: it may be overwritten now
    } else if (at != bufferOffset_ + bufferLength_ || bufferLength_ + uint64_t{count} > kBufferSize) {
        if (!flush()) return 0;
    }
    if (count >= kBufferSize) {
        if (!writeDirect(buffer, count, at)) return 0;
    } else {
        if (!buffer_) buffer_.reset(new unsigned char[kBufferSize]);
        if (!dirty_) {
            bufferOffset_ = at;
            bufferLength_ = 0;
            dirty_ = true;
        }
        std::memcpy(buffer_.get() + bufferLength_, buffer, count);
        bufferLength_ += count;
    }
    position_ += count;
    if (position_ > size_) size_ = position_;
    return count;
}

}  // namespace wav
