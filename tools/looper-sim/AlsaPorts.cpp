#include "SimPorts.h"

#include <rtmidi/RtMidi.h>

namespace {

class AlsaPorts : public SimPorts {
public:
    // attach: open the existing ports whose names contain name, else make virtual ones.
    AlsaPorts(const std::string& name, Inbox& inbox, bool attach)
        : in_(RtMidi::LINUX_ALSA, attach ? "looper-sim" : name), out_(RtMidi::LINUX_ALSA, attach ? "looper-sim" : name),
          inbox_(inbox) {
        in_.ignoreTypes(false, false, false);
        in_.setCallback(received, this);
        if (attach) {
            in_.openPort(portNamed(in_, name), "looper-sim in");
            out_.openPort(portNamed(out_, name), "looper-sim out");
        } else {
            in_.openVirtualPort(name + " MIDI 1");
            out_.openVirtualPort(name + " MIDI 1");
        }
    }
    void send(const std::vector<uint8_t>& message) override { out_.sendMessage(&message); }

private:
    static unsigned portNamed(RtMidi& midi, const std::string& name) {
        for (unsigned i = 0; i < midi.getPortCount(); ++i)
            if (midi.getPortName(i).find(name) != std::string::npos) return i;
        throw RtMidiError("no ALSA sequencer port named " + name, RtMidiError::INVALID_DEVICE);
    }

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
        return std::make_unique<AlsaPorts>(name, inbox, false);
    } catch (const RtMidiError& e) {
        error = e.getMessage();
        return nullptr;
    }
}

std::unique_ptr<SimPorts> attachAlsaPorts(const std::string& portName, Inbox& inbox, std::string& error) {
    try {
        return std::make_unique<AlsaPorts>(portName, inbox, true);
    } catch (const RtMidiError& e) {
        error = e.getMessage();
        return nullptr;
    }
}
