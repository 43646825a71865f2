#pragma once

#include "base/Thread.h"
#include "base/Timer.h"
#include "ir/IrConverterStrategy.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace wav {

// Result codes of an impulse-response job, as the page knows them.
enum IrResult : int {
    kIrSuccess = 0x0000,
    kIrFailedUnknown = 0x1000,
    kIrFailedInputFileNotFound = 0x1001,
    kIrFailedOutputFileError = 0x1002,
    kIrFailedInputFileFormatError = 0x1003,
    kIrFailedCanceled = 0x2000,
};

// One impulse-response conversion job: reads the WAV at path, runs the strategy on a thread
// of its own and writes its two outputs as headerless little-endian floats to
// <folder>KRV<procId>.tmp and <folder>KRV<procId>_R.tmp. While it runs a 100 ms timer reports
// progress; at the end it reports its result once. Both reports go through the notifier, from
// the job's threads; the owner takes them to its own thread.
class IRConvertWorker : private Timer::Proc {
public:
    enum class Notice { Progress, Result };
    using Notifier = std::function<void(const std::string& procId, Notice notice)>;

    IRConvertWorker(int stereoProc, std::string path, std::string procId,
                    std::unique_ptr<IIrConverterStrategy> strategy, std::string folder, Notifier notifier);
    // Joins the job thread (it must have been told to stop, or have finished).
    ~IRConvertWorker() override;

    // Starts the job thread; false when it could not be started (nothing is reported then).
    bool startConvert();
    // Sets the strategy's cancel flag; the job stops at its next check point.
    void cancel();
    void join();

    const std::string& procId() const { return procId_; }
    int progress() const { return progress_.load(); }
    // The result and paths, once the result notice has been sent.
    int result() const;
    std::string pathL() const;
    std::string pathR() const;

    // Longest input accepted, in samples (all channels): about 3 minutes of 48 kHz stereo.
    static constexpr size_t kMaxSamples = size_t{1} << 24;
    // Sample rates accepted (others give the format error).
    static constexpr uint32_t kMinSampleRate = 1000;
    static constexpr uint32_t kMaxSampleRate = 1536000;

private:
    class JobThread : public Thread {
    public:
        explicit JobThread(IRConvertWorker* worker) : worker_(worker) {}
        void run() override { worker_->run(); }

    private:
        IRConvertWorker* worker_;
    };

    void run();
    int convert();
    void timerproc() override;
    void report(int code, const std::string& left, const std::string& right);

    int stereoProc_;
    std::string path_;
    std::string procId_;
    JobThread thread_;
    std::unique_ptr<IIrConverterStrategy> strategy_;
    std::atomic<int> progress_{1};
    mutable std::mutex resultMutex_;
    int result_ = kIrFailedUnknown;
    std::string pathL_, pathR_;
    std::string folder_;
    Notifier notifier_;
    Timer timer_;
};

}  // namespace wav
