#include "midi/MIDIOutputEndpoint.h"

MIDIOutputEndpoint::~MIDIOutputEndpoint() { close(); }

bool MIDIOutputEndpoint::open(const MIDIEndpointInfo& endpoint) {
    close();
    try {
        auto midi = std::make_unique<MIDISystem::Quiet<RtMidiOut>>();
        int number = MIDISystem::findPort(**midi, true, endpoint);
        if (number < 0) return false;
        midi->takeError();
        (*midi)->openPort(static_cast<unsigned>(number), MIDISystem::clientName() + " out");
        if (midi->takeError() >= 0 || !(*midi)->isPortOpen()) return false;
        midi_ = std::move(midi);
        return true;
    } catch (const RtMidiError&) {
        return false;
    }
}

void MIDIOutputEndpoint::close() { midi_.reset(); }

int MIDIOutputEndpoint::write(const uint8_t* data, size_t length) {
    if (!midi_) return 0;
    midi_->takeError();
    try {
        (*midi_)->sendMessage(data, length);
    } catch (const RtMidiError& error) {
        return error.getType() == RtMidiError::WARNING ? RtMidiError::DRIVER_ERROR : error.getType();
    }
    int error = midi_->takeError();
    if (error < 0) return 0;
    return error == RtMidiError::WARNING ? RtMidiError::DRIVER_ERROR : error;
}

int MIDIOutputEndpoint::sendShort(const uint8_t* data, size_t length) { return write(data, length); }

int MIDIOutputEndpoint::sendLong(const uint8_t* data, size_t length) { return write(data, length); }
