#pragma once

#include "audio/AudioConversionDelegate.h"
#include "base/Thread.h"

#include <string>

// Writes a time-reversed WAV copy of one file.
class AudioReverseThread : public Thread {
public:
    AudioReverseThread(AudioConversionDelegatePtr delegate, std::string source, std::string destination)
        : delegate_(std::move(delegate)), source_(std::move(source)), destination_(std::move(destination)) {}
    void run() override;

private:
    AudioConversionDelegatePtr delegate_;
    std::string source_;
    std::string destination_;
};
