#include "modules/NativeCall_midi.h"

#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "midi/MIDIClient.h"
#include "sys/Desktop.h"


#include <stdexcept>

namespace {

enum { kInEndpoints, kInConnect, kInDisconnect, kOutEndpoints, kOutConnect, kOutDisconnect, kSend, kPanel };

template <class Port>
std::string endpointList(Port& port) {
    Json list = Json::array();
    for (const MIDIEndpointInfo& endpoint : port.endpoints()) list.push_back(MIDIBridge::endpointObject(endpoint));
    return jsonText(list);
}

template <class Port>
void connectPort(Port& port, const Args& args, size_t at) {
    if (args.size() > at)
        port.connectEndpoint(MIDIBridge::endpointFromJson(args[at]));
    else
        port.connectAllEndpoints();
}

template <class Port>
void disconnectPort(Port& port, const Args& args, size_t at) {
    if (args.size() > at)
        port.disconnectEndpoint(MIDIBridge::endpointFromJson(args[at]));
    else
        port.disconnectAllEndpoints();
}

}  // namespace

namespace MIDIBridge {

MIDIEndpointInfo endpointFromJson(const std::string& text) {
    Json value = parseJson(text);
    if (!value.is_object()) throw std::invalid_argument("an endpoint is a JSON object");
    MIDIEndpointInfo endpoint;
    // at() throws for a missing member, get<std::string>() for a member that is not a string.
    endpoint.deviceName = value.at("MIDIDeviceNameKey").get<std::string>();
    endpoint.entityName = value.at("MIDIEntityNameKey").get<std::string>();
    endpoint.uid = value.at("MIDIEndpointUIDKey").get<std::string>();
    endpoint.index = value.at("MIDIEndpointIndexKey").get<std::string>();
    return endpoint;
}

Json endpointObject(const MIDIEndpointInfo& endpoint) {
    return Json{{"MIDIDeviceNameKey", endpoint.deviceName},
                {"MIDIEntityNameKey", endpoint.entityName},
                {"MIDIEndpointUIDKey", endpoint.uid},
                {"MIDIEndpointIndexKey", endpoint.index}};
}

std::string endpointJson(const MIDIEndpointInfo& endpoint) { return jsonText(endpointObject(endpoint)); }

std::string inputEndpointList(MIDIInputPort& port) { return endpointList(port); }
std::string outputEndpointList(MIDIOutputPort& port) { return endpointList(port); }
void connect(MIDIInputPort& port, const Args& args, size_t at) { connectPort(port, args, at); }
void disconnect(MIDIInputPort& port, const Args& args, size_t at) { disconnectPort(port, args, at); }
void connect(MIDIOutputPort& port, const Args& args, size_t at) { connectPort(port, args, at); }
void disconnect(MIDIOutputPort& port, const Args& args, size_t at) { disconnectPort(port, args, at); }

void send(MIDIOutputPort& port, const std::string& hex) {
    std::string bytes = hexDecode(hex);
    port.send(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace MIDIBridge

NativeCall_midi::NativeCall_midi(NativeObjects* objects) : NativeCall(objects) {
    addFunctions({"inendpoints", "inconnect", "indisconnect", "outendpoints", "outconnect", "outdisconnect", "send",
                  "panel"});
}

void NativeCall_midi::call(int function, const Args& args, CallResult& result) {
    MIDIClient& client = objects_->midiClient();
    switch (function) {
        case kInEndpoints:
            result.setString(MIDIBridge::inputEndpointList(*client.inputPort()));
            break;
        case kInConnect:
            MIDIBridge::connect(*client.inputPort(), args, 0);
            break;
        case kInDisconnect:
            MIDIBridge::disconnect(*client.inputPort(), args, 0);
            break;
        case kOutEndpoints:
            result.setString(MIDIBridge::outputEndpointList(*client.outputPort()));
            break;
        case kOutConnect:
            MIDIBridge::connect(*client.outputPort(), args, 0);
            break;
        case kOutDisconnect:
            MIDIBridge::disconnect(*client.outputPort(), args, 0);
            break;
        case kSend:
            MIDIBridge::send(*client.outputPort(), args.at(0));
            break;
        case kPanel:
            openBluetoothSettings();
            break;
    }
}

void _MIDIClientDelegate::midiInputPortConnectFailed(const MIDIEndpointInfo& endpoint) {
    controller_->postEvent(makeEvent({"midi", "connectfailed", MIDIBridge::endpointJson(endpoint)}));
}

void _MIDIClientDelegate::midiOutputPortConnectFailed(const MIDIEndpointInfo& endpoint) {
    controller_->postEvent(makeEvent({"midi", "connectfailed", MIDIBridge::endpointJson(endpoint)}));
}

void _MIDIClientDelegate::midiObjectAddedRemoved() { controller_->postEvent(makeEvent({"midi", "changed"})); }

void _MIDIClientDelegate::midiErrorDidOccur(int32_t code) {
    controller_->postEvent(makeEvent({"midi", "error", std::to_string(code)}));
}

void _MIDIClientDelegate::midiInputMessage(const uint8_t* data, uint32_t length, uint32_t timestamp) {
    controller_->postEvent(makeEvent({"midi", "message", hexEncode(data, length), std::to_string(timestamp)}));
}
