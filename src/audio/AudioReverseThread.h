#pragma once

#include "base/Thread.h"

#include <string>

class JavaScriptInterface;

// Writes a time-reversed WAV copy of one file.
class AudioReverseThread : public Thread {
public:
    AudioReverseThread(JavaScriptInterface* controller, std::string source, std::string destination)
        : controller_(controller), source_(std::move(source)), destination_(std::move(destination)) {}
    void run() override;

private:
    JavaScriptInterface* controller_;
    std::string source_;
    std::string destination_;
};
