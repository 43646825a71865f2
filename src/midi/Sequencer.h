#pragma once

#include "base/Timer.h"
#include "midi/SequencerDelegate.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

// Plays a Standard MIDI File (format 0 or 1, ticks per quarter note) to its delegate, driven by
// a 1 ms timer while playing: pause, stop, locate by beats, a loop range, a user tempo that
// scales the file's tempo map, per-channel mute, transposition and a generated metronome.
//
// The public operations run on the UI thread; timerproc runs on the play timer's thread. One
// lock guards the playing state between them; it is never held while the timer is joined.
class Sequencer : public Timer::Proc {
public:
    static constexpr int kDefaultDivision = 96;
    static constexpr int32_t kDefaultTempo = 500000;
    // A tempo scaled by the user tempo stays within 1 bpm and one microsecond per quarter note.
    static constexpr int32_t kSlowestTempo = 60000000;
    static constexpr int kChannels = 16;
    // The longest stretch of song bytes handed to the delegate at once.
    static constexpr size_t kOutputChunk = 256;
    // Wraps of the loop range within one timer tick; ticks beyond them are dropped, so a
    // file with an absurd tempo cannot keep the timer thread busy for long.
    static constexpr int kMaxWrapsPerTick = 16;
    // A gap longer than this between two timer ticks (a stalled machine) advances nothing.
    static constexpr double kMaxElapsedMicroseconds = 100000;

    // One event of a track: the ticks since the previous one, the meta type (-1 for channel
    // and SysEx events) and the bytes (status included; a meta event's data alone).
    struct Event {
        uint32_t delta = 0;
        int32_t meta = -1;
        std::string data;
    };

    // Walks an event list by ticks; an event at absolute tick T is handled by the advance that
    // moves past T. Its mutex guards the events, the index and the remaining ticks.
    class TickHandler {
    public:
        TickHandler() = default;
        TickHandler(const TickHandler&) = delete;
        TickHandler& operator=(const TickHandler&) = delete;
        virtual ~TickHandler() = default;
        virtual void handle(Sequencer& sequencer, const Event& event) = 0;

        // Moves on by ticks, handling each event reached; returns the bytes they produced.
        std::string advance(Sequencer& sequencer, int64_t ticks);
        // Back to the first event, before tick 0.
        void reset();
        void setEvents(std::vector<Event> events);
        // The sum of all deltas.
        int64_t length();
        size_t eventCount();

    protected:
        // Ticks after which the events start again (0: they do not repeat).
        virtual int64_t roundLength() const { return 0; }

        std::vector<Event> events_;
        size_t index_ = 0;
        int64_t remaining_ = -1;
        std::string output_;
        std::mutex mutex_;
    };

    // One track of the file.
    class Track : public TickHandler {
    public:
        void handle(Sequencer& sequencer, const Event& event) override;
        // Remaining ticks of the advance in progress (called from handle, lock held).
        int64_t remainingTicks() const { return remaining_; }

    private:
        void handleNote(Sequencer& sequencer, const Event& event);
    };

    // One bar of clicks (meta 126, data = click number) and an end-of-bar (meta 47) that
    // starts the bar again; a click plays the sound of its number (or the last sound).
    class Metronome : public TickHandler {
    public:
        void handle(Sequencer& sequencer, const Event& event) override;
        // numerator, denominator as a power of two, MIDI clocks per click (0 = 24).
        void build(int numerator, int denominatorPower, int clocksPerClick, int division);
        void setSounds(std::vector<std::string> sounds);

    protected:
        int64_t roundLength() const override { return barLength_; }

    private:
        std::vector<std::string> sounds_;
        int64_t barLength_ = 0;
    };

    Sequencer();
    // Joins the play timer; reports nothing and sends nothing.
    ~Sequencer() override;
    Sequencer(const Sequencer&) = delete;
    Sequencer& operator=(const Sequencer&) = delete;

    // Not owned; set before use.
    void setDelegate(SequencerDelegate* delegate);

    // Loads a file; false (and an empty sequence) for data that is not a metrical Standard MIDI
    // File. A malformed track keeps the events before the fault and ends the loading there.
    bool load(const uint8_t* bytes, size_t length);
    bool load(const std::string& bytes) { return load(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()); }
    // Sets the loop flag; starts playing when not playing (from the range start when the
    // position is at or after the range end).
    void play(bool loop);
    // Stops playing; the position stays unless it is at or after the range end.
    void pause();
    // Stops playing and returns to the range start.
    void stop();
    // Moves to beats, clamped to the range.
    void locate(double beats);
    // Sets the loop range in whole beats; ignored unless start < end after clamping.
    void range(double startBeats, double endBeats);
    // A bpm of 10 to 480 becomes the user tempo; returns the bpm in effect.
    int tempo(int bpm);
    int tempo();
    uint32_t mute(uint32_t mask);
    uint32_t muteMask();
    int transpose(int semitones);
    int transposeValue();
    bool metronome(bool on);
    bool metronomeOn();
    void setMetronomeSounds(std::vector<std::string> sounds);
    int64_t positionBeats();
    int64_t totalBeats();
    bool playing();
    // The system id of the play timer's thread, 0 when not playing.
    pid_t timerThreadId();

    // Moves the song on by ticks now, as the timer does, and sends what it plays.
    void advance(int64_t ticks);
    int64_t positionTicks();
    int division();

    void timerproc() override;

private:
    // Everything below runs with mutex_ held.
    void advanceLocked(int64_t ticks);
    void locateLocked(int64_t tick);
    void send(const std::string& bytes, const std::string& metronome = std::string());
    void sendOutput(std::string song, const std::string& metronome);
    void sendToAllChannels(uint8_t controller);
    void buildMetronome(int numerator, int denominatorPower, int clocksPerClick);
    void setTempoFromFile(uint32_t microsecondsPerQuarter);
    void resetFileTempo();
    void timeSignature(const Track& track, int numerator, int denominatorPower, int clocksPerClick);
    bool noteAllowed(int channel) const;
    void advanceInRange(int64_t ticks);
    // Takes the timer out (playing ends); the caller joins it without the lock.
    std::unique_ptr<Timer> takeTimer();
    void startTimer();
    void halt(bool keepPosition);
    int64_t clampToRange(int64_t tick) const;
    // The UI thread's half of the end of the range: stops when that play session still runs.
    void endOfRange(uint64_t session);

    std::mutex mutex_;
    SequencerDelegate* delegate_ = nullptr;
    bool loop_ = false;
    bool metronomeOn_ = false;
    bool chase_ = false;
    std::vector<std::unique_ptr<Track>> tracks_;
    Metronome metronome_;
    double tempoFactor_ = 1.0;
    uint32_t fileTempo_ = 0;
    int division_ = kDefaultDivision;
    int32_t currentTempo_ = kDefaultTempo;
    std::unique_ptr<Timer> timer_;
    bool clockStarted_ = false;
    double lastClock_ = 0;
    double fraction_ = 0;
    int64_t position_ = 0;
    int64_t metronomeAdvance_ = 0;
    int64_t rangeStart_ = 0;
    int64_t rangeEnd_ = 0;
    int64_t totalTicks_ = 0;
    uint32_t muteMask_ = 0;
    int transpose_ = 0;
    // Counts play sessions, so that an end-of-range stop posted by one does not stop a later one.
    uint64_t session_ = 0;
    uint64_t tempoReports_ = 0;
    // Seen by end-of-range tasks still queued on the UI thread after the sequencer is gone.
    std::shared_ptr<Sequencer*> alive_;
};
