#pragma once

#include "base/Thread.h"

#include <condition_variable>
#include <mutex>

// Calls its target at a fixed interval on its own thread until stopped.
// The next tick is measured from the return of timerproc (no catch-up).
class Timer : public Thread {
public:
    class Proc {
    public:
        virtual ~Proc() = default;
        virtual void timerproc() = 0;
    };

    explicit Timer(Proc* target);
    // Stops and joins the timer thread. Must not run inside the target's timerproc.
    ~Timer() override;

    // (Re)starts ticking every intervalMs; a running timer thread is stopped and joined first.
    void start(unsigned intervalMs);
    // Stops and joins the timer thread; no-op when idle.
    void stop();
    // Asks the thread to end after the current tick without waiting for it; callable from
    // inside timerproc. The owner still joins it (stop or the destructor).
    void requestStop();
    unsigned interval() const { return interval_; }

    void run() override;

private:
    Proc* target_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopSignalled_ = false;
    unsigned interval_ = 0;
};
