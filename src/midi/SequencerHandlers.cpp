// The tick handlers of the sequencer: tracks of the file and the metronome.
#include "midi/Sequencer.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int32_t kMetaEndOfTrack = 0x2F;
constexpr int32_t kMetaTempo = 0x51;
constexpr int32_t kMetaTimeSignature = 0x58;
constexpr int32_t kMetaClick = 126;
constexpr int kDrumChannel = 9;

}  // namespace

std::string Sequencer::TickHandler::advance(Sequencer& sequencer, int64_t ticks) {
    std::lock_guard<std::mutex> lock(mutex_);
    output_.clear();
    remaining_ += ticks;
    // A handler that repeats plays at most one more round of what a long advance would pass.
    int64_t round = roundLength();
    if (round > 0 && remaining_ >= 2 * round) remaining_ = remaining_ % round + round;
    while (index_ < events_.size() && remaining_ >= int64_t(events_[index_].delta)) {
        remaining_ -= events_[index_].delta;
        const Event& event = events_[index_++];
        handle(sequencer, event);
    }
    return std::move(output_);
}

void Sequencer::TickHandler::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    index_ = 0;
    remaining_ = -1;
}

void Sequencer::TickHandler::setEvents(std::vector<Event> events) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_ = std::move(events);
    index_ = 0;
    remaining_ = -1;
}

int64_t Sequencer::TickHandler::length() {
    std::lock_guard<std::mutex> lock(mutex_);
    int64_t total = 0;
    for (const Event& event : events_) total += event.delta;
    return total;
}

size_t Sequencer::TickHandler::eventCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_.size();
}

void Sequencer::Track::handle(Sequencer& sequencer, const Event& event) {
    const std::string& data = event.data;
    if (event.meta == kMetaTempo) {
        if (data.size() >= 3)
            sequencer.setTempoFromFile((uint32_t(uint8_t(data[0])) << 16) | (uint32_t(uint8_t(data[1])) << 8) |
                                       uint32_t(uint8_t(data[2])));
        return;
    }
    if (event.meta == kMetaTimeSignature) {
        if (data.size() >= 2)
            sequencer.timeSignature(*this, uint8_t(data[0]), uint8_t(data[1]), data.size() >= 3 ? uint8_t(data[2]) : 0);
        return;
    }
    if (event.meta >= 0 || data.empty()) return;
    uint8_t status = uint8_t(data[0]);
    if (status >= 0x80 && status <= 0x9F)
        handleNote(sequencer, event);
    else
        output_ += data;
}

void Sequencer::Track::handleNote(Sequencer& sequencer, const Event& event) {
    uint8_t status = uint8_t(event.data[0]);
    int channel = status & 0x0F;
    if (!sequencer.noteAllowed(channel)) return;
    if (sequencer.transpose_ == 0 || channel == kDrumChannel || event.data.size() < 2) {
        output_ += event.data;
        return;
    }
    // A note moved out of the MIDI range is left out; its note-off is left out alike.
    int note = uint8_t(event.data[1]) + sequencer.transpose_;
    if (note < 0 || note > 127) return;
    std::string moved = event.data;
    moved[1] = char(note);
    output_ += moved;
}

void Sequencer::Metronome::handle(Sequencer&, const Event& event) {
    if (event.meta == kMetaEndOfTrack) {
        index_ = 0;  // the bar repeats
    } else if (event.meta == kMetaClick && !sounds_.empty() && !event.data.empty()) {
        size_t click = std::min<size_t>(uint8_t(event.data[0]), sounds_.size() - 1);
        output_ += sounds_[click];
    }
}

void Sequencer::Metronome::build(int numerator, int denominatorPower, int clocksPerClick, int division) {
    if (clocksPerClick <= 0) clocksPerClick = 24;
    // At least one tick between clicks: a bar of no length would never end.
    uint32_t ticksPerClick = uint32_t(std::max(1, division * clocksPerClick / 24));
    double clicks = std::pow(2.0, 2 - denominatorPower) * numerator * 24 / clocksPerClick;
    // A click's number is one byte.
    int clicksPerBar = int(std::min(clicks, 256.0));
    std::vector<Event> events;
    for (int i = 0; i < clicksPerBar; ++i)
        events.push_back(Event{i == 0 ? 0u : ticksPerClick, kMetaClick, std::string(1, char(uint8_t(i)))});
    events.push_back(Event{ticksPerClick, kMetaEndOfTrack, std::string()});
    std::lock_guard<std::mutex> lock(mutex_);
    events_ = std::move(events);
    index_ = 0;
    remaining_ = -1;
    barLength_ = int64_t(std::max(clicksPerBar, 1)) * ticksPerClick;
}

void Sequencer::Metronome::setSounds(std::vector<std::string> sounds) {
    std::lock_guard<std::mutex> lock(mutex_);
    sounds_ = std::move(sounds);
}
