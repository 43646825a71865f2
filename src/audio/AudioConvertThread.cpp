#include "audio/AudioConvertThread.h"

#include "audio/AudioConverter.h"
#include "audio/ConversionReport.h"

void AudioConvertThread::run() {
    bool ok = runGuarded([&] { return target_.tag != 0 && convertAudioFile(source_, destination_, target_); });
    reportConversion(controller_, ok, source_, singleOutput(destination_));
}
