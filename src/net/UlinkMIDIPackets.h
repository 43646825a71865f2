#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// MIDI over the device link: a 4-byte big-endian time stamp, then 4-byte event packets.
// Packet byte 0 holds the cable number (high nibble) and the Code Index Number (low nibble);
// bytes 1 to 3 hold MIDI bytes, unused ones zero.

// Turns the packets of received MIDI payloads back into whole MIDI messages. System-exclusive
// messages may span packets and payloads; each cable assembles its own.
class UlinkMIDIAssembler {
public:
    static constexpr size_t kCables = 16;
    // A sysex that never ends is cut off at this size rather than grow without bound.
    static constexpr size_t kMaxSysexSize = 65536;

    using Deliver = std::function<void(const std::string& bytes, uint32_t timeStamp, int cable)>;

    // Reads one payload (time stamp, then packets; a trailing partial packet is ignored) and
    // delivers each completed message. False when the payload is too short for a time stamp.
    bool receive(const unsigned char* payload, size_t size, const Deliver& deliver);
    // What a cable's unfinished sysex holds so far.
    const std::string& pending(int cable) const { return sysex_.at(static_cast<size_t>(cable)); }

    // Bytes of a message starting with this status, 0 for sysex, undefined and data bytes.
    static int statusLength(unsigned char status);

private:
    void packet(const unsigned char* p, uint32_t timeStamp, const Deliver& deliver);
    std::array<std::string, kCables> sysex_;
};

// Packs MIDI bytes into a link payload: the time stamp (0 is sent as 1), then one packet per
// message. Running status is followed; stray data bytes and undefined statuses are skipped;
// a sysex is split into 3-byte packets, CIN 4, the last one CIN 5, 6 or 7 by what it holds.
// A sysex interrupted by another status, or left open at the end, is ended where it stops.
std::string packUlinkMIDI(const std::string& midi, uint32_t timeStamp, int cable = 0);
