#include "modules/NativeCall_tcpip.h"

#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "net/TCPIPClient.h"
#include "net/TCPIPConnections.h"

NativeCall_tcpip::NativeCall_tcpip(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        {"connect", [this](const Args& args, CallResult& result) {
            TCPIPConnections& connections = objects_->tcpipConnections();
            const std::string& address = args.at(0);
            // For a serial device the port is the baud rate; 0 (or none) keeps the device's rate.
            long port = args.size() > 1 ? static_cast<long>(toInt64(args[1])) : 0;
            auto client = std::make_unique<TCPIPClient>();
            if (!client->open(address, port)) {
                result.setInt(-1);
                return;
            }
            JavaScriptInterface* controller = objects_->controller();
            result.setInt(connections.add(std::move(client), [&](int number) {
                return std::make_unique<_TCPIPClientDelegate>(controller, &connections, number);
            }));
        }},
        {"close", [this](const Args& args, CallResult&) {
            objects_->tcpipConnections().with(toInt(args.at(0)), [](TCPIPClient& client) { client.disconnect(); });
        }},
        {"write", [this](const Args& args, CallResult&) {
            TCPIPConnections& connections = objects_->tcpipConnections();
            int number = toInt(args.at(0));
            std::string bytes = hexDecode(args.size() > 1 ? args[1] : std::string());
            connections.with(number, [&](TCPIPClient& client) { client.write(bytes); });
        }},
    });
}

void _TCPIPClientDelegate::read(const unsigned char* bytes, size_t length) {
    controller_->postEvent(makeEvent({"tcpip", "read", std::to_string(number_), hexEncode(bytes, length)}));
}

void _TCPIPClientDelegate::closed() {
    connections_->remove(number_, [this] {
        controller_->postEvent(makeEvent({"tcpip", "closed", std::to_string(number_)}));
    });
}
