#pragma once

#include "midi/MIDIEndpointInfo.h"
#include "midi/MIDIOutputEndpoint.h"
#include "midi/MIDIOutputParser.h"
#include "midi/MIDIPortConnection.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class MIDIClient;

// The output side of a client: lists the system's MIDI destinations, holds open connections
// keyed by UID, parses outgoing bytes into messages and writes each to every connection.
// send() may run on the UI thread and, for MIDI thru, on an input thread at the same time:
// whole send() calls are serialised, so their messages never interleave.
class MIDIOutputPort {
public:
    explicit MIDIOutputPort(MIDIClient* client) : client_(client) {}
    MIDIOutputPort(const MIDIOutputPort&) = delete;
    MIDIOutputPort& operator=(const MIDIOutputPort&) = delete;
    virtual ~MIDIOutputPort();

    virtual void connectEndpoint(const MIDIEndpointInfo& endpoint);
    virtual void disconnectEndpoint(const MIDIEndpointInfo& endpoint);
    virtual void connectAllEndpoints();
    virtual void disconnectAllEndpoints();
    // Writes one message to every open connection, in UID order. A connection whose write
    // fails is closed (it stays listed, later writes skip it) and the error is reported.
    virtual void deliver(const uint8_t* data, size_t length, bool isLong);
    virtual std::vector<MIDIEndpointInfo> endpoints();
    size_t count();

    // Parses bytes into MIDI messages and delivers each; the parser's state carries over.
    void send(const uint8_t* bytes, size_t length);

    const std::vector<MIDIEndpointInfo>& endpointList() const { return list_; }
    bool isConnected(const std::string& uid) const;
    size_t connectionCount() const;
    // Puts a connection in the table under uid (replacing one there), as connectEndpoint does.
    void attach(const std::string& uid, std::unique_ptr<MIDIOutputEndpoint> connection);

private:
    std::vector<MIDIEndpointInfo> list();
    void dropRetired();

    MIDIClient* client_;
    std::vector<MIDIEndpointInfo> list_;
    // Guards the connection table and writes; held only briefly, never while a system
    // connection is made or closed.
    mutable std::mutex mutex_;
    std::map<std::string, std::unique_ptr<MIDIOutputEndpoint>> connections_;
    std::vector<std::unique_ptr<MIDISystem::Output>> retired_;
    // Serialises send() calls around the parser's running status and SysEx buffer.
    std::mutex sendMutex_;
    MIDIOutputParser parser_;
};
