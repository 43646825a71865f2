#include "midi/MIDIClock.h"

#include <time.h>

namespace {

uint64_t monotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

// Taken once, on first use, whichever thread reads the clock first.
uint64_t base() {
    static const uint64_t start = monotonicMicroseconds();
    return start;
}

}  // namespace

uint64_t midiClockMicroseconds() {
    uint64_t start = base();
    return monotonicMicroseconds() - start;
}

uint32_t midiClockMilliseconds() { return static_cast<uint32_t>(midiClockMicroseconds() / 1000u); }
