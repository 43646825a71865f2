#include "modules/NativeCall_midi.h"

#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "midi/MIDIClient.h"
#include "sys/Desktop.h"


#include <stdexcept>

namespace {

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
    setFunctions({
        {"inendpoints", [this](const Args&, CallResult& result) {
            result.setString(MIDIBridge::inputEndpointList(*objects_->midiClient().inputPort()));
        }},
        {"inconnect", [this](const Args& args, CallResult&) {
            MIDIBridge::connect(*objects_->midiClient().inputPort(), args, 0);
        }},
        {"indisconnect", [this](const Args& args, CallResult&) {
            MIDIBridge::disconnect(*objects_->midiClient().inputPort(), args, 0);
        }},
        {"outendpoints", [this](const Args&, CallResult& result) {
            result.setString(MIDIBridge::outputEndpointList(*objects_->midiClient().outputPort()));
        }},
        {"outconnect", [this](const Args& args, CallResult&) {
            MIDIBridge::connect(*objects_->midiClient().outputPort(), args, 0);
        }},
        {"outdisconnect", [this](const Args& args, CallResult&) {
            MIDIBridge::disconnect(*objects_->midiClient().outputPort(), args, 0);
        }},
        {"send", [this](const Args& args, CallResult&) {
            MIDIBridge::send(*objects_->midiClient().outputPort(), args.at(0));
        }},
        {"panel", [this](const Args&, CallResult&) { openBluetoothSettings(); }},
    });
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
