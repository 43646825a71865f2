#include "midi/MIDIInputEndpoint.h"

MIDIInputEndpoint::~MIDIInputEndpoint() { close(); }

bool MIDIInputEndpoint::open(const MIDIEndpointInfo& endpoint) {
    close();
    try {
        auto midi = std::make_unique<MIDISystem::Quiet<RtMidiIn>>();
        int number = MIDISystem::findPort(**midi, false, endpoint);
        if (number < 0) return false;
        // Everything is taken in; which statuses reach the page is decided above this layer.
        (*midi)->ignoreTypes(false, false, false);
        (*midi)->setCallback(received, this);
        midi->takeError();
        (*midi)->openPort(static_cast<unsigned>(number), MIDISystem::clientName() + " in");
        if (midi->takeError() >= 0 || !(*midi)->isPortOpen()) return false;
        midi_ = std::move(midi);
        return true;
    } catch (const RtMidiError&) {
        return false;
    }
}

// Deleting the RtMidi object closes its port and stops its input thread or process callback.
void MIDIInputEndpoint::close() { midi_.reset(); }

void MIDIInputEndpoint::received(double, std::vector<unsigned char>* message, void* self) {
    if (message && !message->empty()) static_cast<MIDIInputEndpoint*>(self)->receiver_(*message);
}
