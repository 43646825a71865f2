#pragma once

#include "bridge/NativeCall.h"
#include "net/TCPIPClientDelegate.h"

class JavaScriptInterface;
class TCPIPConnections;

// Numbered TCP and serial byte connections; received bytes and the end come back as events.
class NativeCall_tcpip : public NativeCall {
public:
    explicit NativeCall_tcpip(NativeObjects* objects);
    std::string moduleName() const override { return "tcpip"; }
};

// Posts a connection's "read" and "closed" events; frees its number when it ends.
class _TCPIPClientDelegate : public TCPIPClientDelegate {
public:
    _TCPIPClientDelegate(JavaScriptInterface* controller, TCPIPConnections* connections, int number)
        : controller_(controller), connections_(connections), number_(number) {}
    void read(const unsigned char* bytes, size_t length) override;
    void closed() override;

private:
    JavaScriptInterface* controller_;
    TCPIPConnections* connections_;
    int number_;
};
