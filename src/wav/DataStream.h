#pragma once

#include <cstdint>

namespace wav {

// A byte stream with a 32-bit size and position. Files of 4 GiB or more are out of scope.
class DataStream {
public:
    virtual ~DataStream() = default;
    virtual uint32_t size() const = 0;
    virtual uint32_t position() const = 0;
    // Moves to an absolute offset; true on success.
    virtual bool seek(uint32_t pos) = 0;
    // Moves by a signed offset from the current position; true on success.
    virtual bool seekRelative(int32_t delta) = 0;
    // Number of bytes read, 0 to count.
    virtual uint32_t read(void* buffer, uint32_t count) = 0;
    // Number of bytes written, 0 to count.
    virtual uint32_t write(const void* buffer, uint32_t count) = 0;
};

}  // namespace wav
