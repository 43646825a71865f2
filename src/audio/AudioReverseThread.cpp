#include "audio/AudioReverseThread.h"

#include "audio/AudioSampleJobs.h"
#include "audio/ConversionReport.h"

void AudioReverseThread::run() {
    bool ok = runGuarded([&] { return reverseAudioFile(source_, destination_); });
    reportConversion(controller_, ok, source_, singleOutput(destination_));
}
