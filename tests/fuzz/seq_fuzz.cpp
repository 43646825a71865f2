// libFuzzer entry: arbitrary bytes as a MIDI file, loaded, then played by ticks with locate,
// range, tempo, mute, transpose and metronome changes drawn from a generator seeded by the
// input. Every piece of song bytes handed out is checked against the cutting rule.
#include "midi/Sequencer.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

bool startsMessage(char byte) { return (uint8_t(byte) & 0x80) && uint8_t(byte) != 0xF7; }

class CheckingDelegate : public SequencerDelegate {
public:
    void sequencerOutput(const std::string& song, const std::string& metronome) override {
        // A piece longer than the limit is one message: no other message starts inside it.
        if (song.size() > Sequencer::kOutputChunk)
            for (size_t i = 1; i < song.size(); ++i)
                if (startsMessage(song[i])) __builtin_trap();
        bytes += song.size() + metronome.size();
    }
    void sequencerTempoChanged(int bpm) override {
        if (bpm <= 0) __builtin_trap();
    }
    size_t bytes = 0;
};

// splitmix64
struct Random {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int64_t in(int64_t low, int64_t high) { return low + int64_t(next() % uint64_t(high - low + 1)); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckingDelegate delegate;
    Sequencer sequencer;
    sequencer.setDelegate(&delegate);
    bool loaded = sequencer.load(data, size);
    if (!loaded && sequencer.totalBeats() != 0) __builtin_trap();

    uint64_t seed = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) seed = (seed ^ data[i]) * 1099511628211ull;
    Random random{seed};
    sequencer.setMetronomeSounds({std::string("\x99\x4C\x7F", 3), std::string("\x99\x4B\x40", 3)});
    int64_t beats = sequencer.totalBeats();
    int64_t ticks = 0;
    while (ticks < 4000) {
        switch (random.in(0, 9)) {
            case 0:
                sequencer.locate(double(random.in(-2, beats + 2)) + 0.5);
                break;
            case 1:
                sequencer.range(double(random.in(-1, beats + 1)), double(random.in(-1, beats + 2)));
                break;
            case 2:
                sequencer.tempo(int(random.in(0, 500)));
                break;
            case 3:
                sequencer.mute(uint32_t(random.next()));
                break;
            case 4:
                sequencer.transpose(int(random.in(-130, 130)));
                break;
            case 5:
                sequencer.metronome(random.next() & 1);
                break;
            case 6:
                sequencer.stop();
                break;
            default: {
                int64_t step = random.in(0, 300);
                sequencer.advance(step);
                ticks += step + 1;
            }
        }
        if (sequencer.positionBeats() < 0) __builtin_trap();
    }
    return 0;
}
