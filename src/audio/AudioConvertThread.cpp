#include "audio/AudioConvertThread.h"

#include "audio/AudioConverter.h"
#include "audio/AudioSampleJobs.h"
#include "bridge/JavaScriptInterface.h"
#include "bridge/Json.h"
#include "bridge/Text.h"

namespace {

void report(JavaScriptInterface* controller, bool ok, const std::string& source, const std::string& outputs) {
    if (ok)
        controller->postEvent(makeEvent({"audio", "converted", source, outputs}));
    else
        controller->postEvent(makeEvent({"audio", "convertfailed", source}));
}

std::string oneOutput(const std::string& path) { return jsonText(Json::array({path})); }

// Runs a job so that nothing it throws can end the process: a throw is a failure.
template <class Job>
bool guardedJob(Job&& job) {
    try {
        return job();
    } catch (...) {
        return false;
    }
}

}  // namespace

void AudioConvertThread::run() {
    bool ok = guardedJob([&] { return target_.tag != 0 && convertAudioFile(source_, destination_, target_); });
    report(controller_, ok, source_, oneOutput(destination_));
}

void AudioSplitThread::run() {
    bool ok = guardedJob([&] {
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
    report(controller_, ok, source_, wavs_);
}

void AudioReverseThread::run() {
    bool ok = guardedJob([&] { return reverseAudioFile(source_, destination_); });
    report(controller_, ok, source_, oneOutput(destination_));
}
