#include "midi/MIDIInputEndpoint.h"

#include "midi/MIDISystem.h"

bool MIDIInputEndpoint::open(const MIDIEndpointInfo& endpoint) {
    close();
    system_ = MIDISystem::openInput(endpoint, receiver_);
    return system_ != nullptr;
}
