#include "SimPorts.h"

#include <chrono>

void Inbox::push(std::vector<uint8_t> message) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(std::move(message));
    }
    ready_.notify_one();
}

bool Inbox::pop(std::vector<uint8_t>& message, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !messages_.empty(); }))
        return false;
    message = std::move(messages_.front());
    messages_.pop_front();
    return true;
}
