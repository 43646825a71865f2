#pragma once

#include "ir/IrConverterStrategy.h"

#include <vector>

namespace wav {

// Strategies that turn a pedal's recorded response into a filter the device convolves with:
// the response from its onset, at 48 kHz, made minimum-phase (the same magnitude response,
// its energy as early as possible, so the filter adds no latency), cut to the output length
// with a faded tail, and scaled so that the peak of its magnitude response is 1.0 (0 dB).
//
// Both channels share one gain, so that their balance survives: stereoProc 0 takes the left
// channel's gain, 1 the right one's (stereo input only), 2 the smaller of the two, so that
// neither channel exceeds 0 dB. Any other value counts as 0. A mono input gives the same
// filter on both outputs.
class IrFilterStrategyBase : public IrConverterStrategyBase {
public:
    // The frames skipped before the onset, counted at 48 kHz.
    size_t onsetSkip48k() const { return onsetSkip48k_; }

protected:
    // The first step: each channel's samples from the onset (the first frame whose left
    // sample reaches 2^-9), limited to half a second. Fills prepared_ (one or two channels).
    void prepareChannels();
    int inputChannels() const { return channels_ == 2 ? 2 : 1; }

    std::vector<std::vector<double>> prepared_;
    size_t onsetSkip48k_ = 0;
};

class IrConverterFilterStrategy : public IrFilterStrategyBase {
public:
    explicit IrConverterFilterStrategy(size_t length) : length_(length) {}
    void process(int stereoProc) override;

private:
    size_t length_;
};

// An overdrive's tone: 3354 taps at 48 kHz (about 70 ms).
class IrConverterOverDriveStrategy : public IrConverterFilterStrategy {
public:
    static constexpr size_t kLength = 3354;
    IrConverterOverDriveStrategy() : IrConverterFilterStrategy(kLength) {}
};

// A distortion's tone: the same filter design, 2048 taps at 48 kHz (about 43 ms).
class IrConverterDistortionStrategy : public IrConverterFilterStrategy {
public:
    static constexpr size_t kLength = 2048;
    IrConverterDistortionStrategy() : IrConverterFilterStrategy(kLength) {}
};

// Any other type: the prepared response as it was recorded (its own sample rate, no
// filtering, no scaling), its first 1024 samples, zero-padded when shorter.
class IrConverterDummyStrategy : public IrFilterStrategyBase {
public:
    static constexpr size_t kLength = 1024;
    void process(int stereoProc) override;
};

}  // namespace wav
