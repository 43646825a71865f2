#pragma once

#include "base/Thread.h"
#include "wav/WavFileJob.h"

#include <string>

class JavaScriptInterface;

namespace wav {

// One trnWav conversion job on its own thread; it reports with exactly one event,
// sent after the destination file is complete and closed (or gone, on failure).
class TrnWavProcThread : public Thread {
public:
    TrnWavProcThread(JavaScriptInterface* controller, std::string from, std::string to, uint16_t format,
                     uint16_t bits, int32_t sampleRate)
        : controller_(controller), from_(std::move(from)), to_(std::move(to)), format_(format), bits_(bits),
          sampleRate_(sampleRate) {}

protected:
    // Runs the conversion and posts the event named eventName.
    void runJob(WavJobKind kind, const char* eventName);

    JavaScriptInterface* controller_;
    std::string from_;
    std::string to_;
    uint16_t format_;
    uint16_t bits_;
    int32_t sampleRate_;
};

// Rewrites a file into the device's internal format ("finishedAlignTo4byteData", with "samples").
class TrnWavAlignTo4byteDataThread : public TrnWavProcThread {
public:
    using TrnWavProcThread::TrnWavProcThread;
    void run() override { runJob(WavJobKind::Import, "finishedAlignTo4byteData"); }
};

// Rewrites a device track in an export format ("finishedConvertDataFormat").
class TrnWavConvertDataFormatThread : public TrnWavProcThread {
public:
    using TrnWavProcThread::TrnWavProcThread;
    void run() override { runJob(WavJobKind::Export, "finishedConvertDataFormat"); }
};

}  // namespace wav
