#include "net/KeepAlive.h"

#include "net/UlinkConnection.h"

#include <chrono>

void KeepAlive::run() {
    using Clock = std::chrono::steady_clock;
    auto lastPing = Clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, std::chrono::milliseconds(kCheckMs));
        if (stopping_) break;
        auto now = Clock::now();
        if (now - lastPing < std::chrono::milliseconds(kPingMs)) continue;
        lastPing = now;
        lock.unlock();
        connection_.keepAliveTick();
        lock.lock();
    }
}

void KeepAlive::stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
}

void KeepAlive::rearm() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = false;
}
