#pragma once

#include "bridge/NativeCall.h"
#include "midi/MIDIDelegates.h"

#include <atomic>
#include <cstdint>

class JavaScriptInterface;
class MIDIClient;

// Numbered MIDI clients made on request, each with its own connections and MIDI thru;
// every event carries the client number.
class NativeCall_midix : public NativeCall {
public:
    // The most clients one "client" call makes; a larger count is an error result.
    static constexpr int kMaxClients = 16;

    explicit NativeCall_midix(NativeObjects* objects);
    std::string moduleName() const override { return "midix"; }

private:
    // The client numbered by the text; "invalid vector subscript" when there is none.
    MIDIClient& client(const std::string& number);
};

// Turns one numbered client's reports into "midix" events; with thru on, every received
// message also goes out through the same client's output.
class _MIDIXClientDelegate : public MIDIClientDelegate, public MIDIInputDelegate {
public:
    _MIDIXClientDelegate(JavaScriptInterface* controller, MIDIClient* client, int32_t number)
        : controller_(controller), client_(client), number_(number) {}
    void midiInputPortConnectFailed(const MIDIEndpointInfo& endpoint) override;
    void midiOutputPortConnectFailed(const MIDIEndpointInfo& endpoint) override;
    void midiObjectAddedRemoved() override;
    void midiErrorDidOccur(int32_t code) override;
    void midiInputMessage(const uint8_t* data, uint32_t length, uint32_t timestamp) override;

    void setThru(bool thru) { thru_.store(thru); }
    bool thru() const { return thru_.load(); }

private:
    JavaScriptInterface* controller_;
    MIDIClient* client_;
    int32_t number_;
    std::atomic<bool> thru_{false};
};
