#pragma once

#include "audio/AudioConversionDelegate.h"
#include "base/Thread.h"

#include <string>

// Splits one file into the WAV files named by the page's JSON array text, which the
// "converted" event passes back as it came.
class AudioSplitThread : public Thread {
public:
    AudioSplitThread(AudioConversionDelegatePtr delegate, std::string source, std::string wavs)
        : delegate_(std::move(delegate)), source_(std::move(source)), wavs_(std::move(wavs)) {}
    void run() override;

private:
    AudioConversionDelegatePtr delegate_;
    std::string source_;
    std::string wavs_;
};
