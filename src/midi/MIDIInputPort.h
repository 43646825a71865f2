#pragma once

#include "midi/MIDIDelegates.h"
#include "midi/MIDIEndpointInfo.h"
#include "midi/MIDIInputEndpoint.h"
#include "midi/MIDISystem.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class MIDIClient;

// The input side of a client: lists the system's MIDI sources and holds any number of open
// connections to them, keyed by UID. Connect and disconnect run on the UI thread; received
// messages reach the input delegate on the MIDI system's input thread.
class MIDIInputPort {
public:
    explicit MIDIInputPort(MIDIClient* client) : client_(client) {}
    MIDIInputPort(const MIDIInputPort&) = delete;
    MIDIInputPort& operator=(const MIDIInputPort&) = delete;
    virtual ~MIDIInputPort();

    virtual void connectEndpoint(const MIDIEndpointInfo& endpoint);
    virtual void disconnectEndpoint(const MIDIEndpointInfo& endpoint);
    virtual void connectAllEndpoints();
    virtual void disconnectAllEndpoints();
    // Lists the sources afresh; the list is also kept in the port.
    virtual std::vector<MIDIEndpointInfo> endpoints();
    // Number of sources an endpoint list would show now (any thread).
    size_t count();

    const std::vector<MIDIEndpointInfo>& endpointList() const { return list_; }
    bool isConnected(const std::string& uid) const { return connections_.count(uid) != 0; }
    size_t connectionCount() const { return connections_.size(); }

    void setDelegate(MIDIInputDelegate* delegate) { delegate_.store(delegate); }
    MIDIInputDelegate* delegate() const { return delegate_.load(); }

    // Hands one received message to the delegate by the rules for incoming MIDI: a SysEx
    // whole, any other message cut to the length its status gives (missing data bytes read as
    // 0), statuses that are never delivered dropped. The time stamp is the MIDI clock's.
    void receive(const uint8_t* data, size_t length);

private:
    std::vector<MIDIEndpointInfo> list();

    MIDIClient* client_;
    std::atomic<MIDIInputDelegate*> delegate_{nullptr};
    std::vector<MIDIEndpointInfo> list_;
    std::map<std::string, std::unique_ptr<MIDIInputEndpoint>> connections_;
};
