#pragma once

#include "net/UlinkDevice.h"

#include <cstdint>
#include <string>

// What discovery reports, on its reply threads.
class UlinkDiscoveryDelegate {
public:
    virtual ~UlinkDiscoveryDelegate() = default;
    // A device not listed before (by UID).
    virtual void found(const UlinkDevice& device) { (void)device; }
};

// What the link reports, on its own thread (error: on the thread whose send failed).
class UlinkConnectionDelegate {
public:
    virtual ~UlinkConnectionDelegate() = default;
    virtual void connected(const UlinkDevice& device) { (void)device; }
    virtual void connectFailed(const UlinkDevice& device) { (void)device; }
    // The link ended while it was still wanted (peer gone, silent, broken message).
    virtual void closed(const UlinkDevice& device) { (void)device; }
    // A message could not be sent on the link.
    virtual void error(const UlinkDevice& device) { (void)device; }
};

// Whole MIDI messages received over the link, on the link's thread.
class UlinkMIDIServiceDelegate {
public:
    virtual ~UlinkMIDIServiceDelegate() = default;
    virtual void message(const std::string& bytes, uint32_t timeStamp, int cable) {
        (void)bytes, (void)timeStamp, (void)cable;
    }
};
