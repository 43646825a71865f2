#include "midi/MIDIEventAssembler.h"

void MIDIEventAssembler::take(const uint8_t* data, size_t length, const Emit& emit) {
    if (length == 0) return;
    uint8_t first = data[0];
    if (inSysEx_) {
        if (first >= 0xF8) {
            emit(data, length);
            return;
        }
        if (first < 0x80 || first == 0xF7) {
            append(data, length, emit);
            return;
        }
        // A new status before the F7: the unfinished SysEx is lost.
        inSysEx_ = false;
        pending_.clear();
    }
    if (first == 0xF0 && data[length - 1] != 0xF7) {
        inSysEx_ = true;
        overflowed_ = false;
        pending_.clear();
        append(data, length, emit);
        return;
    }
    emit(data, length);
}

void MIDIEventAssembler::append(const uint8_t* data, size_t length, const Emit& emit) {
    if (!overflowed_ && pending_.size() + length <= kMaxSysEx) {
        pending_.insert(pending_.end(), data, data + length);
    } else {
        overflowed_ = true;
        pending_.clear();
    }
    if (data[length - 1] != 0xF7) return;
    inSysEx_ = false;
    if (!overflowed_) emit(pending_.data(), pending_.size());
    pending_.clear();
}
