#include "base/Timer.h"

#include <chrono>

Timer::Timer(Proc* target) : target_(target) {}

Timer::~Timer() { stop(); }

void Timer::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopSignalled_ = true;
    }
    wake_.notify_all();
    join();
}

void Timer::requestStop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopSignalled_ = true;
    }
    wake_.notify_all();
}

void Timer::start(unsigned intervalMs) {
    stop();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        interval_ = intervalMs;
        stopSignalled_ = false;
    }
    Thread::start(false);
}

void Timer::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        bool stopped = wake_.wait_for(lock, std::chrono::milliseconds(interval_), [this] { return stopSignalled_; });
        if (stopped) return;
        lock.unlock();
        target_->timerproc();
        lock.lock();
    }
}
