#include "wav/RiffChunkStream.h"

#include "wav/WaveFormat.h"

#include <cstring>

namespace wav {

bool RiffChunkStream::find(const char id[4]) {
    if (mode_ != Closed) return false;
    mode_ = Reading;
    for (;;) {
        unsigned char header[8];
        if (parent_->read(header, 8) < 8) return false;
        uint32_t chunkSize = loadU32(header + 4);
        if (std::memcmp(header, id, 4) == 0) {
            start_ = parent_->position();
            size_ = chunkSize;
            position_ = 0;
            return true;
        }
        // Skip forward by the declared size. The size is unsigned: a skip that would wrap
        // around 4 GiB fails instead of moving backwards (which could revisit the same
        // header for ever).
        uint64_t next = uint64_t{parent_->position()} + chunkSize + (wordAligned_ ? (chunkSize & 1) : 0);
        if (next > UINT32_MAX || !parent_->seek(static_cast<uint32_t>(next))) return false;
    }
}

bool RiffChunkStream::create(const char id[4]) {
    if (mode_ != Closed) return false;
    mode_ = Writing;
    unsigned char header[8];
    std::memcpy(header, id, 4);
    storeU32(header + 4, 0);
    if (parent_->write(header, 8) < 8) return false;
    headerWritten_ = true;
    start_ = parent_->position();
    return true;
}

void RiffChunkStream::close() {
    if (mode_ == Writing && headerWritten_) {
        // The size field is the 4 bytes before the data (an absolute seek, so that chunks
        // of 2 GiB and more are patched too).
        parent_->seek(start_ - 4);
        unsigned char field[4];
        storeU32(field, size_);
        parent_->write(field, 4);
    }
    if (mode_ == Reading && wordAligned_ && (size_ & 1)) {
        parent_->seek(start_ + size_ + 1);
    } else if (mode_ != Closed) {
        parent_->seek(start_ + size_);
    }
    mode_ = Closed;
    size_ = start_ = position_ = 0;
    headerWritten_ = false;
}

bool RiffChunkStream::seek(uint32_t pos) {
    if (pos > size_) return false;
    if (!parent_->seek(start_ + pos)) return false;
    position_ = pos;
    return true;
}

bool RiffChunkStream::seekRelative(int32_t delta) { return seek(position_ + static_cast<uint32_t>(delta)); }

uint32_t RiffChunkStream::read(void* buffer, uint32_t count) {
    if (count > size_ - position_) count = size_ - position_;
    uint32_t n = parent_->read(buffer, count);
    position_ += n;
    return n;
}

uint32_t RiffChunkStream::write(const void* buffer, uint32_t count) {
    uint32_t n = parent_->write(buffer, count);
    position_ += n;
    if (position_ > size_) size_ = position_;
    return n;
}

}  // namespace wav
