#include "app/WindowPlacement.h"

#include "sys/Settings.h"

#include <algorithm>
#include <cmath>

namespace {

// Values are stored as 32-bit words; positions left of or above the first monitor
// are negative and come back as such.
std::optional<int> readInt(const Settings& settings, const char* name) {
    auto value = settings.getNumber(name);
    if (!value) return std::nullopt;
    return static_cast<int>(static_cast<int32_t>(*value));
}

WindowSize limited(WindowSize size, WindowSize workArea) {
    if (workArea.width > 0) size.width = std::min(size.width, workArea.width);
    if (workArea.height > 0) size.height = std::min(size.height, workArea.height);
    return size;
}

}  // namespace

WindowPlacement WindowPlacement::load(const std::string& appName) {
    Settings settings(appName);
    WindowPlacement placement;
    placement.x = readInt(settings, "x");
    placement.y = readInt(settings, "y");
    placement.width = readInt(settings, "width");
    placement.height = readInt(settings, "height");
    if (placement.width && *placement.width <= 0) placement.width.reset();
    if (placement.height && *placement.height <= 0) placement.height.reset();
    placement.maximized = settings.getNumber("maximized").value_or(0) != 0;
    return placement;
}

bool WindowPlacement::save(const std::string& appName, int x, int y, int width, int height, bool maximized) {
    Settings settings(appName);
    bool ok = settings.setNumber("x", static_cast<uint32_t>(x));
    ok = settings.setNumber("y", static_cast<uint32_t>(y)) && ok;
    ok = settings.setNumber("width", static_cast<uint32_t>(width)) && ok;
    ok = settings.setNumber("height", static_cast<uint32_t>(height)) && ok;
    ok = settings.setNumber("maximized", maximized ? 1 : 0) && ok;
    return ok;
}

int scaledLength(int base, double scale) {
    if (!(scale > 0)) scale = 1.0;
    return std::max(1, static_cast<int>(std::ceil(base * scale - 1e-9)));
}

WindowSize defaultWindowSize(double scale, WindowSize workArea) {
    return limited({scaledLength(1000, scale), scaledLength(768, scale)}, workArea);
}

WindowSize minimumWindowSize(double scale, WindowSize workArea) {
    // 600 wide: the toolbar keeps every action from there (the rest under More), so the
    // window fits half of a small laptop screen.
    return limited({scaledLength(600, scale), scaledLength(600, scale)}, workArea);
}
