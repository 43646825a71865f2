#include "audio/LevelMeter.h"

#include <algorithm>
#include <cmath>

LevelMeter::LevelMeter(int window)
    : window_(std::max(window, 1)), counts_(2 * window_, 0), sums_(2 * window_, 0.0f) {}

void LevelMeter::add(int channel, float sumOfSquares) {
    std::lock_guard<std::mutex> lock(mutex_);
    sums_[channel * window_ + slot_] += sumOfSquares;
}

void LevelMeter::advance(uint32_t frames) {
    std::lock_guard<std::mutex> lock(mutex_);
    counts_[slot_] = frames;
    counts_[window_ + slot_] = frames;
    slot_ = (slot_ + 1) % window_;
    if (resetPending_) {
        for (int ch = 0; ch < 2; ++ch) {
            runningCount_[ch] = 0;
            runningSum_[ch] = 0;
        }
    }
    for (int ch = 0; ch < 2; ++ch) {
        const int i = ch * window_ + slot_;
        runningCount_[ch] += counts_[i];
        runningSum_[ch] += sums_[i];
        counts_[i] = 0;
        sums_[i] = 0;
    }
    resetPending_ = false;
}

float LevelMeter::peakPower(int channel, bool active) {
    if (channel < 0 || channel >= 2 || !active) return -120.0f;
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t a = runningCount_[channel];
    float level = 0;
    if (a > 0) {
        const float rms = std::sqrt(runningSum_[channel] / a);
        float& held = held_[channel];
        if (held > rms) {
            level = held + (rms - held) * (1.0f - std::exp(-6.0f * a / sampleRate_));
            if (level < 0) level = 0;
        } else {
            level = rms;
        }
        held = level;
        resetPending_ = true;
    }
    const float scaled = level * (1.0f / 32768.0f);
    if (scaled == 0) return -120.0f;
    return std::max(-120.0f, 20.0f * std::log10(scaled));
}

void LevelMeter::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fill(counts_.begin(), counts_.end(), 0);
    std::fill(sums_.begin(), sums_.end(), 0.0f);
    slot_ = 0;
    resetPending_ = false;
    for (int ch = 0; ch < 2; ++ch) {
        runningCount_[ch] = 0;
        runningSum_[ch] = 0;
        held_[ch] = 0;
    }
}

void LevelMeter::setSampleRate(float rate) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (rate > 0) sampleRate_ = rate;
}

float gainForVolume(float volume) {
    if (!(volume > 0)) return 0;
    if (volume >= 1) return 1;
    return std::pow(volume, 1.75f);
}

void applyGain(int16_t* samples, size_t frames, float gain, LevelMeter& meter) {
    float sums[2] = {0, 0};
    for (size_t f = 0; f < frames; ++f) {
        for (int ch = 0; ch < 2; ++ch) {
            int16_t& s = samples[2 * f + ch];
            s = static_cast<int16_t>(s * gain);
            sums[ch] += static_cast<float>(s) * s;
        }
    }
    meter.add(0, sums[0]);
    meter.add(1, sums[1]);
}
