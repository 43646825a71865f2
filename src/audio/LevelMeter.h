#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

// The level of a stereo 16-bit stream over a sliding window of buffers ("slots"):
// energy added to the current slot reaches the running values W−1 buffers later;
// a falling level decays from the held value instead of dropping at once.
class LevelMeter {
public:
    explicit LevelMeter(int window);

    // Adds the squares of one buffer's samples to the current slot.
    void add(int channel, float sumOfSquares);
    // Closes the current slot after n frames and moves on (wrapping after W slots).
    void advance(uint32_t frames);
    // dB relative to full scale, −120 at the floor, for channel 0 or 1; −120 when inactive.
    float peakPower(int channel, bool active);
    void clear();
    // The rate the frame counts are in (the level decays in time, not in frames).
    void setSampleRate(float rate);

private:
    const int window_;
    float sampleRate_ = 44100.0f;
    std::mutex mutex_;
    std::vector<uint32_t> counts_;  // all left slots, then all right slots
    std::vector<float> sums_;
    int slot_ = 0;
    bool resetPending_ = false;
    uint32_t runningCount_[2] = {};
    float runningSum_[2] = {};
    float held_[2] = {};
};

// The gain applied for a volume: 0 at or below 0, 1 at or above 1, else volume^1.75.
float gainForVolume(float volume);

// Scales interleaved stereo 16-bit frames by the gain (truncating) and adds the
// squares of the scaled samples to the meter's current slot.
void applyGain(int16_t* samples, size_t frames, float gain, LevelMeter& meter);
