#pragma once

#include "wav/DataStream.h"

#include <algorithm>
#include <cstring>
#include <string>

// A DataStream over bytes in memory that behaves like a file: seeking past the end is
// allowed, writing there fills the gap with zeros. writeLimit makes writes fail after
// that many bytes in total (a full disk); failingCall makes only that write call (counted
// from 1) write nothing.
class MemoryStream : public wav::DataStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}

    const std::string& bytes() const { return bytes_; }
    size_t writeLimit = SIZE_MAX;
    size_t writeCalls = 0;
    size_t failingCall = 0;

    uint32_t size() const override { return static_cast<uint32_t>(bytes_.size()); }
    uint32_t position() const override { return position_; }
    bool seek(uint32_t pos) override {
        position_ = pos;
        return true;
    }
    bool seekRelative(int32_t delta) override {
        int64_t target = int64_t{position_} + delta;
        if (target < 0 || target > UINT32_MAX) return false;
        position_ = static_cast<uint32_t>(target);
        return true;
    }
    uint32_t read(void* buffer, uint32_t count) override {
        if (position_ >= bytes_.size()) return 0;
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(count, bytes_.size() - position_));
        std::memcpy(buffer, bytes_.data() + position_, n);
        position_ += n;
        return n;
    }
    uint32_t write(const void* buffer, uint32_t count) override {
        if (++writeCalls == failingCall) return 0;
        size_t allowed = written_ >= writeLimit ? 0 : writeLimit - written_;
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(count, allowed));
        if (bytes_.size() < size_t{position_} + n) bytes_.resize(size_t{position_} + n);
        std::memcpy(&bytes_[position_], buffer, n);
        position_ += n;
        written_ += n;
        return n;
    }

private:
    std::string bytes_;
    uint32_t position_ = 0;
    size_t written_ = 0;
};
