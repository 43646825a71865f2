#include "support/EventCollector.h"

#include <thread>

bool EventCollector::drain() {
    // A bounded helping: a peer that floods the queue faster than it is read would otherwise keep
    // this loop going for ever, and a waiter would never get to look at what arrived.
    for (int taken = 0; taken < 256; ++taken) {
        std::string text = controller_.takeEvent();
        if (text.empty()) return false;
        Event event;
        size_t start = 0;
        for (;;) {
            size_t end = text.find('\f', start);
            event.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        events_.push_back(std::move(event));
    }
    return true;
}

bool EventCollector::waitFor(const std::function<bool(const Event&)>& match, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    size_t seen = 0;
    for (;;) {
        drain();
        for (; seen < events_.size(); ++seen)
            if (match(events_[seen])) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool EventCollector::waitFor(const std::string& module, const std::string& name, const std::string& first,
                             std::chrono::milliseconds timeout) {
    return waitFor(
        [&](const Event& e) { return e.size() >= 3 && e[0] == module && e[1] == name && e[2] == first; },
        timeout);
}

void EventCollector::drainFor(std::chrono::milliseconds time) {
    auto deadline = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < deadline) {
        drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (int round = 0; round < 1000 && drain(); ++round) {
    }
}

std::vector<EventCollector::Event> EventCollector::of(const std::string& module, const std::string& first) const {
    std::vector<Event> found;
    for (const Event& e : events_)
        if (e.size() >= 3 && e[0] == module && e[2] == first) found.push_back(e);
    return found;
}
