#pragma once

#include "bridge/NativeCall.h"
#include "net/NetServiceDiscoveryDelegate.h"

class JavaScriptInterface;

// DNS-SD browsing of the local network: each instance found comes back as "resolved".
class NativeCall_netservice : public NativeCall {
public:
    explicit NativeCall_netservice(NativeObjects* objects);
    std::string moduleName() const override { return "netservice"; }
};

class _NetServiceDiscoveryDelegate : public NetServiceDiscoveryDelegate {
public:
    explicit _NetServiceDiscoveryDelegate(JavaScriptInterface* controller) : controller_(controller) {}
    void resolved(const std::string& name, const std::string& address, uint16_t port) override;
    void stopped(long status) override;

private:
    JavaScriptInterface* controller_;
};
