#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Received messages, handed from the MIDI system's thread to the main loop.
class Inbox {
public:
    void push(std::vector<uint8_t> message);
    // Waits up to timeoutMs; false when nothing came.
    bool pop(std::vector<uint8_t>& message, int timeoutMs);

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::vector<uint8_t>> messages_;
};

// The simulated device's presence in the MIDI system: one source and one destination,
// both under the device's name.
class SimPorts {
public:
    virtual ~SimPorts() = default;
    virtual void send(const std::vector<uint8_t>& message) = 0;
    // True once the transport has gone (a USB cable pulled out).
    virtual bool lost() const { return false; }
};

// JACK: one client named after the device with the ports "MIDI Out" and "MIDI In".
std::unique_ptr<SimPorts> openJackPorts(const std::string& name, Inbox& inbox, std::string& error);
// ALSA sequencer, through RtMidi virtual ports named "<name> MIDI 1" on clients named <name>.
std::unique_ptr<SimPorts> openAlsaPorts(const std::string& name, Inbox& inbox, std::string& error);
// ALSA sequencer, attached to the existing ports whose names contain portName (a USB
// gadget's MIDI function, say) instead of making its own.
std::unique_ptr<SimPorts> attachAlsaPorts(const std::string& portName, Inbox& inbox, std::string& error);
// An ALSA rawmidi device ("hw:CARD,0,0"), with an input buffer big enough for long SysEx.
std::unique_ptr<SimPorts> openRawMidiPorts(const std::string& device, Inbox& inbox, std::string& error);
