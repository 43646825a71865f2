#include "midi/MIDIOutputPort.h"

#include "midi/MIDIClient.h"
#include "midi/MIDISystem.h"

MIDIOutputPort::~MIDIOutputPort() {
    disconnectAllEndpoints();
    list_.clear();
}

std::vector<MIDIEndpointInfo> MIDIOutputPort::list() { return MIDISystem::endpoints(true); }

std::vector<MIDIEndpointInfo> MIDIOutputPort::endpoints() {
    list_.clear();
    list_ = list();
    return list_;
}

size_t MIDIOutputPort::count() { return list().size(); }

bool MIDIOutputPort::isConnected(const std::string& uid) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_.count(uid) != 0;
}

size_t MIDIOutputPort::connectionCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_.size();
}

void MIDIOutputPort::attach(const std::string& uid, std::unique_ptr<MIDIOutputEndpoint> connection) {
    std::unique_ptr<MIDIOutputEndpoint> replaced;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        replaced = std::move(connections_[uid]);
        connections_[uid] = std::move(connection);
    }
}

void MIDIOutputPort::dropRetired() {
    std::vector<std::unique_ptr<MIDISystem::Output>> retired;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        retired.swap(retired_);
    }
}

void MIDIOutputPort::connectEndpoint(const MIDIEndpointInfo& endpoint) {
    dropRetired();
    // Opening waits for the MIDI system, so the connection is taken out of the table (or
    // made) and opened without holding the lock that deliveries take.
    std::unique_ptr<MIDIOutputEndpoint> connection;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = connections_.find(endpoint.uid);
        if (found != connections_.end()) {
            connection = std::move(found->second);
            connections_.erase(found);
        }
    }
    if (!connection) connection = std::make_unique<MIDIOutputEndpoint>();
    if (connection->open(endpoint)) {
        attach(endpoint.uid, std::move(connection));
        return;
    }
    connection.reset();
    if (MIDIClientDelegate* delegate = client_->delegate()) delegate->midiOutputPortConnectFailed(endpoint);
}

void MIDIOutputPort::disconnectEndpoint(const MIDIEndpointInfo& endpoint) {
    std::unique_ptr<MIDIOutputEndpoint> connection;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = connections_.find(endpoint.uid);
        if (found == connections_.end()) return;
        connection = std::move(found->second);
        connections_.erase(found);
    }
    dropRetired();
}

void MIDIOutputPort::connectAllEndpoints() {
    for (const MIDIEndpointInfo& endpoint : list()) connectEndpoint(endpoint);
}

void MIDIOutputPort::disconnectAllEndpoints() {
    std::map<std::string, std::unique_ptr<MIDIOutputEndpoint>> connections;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connections.swap(connections_);
    }
    connections.clear();
    dropRetired();
}

void MIDIOutputPort::deliver(const uint8_t* data, size_t length, bool isLong) {
    std::vector<int32_t> errors;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& entry : connections_) {
            MIDIOutputEndpoint& connection = *entry.second;
            int result = isLong ? connection.sendLong(data, length) : connection.sendShort(data, length);
            if (result == 0) continue;
            if (auto system = connection.retire()) retired_.push_back(std::move(system));
            connection.close();
            errors.push_back(result);
        }
    }
    if (MIDIClientDelegate* delegate = client_->delegate())
        for (int32_t error : errors) delegate->midiErrorDidOccur(error);
}

void MIDIOutputPort::send(const uint8_t* bytes, size_t length) {
    if (!bytes || length == 0) return;
    std::lock_guard<std::mutex> lock(sendMutex_);
    parser_.parse(bytes, length,
                  [this](const uint8_t* data, size_t size, bool isLong) { deliver(data, size, isLong); });
}
