#pragma once

#include "audio/AudioDevice.h"
#include "bridge/NativeCall.h"

class JavaScriptInterface;

// Endpoint lists, file format inspection and the background conversions.
class NativeCall_audio : public NativeCall {
public:
    explicit NativeCall_audio(NativeObjects* objects);
    std::string moduleName() const override { return "audio"; }
    void call(int function, const Args& args, CallResult& result) override;
};

// Turns endpoint appearances and removals into the "changed" event;
// a new default endpoint sends nothing.
class _AudioDeviceDelegate : public AudioDeviceDelegate {
public:
    explicit _AudioDeviceDelegate(JavaScriptInterface* controller) : controller_(controller) {}
    void audioObjectAddedRemoved(const std::string& deviceId, uint32_t state) override;

private:
    JavaScriptInterface* controller_;
};
