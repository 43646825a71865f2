// Watches an X screen until a page shows on it and prints when (CLOCK_MONOTONIC, ms), so
// that a benchmark can time a window's start to its first painted page without grabbing
// whole screenshots (each of those costs hundreds of milliseconds on a busy machine and
// competes with the program being timed).
//   paint_probe [timeout-seconds]      (DISPLAY names the screen)
// Prints "ready" once it knows the blank screen, then "painted MS" or "timeout" and ends.
// A page counts as shown when the sampled rows hold more than a few distinct colours
// beyond the blank screen's: antialiased text does, an empty window background does not.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <unistd.h>

namespace {

double nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

// Distinct colours in every 16th row of the screen.
size_t coloursInRows(Display* display, Window root, int width, int height) {
    std::set<unsigned long> colours;
    for (int y = 8; y < height; y += 16) {
        XImage* row = XGetImage(display, root, 0, y, static_cast<unsigned>(width), 1, AllPlanes, ZPixmap);
        if (!row) continue;
        for (int x = 0; x < width; ++x) colours.insert(XGetPixel(row, x, 0));
        XDestroyImage(row);
    }
    return colours.size();
}

}  // namespace

int main(int argc, char** argv) {
    double timeoutMs = (argc > 1 ? std::atof(argv[1]) : 60.0) * 1000.0;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "paint_probe: cannot open the display\n");
        return 2;
    }
    Window root = DefaultRootWindow(display);
    int width = DisplayWidth(display, DefaultScreen(display));
    int height = DisplayHeight(display, DefaultScreen(display));
    size_t blank = coloursInRows(display, root, width, height);
    std::printf("ready\n");
    std::fflush(stdout);
    double until = nowMs() + timeoutMs;
    while (nowMs() < until) {
        if (coloursInRows(display, root, width, height) > blank + 8) {
            std::printf("painted %.1f\n", nowMs());
            XCloseDisplay(display);
            return 0;
        }
        usleep(10000);
    }
    std::printf("timeout\n");
    XCloseDisplay(display);
    return 1;
}
