#include "midi/SequencerFile.h"

#include <algorithm>
#include <string>

namespace SequencerFile {

namespace {

constexpr size_t kHeaderSize = 14;
constexpr size_t kChunkHeaderSize = 8;
constexpr int32_t kEndOfTrack = 0x2F;

uint32_t bigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

uint16_t bigEndian16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

// Reads from a bounded byte range; every read fails cleanly at the end.
class Reader {
public:
    Reader(const uint8_t* bytes, size_t length) : p_(bytes), end_(bytes + length) {}
    bool atEnd() const { return p_ >= end_; }
    size_t left() const { return size_t(end_ - p_); }
    bool byte(uint8_t& value) {
        if (atEnd()) return false;
        value = *p_++;
        return true;
    }
    uint8_t peek() const { return *p_; }
    // A variable-length quantity of at most four bytes (28 bits), as files write them.
    bool quantity(uint32_t& value) {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b;
            if (!byte(b)) return false;
            value = (value << 7) | (b & 0x7F);
            if (!(b & 0x80)) return true;
        }
        return false;
    }
    bool bytes(uint32_t count, std::string& out) {
        if (count > left()) return false;
        out.append(reinterpret_cast<const char*>(p_), count);
        p_ += count;
        return true;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

int dataBytesOf(uint8_t status) { return (status >= 0xC0 && status <= 0xDF) ? 1 : 2; }

}  // namespace

bool readTrack(const uint8_t* bytes, size_t length, std::vector<Sequencer::Event>& events) {
    Reader in(bytes, length);
    uint8_t running = 0;
    while (!in.atEnd()) {
        Sequencer::Event event;
        uint8_t status;
        if (!in.quantity(event.delta) || !in.byte(status)) return false;
        if (status <= 0xEF) {  // a channel event, with its own status or the running one
            int data = 0;
            if (status >= 0x80) {
                running = status;
                data = dataBytesOf(status);
            } else {
                if (running == 0) return false;  // a data byte with no status to run on
                event.data.push_back(char(running));
                event.data.push_back(char(status));
                data = dataBytesOf(running) - 1;
            }
            if (status >= 0x80) event.data.push_back(char(status));
            for (int i = 0; i < data; ++i) {
                uint8_t b;
                if (!in.byte(b)) return false;
                event.data.push_back(char(b));
            }
        } else if (status == 0xF0 || status == 0xF7) {
            uint32_t size;
            if (!in.quantity(size)) return false;
            if (status == 0xF0) event.data.push_back(char(0xF0));
            if (!in.bytes(size, event.data)) return false;
        } else if (status == 0xFF) {
            uint8_t type;
            uint32_t size;
            if (!in.byte(type) || !in.quantity(size) || !in.bytes(size, event.data)) return false;
            event.meta = type;
        } else {
            return false;
        }
        events.push_back(std::move(event));
        if (events.back().meta == kEndOfTrack) break;
    }
    return true;
}

bool read(const uint8_t* bytes, size_t length, Contents& contents) {
    contents = Contents();
    if (length < kHeaderSize + kChunkHeaderSize) return false;
    if (std::string(reinterpret_cast<const char*>(bytes), 4) != "MThd") return false;
    if (bigEndian32(bytes + 4) != 6) return false;
    uint16_t division = bigEndian16(bytes + 12);
    if ((division & 0x8000) || division == 0) return false;
    contents.division = division;
    size_t trackCount = bigEndian16(bytes + 10);

    size_t at = kHeaderSize;
    while (contents.tracks.size() < trackCount && length - at >= kChunkHeaderSize) {
        std::string type(reinterpret_cast<const char*>(bytes + at), 4);
        uint32_t claimed = bigEndian32(bytes + at + 4);
        at += kChunkHeaderSize;
        size_t size = std::min<size_t>(claimed, length - at);
        if (type == "MTrk") {
            contents.tracks.emplace_back();
            bool whole = readTrack(bytes + at, size, contents.tracks.back()) && size == claimed;
            if (!whole) break;
        }
        at += size;
    }
    return true;
}

}  // namespace SequencerFile
