#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Writes Standard MIDI Files for the tests, event by event.
class SmfTrack {
public:
    // An event after delta ticks: its bytes as they stand in the file (status included or not).
    SmfTrack& raw(uint32_t delta, std::initializer_list<int> bytes) {
        quantity(delta);
        for (int b : bytes) body_.push_back(char(uint8_t(b)));
        return *this;
    }
    SmfTrack& note(uint32_t delta, int channel, int key, int velocity) {
        return raw(delta, {0x90 | channel, key, velocity});
    }
    SmfTrack& noteOff(uint32_t delta, int channel, int key) { return raw(delta, {0x80 | channel, key, 0}); }
    SmfTrack& meta(uint32_t delta, int type, const std::string& data) {
        quantity(delta);
        body_ += char(0xFF);
        body_ += char(type);
        quantity(uint32_t(data.size()));
        body_ += data;
        return *this;
    }
    SmfTrack& tempo(uint32_t delta, uint32_t microseconds) {
        return meta(delta, 0x51, std::string{char(microseconds >> 16), char(microseconds >> 8), char(microseconds)});
    }
    SmfTrack& timeSignature(uint32_t delta, int numerator, int power, int clocks) {
        return meta(delta, 0x58, std::string{char(numerator), char(power), char(clocks), 8});
    }
    SmfTrack& sysex(uint32_t delta, const std::string& data) {
        quantity(delta);
        body_ += char(0xF0);
        quantity(uint32_t(data.size()));
        body_ += data;
        return *this;
    }
    SmfTrack& end(uint32_t delta = 0) { return meta(delta, 0x2F, ""); }
    const std::string& body() const { return body_; }

    void quantity(uint32_t value) {
        char groups[5];
        int n = 0;
        do {
            groups[n++] = char(value & 0x7F);
            value >>= 7;
        } while (value);
        while (n > 1) body_ += char(groups[--n] | 0x80);
        body_ += groups[0];
    }

private:
    std::string body_;
};

inline std::string bigEndian(uint32_t value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += char(uint8_t(value >> (8 * i)));
    return out;
}

inline std::string smfChunk(const std::string& type, const std::string& body) {
    return type + bigEndian(uint32_t(body.size()), 4) + body;
}

inline std::string smfFile(int format, int division, const std::vector<SmfTrack>& tracks) {
    std::string file = smfChunk("MThd", bigEndian(format, 2) + bigEndian(uint32_t(tracks.size()), 2) +
                                            bigEndian(division, 2));
    for (const SmfTrack& track : tracks) file += smfChunk("MTrk", track.body());
    return file;
}

// One note (key, velocity 100, half a beat long) on channel at every beat from 0 to beats - 1.
inline SmfTrack notesEveryBeat(int beats, int division, int channel = 0, int key = 60, bool stepKeys = false) {
    SmfTrack track;
    for (int i = 0; i < beats; ++i) {
        int k = stepKeys ? key + i : key;
        track.note(i == 0 ? 0 : uint32_t(division / 2), channel, k, 100).noteOff(uint32_t(division / 2), channel, k);
    }
    return track;
}
