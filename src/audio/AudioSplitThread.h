#pragma once

#include "base/Thread.h"

#include <string>

class JavaScriptInterface;

// Splits one file into the WAV files named by the page's JSON array text, which the
// "converted" event passes back as it came.
class AudioSplitThread : public Thread {
public:
    AudioSplitThread(JavaScriptInterface* controller, std::string source, std::string wavs)
        : controller_(controller), source_(std::move(source)), wavs_(std::move(wavs)) {}
    void run() override;

private:
    JavaScriptInterface* controller_;
    std::string source_;
    std::string wavs_;
};
