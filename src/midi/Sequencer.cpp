#include "midi/Sequencer.h"

#include "midi/MIDIClock.h"
#include "midi/SequencerFile.h"
#include "base/MainThread.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint8_t kAllSoundOff = 0x78;
constexpr uint8_t kResetAllControllers = 0x79;
constexpr uint8_t kAllNotesOff = 0x7B;

// A status byte other than the F7 that ends a SysEx.
bool startsMessage(char byte) { return (uint8_t(byte) & 0x80) && uint8_t(byte) != 0xF7; }

}  // namespace

Sequencer::Sequencer() : alive_(std::make_shared<Sequencer*>(this)) {}

Sequencer::~Sequencer() {
    std::unique_ptr<Timer> timer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        timer = takeTimer();
    }
    timer.reset();
    alive_.reset();
}

void Sequencer::setDelegate(SequencerDelegate* delegate) {
    std::lock_guard<std::mutex> lock(mutex_);
    delegate_ = delegate;
}

// --- loading -----------------------------------------------------------------------------------

bool Sequencer::load(const uint8_t* bytes, size_t length) {
    pause();
    std::lock_guard<std::mutex> lock(mutex_);
    tracks_.clear();
    totalTicks_ = 0;
    metronome_.setEvents({});
    position_ = rangeStart_ = rangeEnd_ = 0;

    SequencerFile::Contents contents;
    if (!SequencerFile::read(bytes, length, contents)) return false;
    division_ = contents.division;
    for (auto& events : contents.tracks) {
        auto track = std::make_unique<Track>();
        track->setEvents(std::move(events));
        totalTicks_ = std::max(totalTicks_, track->length());
        tracks_.push_back(std::move(track));
    }

    tempoFactor_ = 1.0;
    fileTempo_ = 0;
    // A file without a tempo event plays at the default tempo, not at the last file's.
    int32_t before = currentTempo_;
    currentTempo_ = kDefaultTempo;
    uint64_t reportsBefore = tempoReports_;
    buildMetronome(4, 2, 24);
    // Tempo and time signature at tick 0 take effect now; what the tracks play is dropped.
    position_ = 1;
    for (auto& track : tracks_) track->advance(*this, 1);
    locateLocked(0);
    rangeStart_ = 0;
    rangeEnd_ = totalTicks_;
    if (tempoReports_ == reportsBefore && currentTempo_ != before && delegate_)
        delegate_->sequencerTempoChanged(60000000 / currentTempo_);
    return true;
}

// --- what the tracks ask of the sequencer ------------------------------------------------------

void Sequencer::setTempoFromFile(uint32_t microsecondsPerQuarter) {
    if (microsecondsPerQuarter == 0) {
        tempoFactor_ = 1.0;
        fileTempo_ = 0;
        return;
    }
    fileTempo_ = microsecondsPerQuarter;
    // Between a microsecond (never 0: the timer divides by it) and a minute (1 bpm) a quarter.
    int32_t effective = int32_t(std::min(std::max(1.0, std::trunc(microsecondsPerQuarter / tempoFactor_)),
                                         double(kSlowestTempo)));
    if (effective == currentTempo_) return;
    currentTempo_ = effective;
    ++tempoReports_;
    if (delegate_) delegate_->sequencerTempoChanged(60000000 / effective);
}

void Sequencer::timeSignature(const Track& track, int numerator, int denominatorPower, int clocksPerClick) {
    // The new bar starts at the event's tick, inside the advance in progress.
    metronomeAdvance_ = track.remainingTicks() + 1;
    buildMetronome(numerator, denominatorPower, clocksPerClick);
}

void Sequencer::buildMetronome(int numerator, int denominatorPower, int clocksPerClick) {
    metronome_.build(numerator, denominatorPower, clocksPerClick, division_);
}

bool Sequencer::noteAllowed(int channel) const { return !chase_ && !(muteMask_ & (1u << channel)); }

// --- moving through the song -------------------------------------------------------------------

void Sequencer::advance(int64_t ticks) {
    std::lock_guard<std::mutex> lock(mutex_);
    advanceLocked(std::max<int64_t>(0, ticks));
}

void Sequencer::advanceLocked(int64_t ticks) {
    position_ += ticks;
    metronomeAdvance_ = ticks;
    std::string song;
    for (auto& track : tracks_) song += track->advance(*this, ticks);
    std::string click = metronome_.advance(*this, metronomeAdvance_);
    if (!metronomeOn_ || chase_) click.clear();
    sendOutput(std::move(song), click);
}

void Sequencer::sendOutput(std::string song, const std::string& metronome) {
    if (!delegate_) return;
    size_t at = 0;
    bool clickPending = !metronome.empty();
    while (song.size() - at >= kOutputChunk) {
        // Cut before the last message start of the next 256 bytes, so messages stay whole.
        size_t cut = 0;
        for (size_t i = at + kOutputChunk - 1; i > at; --i) {
            if (startsMessage(song[i])) {
                cut = i;
                break;
            }
        }
        // One message longer than that (a long SysEx): it goes out whole, with its F7.
        if (cut == 0) {
            cut = at + kOutputChunk;
            while (cut < song.size() && !startsMessage(song[cut])) ++cut;
        }
        delegate_->sequencerOutput(song.substr(at, cut - at), clickPending ? metronome : std::string());
        clickPending = false;
        at = cut;
    }
    if (at < song.size() || clickPending)
        delegate_->sequencerOutput(song.substr(at), clickPending ? metronome : std::string());
}

void Sequencer::send(const std::string& song, const std::string& metronome) {
    if (delegate_) delegate_->sequencerOutput(song, metronome);
}

void Sequencer::sendToAllChannels(uint8_t controller) {
    std::string bytes;
    for (int channel = 0; channel < kChannels; ++channel) bytes += {char(0xB0 | channel), char(controller), 0};
    send(bytes);
}

void Sequencer::locateLocked(int64_t tick) {
    if (tick == position_) return;
    std::string reset;
    for (int channel = 0; channel < kChannels; ++channel)
        reset += {char(0xB0 | channel), char(kResetAllControllers), 0, char(kAllNotesOff), 0};
    send(reset);
    for (auto& track : tracks_) track->reset();
    metronome_.reset();
    position_ = 0;
    // Replay up to the tick without notes, so controllers, programs and tempo are as there.
    chase_ = true;
    advanceLocked(tick);
    chase_ = false;
}

int64_t Sequencer::clampToRange(int64_t tick) const { return std::min(std::max(tick, rangeStart_), rangeEnd_); }

void Sequencer::locate(double beats) {
    std::unique_ptr<Timer> timer;
    int64_t tick = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (totalTicks_ / division_ == 0) return;
        double wanted = beats * division_;
        if (std::isnan(wanted)) wanted = double(rangeStart_);
        tick = clampToRange(int64_t(std::min(std::max(wanted, -1.0), double(rangeEnd_))));
        if (!timer_) {
            locateLocked(tick);
            return;
        }
        timer = takeTimer();
    }
    timer.reset();
    std::lock_guard<std::mutex> lock(mutex_);
    locateLocked(tick);
    startTimer();
}

void Sequencer::range(double startBeats, double endBeats) {
    double start = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (std::isnan(startBeats) || std::isnan(endBeats)) return;
        int64_t beats = totalTicks_ / division_;
        start = std::trunc(std::max(startBeats, 0.0));
        double end = std::trunc(std::min(endBeats, double(beats)));
        if (!(start < end)) return;
        rangeEnd_ = int64_t(end) * division_;
        rangeStart_ = int64_t(start) * division_;
        if (position_ >= rangeStart_ && position_ < rangeEnd_) return;
    }
    locate(start);
}

// --- playing -----------------------------------------------------------------------------------

bool Sequencer::playing() {
    std::lock_guard<std::mutex> lock(mutex_);
    return timer_ != nullptr;
}

pid_t Sequencer::timerThreadId() {
    std::lock_guard<std::mutex> lock(mutex_);
    return timer_ ? timer_->threadId() : 0;
}

void Sequencer::play(bool loop) {
    std::lock_guard<std::mutex> lock(mutex_);
    loop_ = loop;
    if (timer_) return;
    if (position_ >= rangeEnd_) locateLocked(rangeStart_);
    startTimer();
}

void Sequencer::startTimer() {
    clockStarted_ = false;
    ++session_;
    timer_ = std::make_unique<Timer>(this);
    timer_->start(1);
}

std::unique_ptr<Timer> Sequencer::takeTimer() { return std::move(timer_); }

void Sequencer::pause() { halt(true); }

void Sequencer::stop() { halt(false); }

void Sequencer::halt(bool keepPosition) {
    std::unique_ptr<Timer> timer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        timer = takeTimer();
    }
    bool wasPlaying = timer != nullptr;
    timer.reset();  // waits for a tick in progress
    std::lock_guard<std::mutex> lock(mutex_);
    if (wasPlaying) {
        if (position_ > 0 && position_ < totalTicks_) sendToAllChannels(kAllSoundOff);
        if (delegate_) delegate_->sequencerDidStop();
    }
    if (!keepPosition || position_ >= rangeEnd_) locateLocked(rangeStart_);
}

void Sequencer::timerproc() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!timer_) return;  // being stopped
    double now = double(midiClockMicroseconds());
    if (!clockStarted_) {
        clockStarted_ = true;
        lastClock_ = now;
        fraction_ = 0;
    }
    double elapsed = now - lastClock_;
    lastClock_ = now;
    if (elapsed > kMaxElapsedMicroseconds) return;
    double ticks = division_ * elapsed / currentTempo_ + fraction_;
    double whole = std::floor(ticks);
    fraction_ = ticks - whole;
    if (whole < 1) return;
    advanceInRange(int64_t(whole));
}

void Sequencer::advanceInRange(int64_t ticks) {
    for (int wraps = 0;; ++wraps) {
        if (position_ + ticks <= rangeEnd_) {
            advanceLocked(ticks);
            return;
        }
        int64_t step = std::max<int64_t>(0, rangeEnd_ - position_);
        advanceLocked(step);
        ticks -= step;
        if (!loop_ || rangeStart_ == rangeEnd_) break;
        locateLocked(rangeStart_);
        if (wraps >= kMaxWrapsPerTick) return;
    }
    // The end of the range: the timer ends after this tick, the UI thread stops (and joins it).
    timer_->requestStop();
    std::weak_ptr<Sequencer*> alive = alive_;
    uint64_t session = session_;
    runOnMainThread([alive, session] {
        std::shared_ptr<Sequencer*> sequencer = alive.lock();
        if (sequencer) (*sequencer)->endOfRange(session);
    });
}

void Sequencer::endOfRange(uint64_t session) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (session != session_ || !timer_) return;  // stopped or restarted meanwhile
    }
    stop();
}

// --- settings ----------------------------------------------------------------------------------

int Sequencer::tempo(int bpm) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (bpm >= 10 && bpm <= 480) {
        currentTempo_ = 60000000 / bpm;
        tempoFactor_ = fileTempo_ ? double(fileTempo_) / currentTempo_ : 1.0;
    }
    return 60000000 / currentTempo_;
}

int Sequencer::tempo() {
    std::lock_guard<std::mutex> lock(mutex_);
    return 60000000 / currentTempo_;
}

uint32_t Sequencer::mute(uint32_t mask) {
    std::lock_guard<std::mutex> lock(mutex_);
    uint32_t added = mask & ~muteMask_;
    std::string bytes;
    for (int channel = 0; channel < kChannels; ++channel)
        if (added & (1u << channel)) bytes += {char(0xB0 | channel), char(kAllNotesOff), 0};
    if (!bytes.empty()) send(bytes);
    muteMask_ = mask;
    return muteMask_;
}

uint32_t Sequencer::muteMask() {
    std::lock_guard<std::mutex> lock(mutex_);
    return muteMask_;
}

int Sequencer::transpose(int semitones) {
    std::lock_guard<std::mutex> lock(mutex_);
    transpose_ = semitones;
    sendToAllChannels(kAllNotesOff);
    return transpose_;
}

int Sequencer::transposeValue() {
    std::lock_guard<std::mutex> lock(mutex_);
    return transpose_;
}

bool Sequencer::metronome(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    metronomeOn_ = on;
    return metronomeOn_;
}

bool Sequencer::metronomeOn() {
    std::lock_guard<std::mutex> lock(mutex_);
    return metronomeOn_;
}

void Sequencer::setMetronomeSounds(std::vector<std::string> sounds) { metronome_.setSounds(std::move(sounds)); }

int64_t Sequencer::positionBeats() {
    std::lock_guard<std::mutex> lock(mutex_);
    return position_ / division_;
}

int64_t Sequencer::totalBeats() {
    std::lock_guard<std::mutex> lock(mutex_);
    return totalTicks_ / division_;
}

int64_t Sequencer::positionTicks() {
    std::lock_guard<std::mutex> lock(mutex_);
    return position_;
}

int Sequencer::division() {
    std::lock_guard<std::mutex> lock(mutex_);
    return division_;
}
