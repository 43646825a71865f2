#pragma once

#include "webview/WebView2Controller.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Drains the controller's event queue into a list of split events and waits for one.
class EventCollector {
public:
    explicit EventCollector(WebView2Controller& controller) : controller_(controller) {}

    using Event = std::vector<std::string>;
    // Waits (draining) until an event matches; false after the time-out.
    bool waitFor(const std::function<bool(const Event&)>& match, std::chrono::milliseconds timeout);
    // Waits for an event of the module with this event name and first argument.
    bool waitFor(const std::string& module, const std::string& name, const std::string& first,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Keeps draining for the time given.
    void drainFor(std::chrono::milliseconds time);
    // Events so far of the module whose first argument is first.
    std::vector<Event> of(const std::string& module, const std::string& first) const;
    const std::vector<Event>& all() const { return events_; }

private:
    // Takes what the queue holds, at most a bounded helping; true when more may be waiting.
    bool drain();
    WebView2Controller& controller_;
    std::vector<Event> events_;
};
