#pragma once

#include "base/Thread.h"
#include "wav/WavFileJob.h"

#include <cstdint>
#include <memory>
#include <string>

namespace wav {

// What a trnWav job reports once, from its thread, after the destination file is complete
// and closed (or gone, on failure); frames counts the sample frames written by an import.
class TrnWavJobDelegate {
public:
    virtual ~TrnWavJobDelegate() = default;
    virtual void jobFinished(WavJobKind /*kind*/, const std::string& /*from*/, const std::string& /*to*/,
                             bool /*ok*/, uint32_t /*frames*/) {}
};

// One trnWav conversion job on its own thread; it reports exactly once to its delegate
// (shared: the delegate lives as long as the last job).
class TrnWavProcThread : public Thread {
public:
    TrnWavProcThread(std::shared_ptr<TrnWavJobDelegate> delegate, std::string from, std::string to, uint16_t format,
                     uint16_t bits, int32_t sampleRate)
        : delegate_(std::move(delegate)), from_(std::move(from)), to_(std::move(to)), format_(format), bits_(bits),
          sampleRate_(sampleRate) {}

protected:
    // Runs the conversion and reports its end.
    void runJob(WavJobKind kind);

    std::shared_ptr<TrnWavJobDelegate> delegate_;
    std::string from_;
    std::string to_;
    uint16_t format_;
    uint16_t bits_;
    int32_t sampleRate_;
};

// Rewrites a file into the device's internal format (an import: frames counted).
class TrnWavAlignTo4byteDataThread : public TrnWavProcThread {
public:
    using TrnWavProcThread::TrnWavProcThread;
    void run() override { runJob(WavJobKind::Import); }
};

// Rewrites a device track in an export format.
class TrnWavConvertDataFormatThread : public TrnWavProcThread {
public:
    using TrnWavProcThread::TrnWavProcThread;
    void run() override { runJob(WavJobKind::Export); }
};

}  // namespace wav
