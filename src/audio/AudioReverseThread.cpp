#include "audio/AudioReverseThread.h"

#include "audio/AudioSampleJobs.h"
#include "audio/ConversionReport.h"

void AudioReverseThread::run() {
    bool ok = runGuarded([&] { return reverseAudioFile(source_, destination_); });
    delegate_->conversionEnded(source_, ok, singleOutput(destination_));
}
