#pragma once

#include "bridge/NativeCall.h"
#include "net/UlinkDelegates.h"

class JavaScriptInterface;

// Devices on the local network: discovery, one framed link, MIDI over it.
class NativeCall_ulink : public NativeCall {
public:
    explicit NativeCall_ulink(NativeObjects* objects);
    std::string moduleName() const override { return "ulink"; }
};

// "found": one event per device found.
class _UlinkDiscoveryDelegate : public UlinkDiscoveryDelegate {
public:
    explicit _UlinkDiscoveryDelegate(JavaScriptInterface* controller) : controller_(controller) {}
    void found(const UlinkDevice& device) override;

private:
    JavaScriptInterface* controller_;
};

// "connected", "connectfailed", "closed", "error" with the device record; "message" with
// received MIDI as hex and its time stamp.
class _UlinkConnectionDelegate : public UlinkConnectionDelegate, public UlinkMIDIServiceDelegate {
public:
    explicit _UlinkConnectionDelegate(JavaScriptInterface* controller) : controller_(controller) {}
    void connected(const UlinkDevice& device) override { post("connected", device); }
    void connectFailed(const UlinkDevice& device) override { post("connectfailed", device); }
    void closed(const UlinkDevice& device) override { post("closed", device); }
    void error(const UlinkDevice& device) override { post("error", device); }
    void message(const std::string& bytes, uint32_t timeStamp, int cable) override;

private:
    void post(const char* name, const UlinkDevice& device);
    JavaScriptInterface* controller_;
};
