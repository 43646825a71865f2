#include "wav/TrnWavProcThread.h"

namespace wav {

void TrnWavProcThread::runJob(WavJobKind kind) {
    WavTargetFormat target{format_, bits_, sampleRate_};
    uint32_t frames = 0;
    bool ok = convertWavFile(kind, from_, to_, target, &frames);
    delegate_->jobFinished(kind, from_, to_, ok, frames);
}

}  // namespace wav
