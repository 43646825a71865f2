#include "midi/MIDIInputEndpoint.h"

MIDIInputEndpoint::~MIDIInputEndpoint() { close(); }

bool MIDIInputEndpoint::open(const MIDIEndpointInfo& endpoint) {
    close();
    try {
        midi_ = std::make_unique<MIDISystem::Quiet<RtMidiIn>>();
        int number = MIDISystem::findPort(**midi_, false, endpoint);
        if (number >= 0) {
            // Everything is taken in; which statuses reach the page is decided above this layer.
            (*midi_)->ignoreTypes(false, false, false);
            {
                std::lock_guard<std::mutex> lock(gate_);
                delivering_ = true;
            }
            (*midi_)->setCallback(received, this);
            midi_->takeError();
            (*midi_)->openPort(static_cast<unsigned>(number), MIDISystem::clientName() + " in");
            if (midi_->takeError() < 0 && (*midi_)->isPortOpen()) return true;
        }
    } catch (const RtMidiError&) {
    }
    close();
    return false;
}

// Delivery stops first; deleting the RtMidi object then closes its port and stops its input
// thread or process callback.
void MIDIInputEndpoint::close() {
    {
        std::lock_guard<std::mutex> lock(gate_);
        delivering_ = false;
    }
    midi_.reset();
}

void MIDIInputEndpoint::deliver(const std::vector<unsigned char>& message) {
    std::lock_guard<std::mutex> lock(gate_);
    if (delivering_) receiver_(message);
}

void MIDIInputEndpoint::received(double, std::vector<unsigned char>* message, void* self) {
    if (message && !message->empty()) static_cast<MIDIInputEndpoint*>(self)->deliver(*message);
}
