#pragma once

#include "audio/AudioConversionDelegate.h"
#include "audio/AudioDevice.h"
#include "bridge/NativeCall.h"

class JavaScriptInterface;

// Endpoint lists, file format inspection and the background conversions.
class NativeCall_audio : public NativeCall {
public:
    explicit NativeCall_audio(NativeObjects* objects);
    std::string moduleName() const override { return "audio"; }

private:
    // Shared with every conversion worker, which may outlive the module.
    AudioConversionDelegatePtr conversionEvents_;
};

// The conversion workers' reports as the events "progress", "converted" and "convertfailed".
class AudioConversionEvents : public AudioConversionDelegate {
public:
    explicit AudioConversionEvents(JavaScriptInterface* controller) : controller_(controller) {}
    void conversionProgress(const std::string& source, int percent) override;
    void conversionEnded(const std::string& source, bool ok, const std::string& outputs) override;

private:
    JavaScriptInterface* controller_;
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
