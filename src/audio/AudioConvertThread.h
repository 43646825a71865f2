#pragma once

#include "wav/WaveFormat.h"
#include "base/Thread.h"

#include <string>

class JavaScriptInterface;

// Converts one file in the background; reports "converted" with the destination
// or "convertfailed" (a record with tag 0 always fails).
class AudioConvertThread : public Thread {
public:
    AudioConvertThread(JavaScriptInterface* controller, std::string source, std::string destination,
                       const wav::WaveFormat& target)
        : controller_(controller), source_(std::move(source)), destination_(std::move(destination)), target_(target) {}
    void run() override;

private:
    JavaScriptInterface* controller_;
    std::string source_;
    std::string destination_;
    wav::WaveFormat target_;
};
