#include "midi/MIDIOutputEndpoint.h"

#include "midi/MIDISystem.h"

MIDIOutputEndpoint::~MIDIOutputEndpoint() { close(); }

bool MIDIOutputEndpoint::open(const MIDIEndpointInfo& endpoint) {
    close();
    system_ = MIDISystem::openOutput(endpoint);
    return system_ != nullptr;
}

void MIDIOutputEndpoint::close() { system_.reset(); }

int MIDIOutputEndpoint::sendShort(const uint8_t* data, size_t length) { return write(data, length); }

int MIDIOutputEndpoint::sendLong(const uint8_t* data, size_t length) { return write(data, length); }
