#pragma once

#include "base/Json.h"
#include "bridge/NativeCall.h"
#include "midi/MIDIDelegates.h"

#include <string>
#include <vector>

class JavaScriptInterface;
class MIDIInputPort;
class MIDIOutputPort;

// The application's MIDI client for the page: endpoint lists, connections, sending hex
// messages; incoming messages, device changes, connect failures and write errors as events.
class NativeCall_midi : public NativeCall {
public:
    explicit NativeCall_midi(NativeObjects* objects);
    std::string moduleName() const override { return "midi"; }
};

// Turns the application client's reports into "midi" events.
class _MIDIClientDelegate : public MIDIClientDelegate, public MIDIInputDelegate {
public:
    explicit _MIDIClientDelegate(JavaScriptInterface* controller) : controller_(controller) {}
    void midiInputPortConnectFailed(const MIDIEndpointInfo& endpoint) override;
    void midiOutputPortConnectFailed(const MIDIEndpointInfo& endpoint) override;
    void midiObjectAddedRemoved() override;
    void midiErrorDidOccur(int32_t code) override;
    void midiInputMessage(const uint8_t* data, uint32_t length, uint32_t timestamp) override;

private:
    JavaScriptInterface* controller_;
};

// Shared by the midi and midix modules.
namespace MIDIBridge {
// An endpoint JSON object with its four string members; anything else throws.
MIDIEndpointInfo endpointFromJson(const std::string& text);
Json endpointObject(const MIDIEndpointInfo& endpoint);
std::string endpointJson(const MIDIEndpointInfo& endpoint);
// Lists the port's endpoints afresh as a JSON array.
std::string inputEndpointList(MIDIInputPort& port);
std::string outputEndpointList(MIDIOutputPort& port);
// Connect / disconnect with the endpoint in args[at], or all endpoints when it is absent.
void connect(MIDIInputPort& port, const Args& args, size_t at);
void disconnect(MIDIInputPort& port, const Args& args, size_t at);
void connect(MIDIOutputPort& port, const Args& args, size_t at);
void disconnect(MIDIOutputPort& port, const Args& args, size_t at);
void send(MIDIOutputPort& port, const std::string& hex);
}  // namespace MIDIBridge
