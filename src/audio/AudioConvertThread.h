#pragma once

#include "audio/AudioConversionDelegate.h"
#include "wav/WaveFormat.h"
#include "base/Thread.h"

#include <string>

// Converts one file in the background; reports its progress, then its end with the
// destination (a record with tag 0 always fails).
class AudioConvertThread : public Thread {
public:
    AudioConvertThread(AudioConversionDelegatePtr delegate, std::string source, std::string destination,
                       const wav::WaveFormat& target)
        : delegate_(std::move(delegate)), source_(std::move(source)), destination_(std::move(destination)), target_(target) {}
    void run() override;

private:
    AudioConversionDelegatePtr delegate_;
    std::string source_;
    std::string destination_;
    wav::WaveFormat target_;
};
