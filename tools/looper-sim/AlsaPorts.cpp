#include "SimPorts.h"

#include <rtmidi/RtMidi.h>

namespace {

class AlsaPorts : public SimPorts {
public:
    AlsaPorts(const std::string& name, Inbox& inbox)
        : in_(RtMidi::LINUX_ALSA, name), out_(RtMidi::LINUX_ALSA, name), inbox_(inbox) {
        in_.ignoreTypes(false, false, false);
        in_.setCallback(received, this);
        in_.openVirtualPort(name + " MIDI 1");
        out_.openVirtualPort(name + " MIDI 1");
    }
    void send(const std::vector<uint8_t>& message) override { out_.sendMessage(&message); }

private:
    static void received(double, std::vector<unsigned char>* message, void* self) {
        if (message && !message->empty()) static_cast<AlsaPorts*>(self)->inbox_.push(*message);
    }

    RtMidiIn in_;
    RtMidiOut out_;
    Inbox& inbox_;
};

}  // namespace

std::unique_ptr<SimPorts> openAlsaPorts(const std::string& name, Inbox& inbox, std::string& error) {
    try {
        return std::make_unique<AlsaPorts>(name, inbox);
    } catch (const RtMidiError& e) {
        error = e.getMessage();
        return nullptr;
    }
}
