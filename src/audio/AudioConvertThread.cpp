#include "audio/AudioConvertThread.h"

#include "audio/AudioConverter.h"
#include "audio/ConversionReport.h"
#include "bridge/JavaScriptInterface.h"
#include "base/Text.h"

#include <cmath>

void AudioConvertThread::run() {
    // "progress" with the whole percent converted, each time it grows (at most 100 events).
    int told = -1;
    auto progress = [&](double fraction) {
        int percent = static_cast<int>(std::floor(fraction * 100));
        if (percent <= told) return;
        told = percent;
        controller_->postEvent(makeEvent({"audio", "progress", source_, std::to_string(percent)}));
    };
    bool ok = runGuarded([&] { return target_.formatTag != 0 && convertAudioFile(source_, destination_, target_, progress); });
    reportConversion(controller_, ok, source_, singleOutput(destination_));
}
