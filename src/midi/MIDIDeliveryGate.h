#pragma once

#include <atomic>
#include <chrono>
#include <thread>

// Lets a delivering thread in while it is open, without a lock: enter() and leave() are two
// atomic operations each, so a thread cancelled between them leaves nothing locked.
// shut() turns later deliveries away and waits for those already inside to leave; it must
// not be called from inside a delivery.
class MIDIDeliveryGate {
public:
    // False when shut: the caller must then not deliver (and not call leave()).
    bool enter() {
        inside_.fetch_add(1);
        if (!shut_.load()) return true;
        inside_.fetch_sub(1);
        return false;
    }
    void leave() { inside_.fetch_sub(1); }

    void shut() {
        shut_.store(true);
        // A delivery is one message handed to the page's queue: short, so a poll will do.
        while (inside_.load() != 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    bool isShut() const { return shut_.load(); }

private:
    std::atomic<int> inside_{0};
    std::atomic<bool> shut_{false};
};
