#include "midi/MIDIInputPort.h"

#include "midi/MIDIClient.h"
#include "midi/MIDIClock.h"
#include "midi/MIDIInputLength.h"

MIDIInputPort::~MIDIInputPort() {
    disconnectAllEndpoints();
    list_.clear();
}

std::vector<MIDIEndpointInfo> MIDIInputPort::list() { return MIDISystem::endpoints(false); }

std::vector<MIDIEndpointInfo> MIDIInputPort::endpoints() {
    list_.clear();
    list_ = list();
    return list_;
}

size_t MIDIInputPort::count() { return list().size(); }

void MIDIInputPort::connectEndpoint(const MIDIEndpointInfo& endpoint) {
    auto found = connections_.find(endpoint.uid);
    if (found != connections_.end()) {
        // Already connected: reopen the same connection; a failed reopen drops it.
        if (found->second->open(endpoint)) return;
        connections_.erase(found);
    } else {
        auto connection = std::make_unique<MIDIInputEndpoint>(
            [this](const uint8_t* data, size_t length) { receive(data, length); });
        if (connection->open(endpoint)) {
            connections_.emplace(endpoint.uid, std::move(connection));
            return;
        }
    }
    if (MIDIClientDelegate* delegate = client_->delegate()) delegate->midiInputPortConnectFailed(endpoint);
}

void MIDIInputPort::disconnectEndpoint(const MIDIEndpointInfo& endpoint) { connections_.erase(endpoint.uid); }

void MIDIInputPort::connectAllEndpoints() {
    for (const MIDIEndpointInfo& endpoint : list()) connectEndpoint(endpoint);
}

void MIDIInputPort::disconnectAllEndpoints() { connections_.clear(); }

void MIDIInputPort::receive(const uint8_t* data, size_t length) {
    uint32_t time = midiClockMilliseconds();
    if (length == 0) return;
    MIDIInputDelegate* delegate = delegate_.load();
    if (data[0] == 0xF0) {
        if (delegate) delegate->midiInputMessage(data, static_cast<uint32_t>(length), time);
        return;
    }
    size_t size = midiInputMessageLength(data[0]);
    if (size == 0 || !delegate) return;
    uint8_t message[3] = {0, 0, 0};
    for (size_t i = 0; i < size && i < length; ++i) message[i] = data[i];
    delegate->midiInputMessage(message, static_cast<uint32_t>(size), time);
}
