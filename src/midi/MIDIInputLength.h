#pragma once

#include <cstddef>
#include <cstdint>

// Length of an incoming short message by its status byte, 0 for a status that is never
// delivered (data bytes, F0 and F7 outside a SysEx, undefined statuses, timing clock F8 and
// active sensing FE).
size_t midiInputMessageLength(uint8_t status);
