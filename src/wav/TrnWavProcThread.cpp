#include "wav/TrnWavProcThread.h"

#include "bridge/JavaScriptInterface.h"
#include "base/Json.h"
#include "base/Text.h"

namespace wav {

void TrnWavProcThread::runJob(WavJobKind kind, const char* eventName) {
    WavTargetFormat target{format_, bits_, sampleRate_};
    uint32_t frames = 0;
    bool ok = convertWavFile(kind, from_, to_, target, &frames);
    Json result = Json::object();
    result["path"] = to_;
    result["result"] = ok ? 1 : 0;
    if (ok && kind == WavJobKind::Import) result["samples"] = frames;
    controller_->postEvent(makeEvent({"trnWav", eventName, from_, jsonText(result)}));
}

}  // namespace wav
