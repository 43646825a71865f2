#include "modules/NativeCall_midix.h"

#include "base/NativeException.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "midi/MIDIClient.h"
#include "modules/NativeCall_midi.h"
#include "sys/Desktop.h"

#include <stdexcept>

NativeCall_midix::NativeCall_midix(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        {"client", [this](const Args& args, CallResult&) {
            int count = toInt(args.at(0));
            // Every client is a MIDI system client with its own threads: a page never needs
            // many, and a huge count must not take the process down. A count below one asks
            // for no client at all, so it is nothing to refuse.
            if (count > kMaxClients)
                throw NativeException("client count must be at most " + std::to_string(kMaxClients));
            auto& clients = objects_->midixClients();
            if (!clients.empty() || count < 1) return;
            for (int i = 0; i < count; ++i) {
                NativeObjects::MIDIXClient entry;
                entry.client = std::make_unique<MIDIClient>();
                auto delegate = std::make_unique<_MIDIXClientDelegate>(objects_->controller(), entry.client.get(), i);
                entry.client->setDelegate(delegate.get());
                entry.client->inputPort()->setDelegate(delegate.get());
                entry.delegate = std::move(delegate);
                clients.push_back(std::move(entry));
            }
        }},
        {"inendpoints", [this](const Args&, CallResult& result) {
            result.setString(MIDIBridge::inputEndpointList(*objects_->midiClient().inputPort()));
        }},
        {"inconnect", [this](const Args& args, CallResult&) {
            MIDIBridge::connect(*client(args.at(0)).inputPort(), args, 1);
        }},
        {"indisconnect", [this](const Args& args, CallResult&) {
            MIDIBridge::disconnect(*client(args.at(0)).inputPort(), args, 1);
        }},
        {"outendpoints", [this](const Args&, CallResult& result) {
            result.setString(MIDIBridge::outputEndpointList(*objects_->midiClient().outputPort()));
        }},
        {"outconnect", [this](const Args& args, CallResult&) {
            MIDIBridge::connect(*client(args.at(0)).outputPort(), args, 1);
        }},
        {"outdisconnect", [this](const Args& args, CallResult&) {
            MIDIBridge::disconnect(*client(args.at(0)).outputPort(), args, 1);
        }},
        {"send", [this](const Args& args, CallResult&) {
            MIDIBridge::send(*client(args.at(0)).outputPort(), args.at(1));
        }},
        {"thru", [this](const Args& args, CallResult&) {
            client(args.at(0));  // checks the number
            objects_->midixClients()[toInt(args.at(0))].delegate->setThru(toBool(args.at(1)));
        }},
        {"panel", [this](const Args&, CallResult&) { openBluetoothSettings(); }},
    });
}

MIDIClient& NativeCall_midix::client(const std::string& number) {
    int index = toInt(number);
    auto& clients = objects_->midixClients();
    if (index < 0 || static_cast<size_t>(index) >= clients.size()) throw std::out_of_range("invalid vector subscript");
    return *clients[index].client;
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
