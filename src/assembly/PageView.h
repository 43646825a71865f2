#pragma once

#include <string>

// What the bridge asks of a view that shows the page (the web view in the window, the
// script context of the command line). The headless host has none: its page pulls
// events with $$app_getevent instead.
class PageView {
public:
    virtual ~PageView() = default;
    virtual void navigate(const std::string& url) = 0;
    // Runs one script in the page; the outcome is not observed.
    virtual void runScript(const std::string& script) = 0;
};

// What the bridge asks of the main window (or what stands for it in a host without one).
class HostWindow {
public:
    virtual ~HostWindow() = default;
    // Closes the window for real: view closed, placement saved, main loop ended.
    virtual void close() = 0;
};
