#include "audio/AudioConvertThread.h"

#include "audio/AudioConverter.h"
#include "audio/ConversionReport.h"

#include <cmath>

void AudioConvertThread::run() {
    // The whole percent converted, each time it grows (at most 100 reports).
    int told = -1;
    auto progress = [&](double fraction) {
        int percent = static_cast<int>(std::floor(fraction * 100));
        if (percent <= told) return;
        told = percent;
        delegate_->conversionProgress(source_, percent);
    };
    bool ok = runGuarded([&] { return target_.formatTag != 0 && convertAudioFile(source_, destination_, target_, progress); });
    delegate_->conversionEnded(source_, ok, singleOutput(destination_));
}
