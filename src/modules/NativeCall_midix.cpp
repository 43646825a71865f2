#include "modules/NativeCall_midix.h"

#include "base/NativeException.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "midi/MIDIClient.h"
#include "modules/NativeCall_midi.h"
#include "sys/Desktop.h"

#include <stdexcept>

namespace {

enum { kClient, kInEndpoints, kInConnect, kInDisconnect, kOutEndpoints, kOutConnect, kOutDisconnect, kSend, kThru, kPanel };

}  // namespace

NativeCall_midix::NativeCall_midix(NativeObjects* objects) : NativeCall(objects) {
    addFunctions({"client", "inendpoints", "inconnect", "indisconnect", "outendpoints", "outconnect", "outdisconnect",
                  "send", "thru", "panel"});
}

MIDIClient& NativeCall_midix::client(const std::string& number) {
    int index = toInt(number);
    auto& clients = objects_->midixClients();
    if (index < 0 || static_cast<size_t>(index) >= clients.size()) throw std::out_of_range("invalid vector subscript");
    return *clients[index].client;
}

void NativeCall_midix::call(int function, const Args& args, CallResult& result) {
    switch (function) {
        case kClient: {
            int count = toInt(args.at(0));
            // Every client is a MIDI system client with its own threads: a page never needs
            // many, and a huge count must not take the process down. A count below one asks
            // for no client at all, so it is nothing to refuse.
            if (count > kMaxClients)
                throw NativeException("client count must be at most " + std::to_string(kMaxClients));
            auto& clients = objects_->midixClients();
            if (!clients.empty() || count < 1) break;
            for (int i = 0; i < count; ++i) {
                NativeObjects::MIDIXClient entry;
                entry.client = std::make_unique<MIDIClient>();
                auto delegate = std::make_unique<_MIDIXClientDelegate>(objects_->controller(), entry.client.get(), i);
                entry.client->setDelegate(delegate.get());
                entry.client->inputPort()->setDelegate(delegate.get());
                entry.delegate = std::move(delegate);
                clients.push_back(std::move(entry));
            }
            break;
        }
        case kInEndpoints:
            result.setString(MIDIBridge::inputEndpointList(*objects_->midiClient().inputPort()));
            break;
        case kInConnect:
            MIDIBridge::connect(*client(args.at(0)).inputPort(), args, 1);
            break;
        case kInDisconnect:
            MIDIBridge::disconnect(*client(args.at(0)).inputPort(), args, 1);
            break;
        case kOutEndpoints:
            result.setString(MIDIBridge::outputEndpointList(*objects_->midiClient().outputPort()));
            break;
        case kOutConnect:
            MIDIBridge::connect(*client(args.at(0)).outputPort(), args, 1);
            break;
        case kOutDisconnect:
            MIDIBridge::disconnect(*client(args.at(0)).outputPort(), args, 1);
            break;
        case kSend:
            MIDIBridge::send(*client(args.at(0)).outputPort(), args.at(1));
            break;
        case kThru: {
            client(args.at(0));  // checks the number
            objects_->midixClients()[toInt(args.at(0))].delegate->setThru(toBool(args.at(1)));
            break;
        }
        case kPanel:
            openBluetoothSettings();
            break;
    }
}

void _MIDIXClientDelegate::midiInputPortConnectFailed(const MIDIEndpointInfo& endpoint) {
    controller_->postEvent(makeEvent({"midix", "connectfailed", std::to_string(number_), MIDIBridge::endpointJson(endpoint)}));
}

void _MIDIXClientDelegate::midiOutputPortConnectFailed(const MIDIEndpointInfo& endpoint) {
    controller_->postEvent(makeEvent({"midix", "connectfailed", std::to_string(number_), MIDIBridge::endpointJson(endpoint)}));
}

void _MIDIXClientDelegate::midiObjectAddedRemoved() {
    // One "changed" for all clients: only the first reports it.
    if (number_ == 0) controller_->postEvent(makeEvent({"midix", "changed"}));
}

void _MIDIXClientDelegate::midiErrorDidOccur(int32_t code) {
    controller_->postEvent(makeEvent({"midix", "error", std::to_string(number_), std::to_string(code)}));
}

void _MIDIXClientDelegate::midiInputMessage(const uint8_t* data, uint32_t length, uint32_t timestamp) {
    if (thru_.load()) client_->outputPort()->send(data, length);
    controller_->postEvent(
        makeEvent({"midix", "message", std::to_string(number_), hexEncode(data, length), std::to_string(timestamp)}));
}
