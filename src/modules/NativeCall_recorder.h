#pragma once

#include "audio/AudioRecorder.h"
#include "bridge/NativeCall.h"

class JavaScriptInterface;

// Recording from the input unit into a file.
class NativeCall_recorder : public NativeCall {
public:
    explicit NativeCall_recorder(NativeObjects* objects);
    std::string moduleName() const override { return "recorder"; }
};

// Recorder reports as "recorder" events carrying the file path.
class _AudioRecorderDelegate : public AudioRecorderDelegate {
public:
    explicit _AudioRecorderDelegate(JavaScriptInterface* controller) : controller_(controller) {}
    void recorderStopped(const std::string& path) override;
    void recorderError(const std::string& path) override;

private:
    JavaScriptInterface* controller_;
};
