#pragma once

#include <string>

// What the controller asks of a view that shows the page. The headless host has none:
// its page pulls events with $$app_getevent instead.
class PageView {
public:
    virtual ~PageView() = default;
    virtual void navigate(const std::string& url) = 0;
    // Runs one script in the page; the outcome is not observed.
    virtual void runScript(const std::string& script) = 0;
};

// What the controller asks of the main window.
class HostWindow {
public:
    virtual ~HostWindow() = default;
    // Closes the window for real: view closed, placement saved, main loop ended.
    virtual void close() = 0;
};
