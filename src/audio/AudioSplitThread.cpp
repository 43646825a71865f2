#include "audio/AudioSplitThread.h"

#include "audio/AudioSampleJobs.h"
#include "audio/ConversionReport.h"
#include "base/Json.h"

#include <vector>

void AudioSplitThread::run() {
    bool ok = runGuarded([&] {
        // Anything but an array of strings ends the job as a failure.
        Json wavs = parseJson(wavs_);
        if (!wavs.is_array()) return false;
        std::vector<std::string> paths;
        for (const auto& item : wavs) {
            if (!item.is_string()) return false;
            paths.push_back(item.get<std::string>());
        }
        return splitAudioFile(source_, paths);
    });
    delegate_->conversionEnded(source_, ok, wavs_);
}
