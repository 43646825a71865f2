#pragma once

#include <optional>
#include <string>

// Where the main window goes, and what is kept of it in the settings file under the
// application's section ("x", "y", "width", "height", "maximized").
struct WindowSize {
    int width = 0;
    int height = 0;
};

struct WindowPlacement {
    std::optional<int> x, y, width, height;
    bool maximized = false;

    static WindowPlacement load(const std::string& appName);
    // x, y, width, height of the restored (not maximized) window.
    static bool save(const std::string& appName, int x, int y, int width, int height, bool maximized);
};

// ceil(base × scale), at least 1.
int scaledLength(int base, double scale);
// The first-run size of the page area: ceil(1000 × scale) by ceil(768 × scale), each
// limited to the monitor's work area.
WindowSize defaultWindowSize(double scale, WindowSize workArea);
// The smallest page area: ceil(800 × scale) by ceil(600 × scale), limited the same way.
WindowSize minimumWindowSize(double scale, WindowSize workArea);
