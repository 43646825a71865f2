#pragma once

#include <cstdint>

// The process-wide clock behind MIDI time stamps, shared by every MIDI user in the program.
// It starts at 0 on its first reading and runs on the monotonic system clock.
uint64_t midiClockMicroseconds();
// Milliseconds since the first reading; the low 32 bits of the count.
uint32_t midiClockMilliseconds();
