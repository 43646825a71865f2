#include "midi/MIDIInputLength.h"

size_t midiInputMessageLength(uint8_t status) {
    if (status < 0x80) return 0;
    if (status <= 0xBF) return 3;
    if (status <= 0xDF) return 2;
    if (status <= 0xEF) return 3;
    switch (status) {
        case 0xF1:
        case 0xF3:
            return 2;
        case 0xF2:
            return 3;
        case 0xF6:
        case 0xFA:
        case 0xFB:
        case 0xFC:
        case 0xFF:
            return 1;
        default:
            return 0;
    }
}
