#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

// Time-stretch and pitch shift of a 16-bit interleaved stream, for a sample player
// whose speed or pitch is not the neutral one.
class SamplePlayerStretch {
public:
    SamplePlayerStretch(int channels, int rate);
    ~SamplePlayerStretch();
    SamplePlayerStretch(const SamplePlayerStretch&) = delete;
    SamplePlayerStretch& operator=(const SamplePlayerStretch&) = delete;

    // speed: source seconds per output second; cents: pitch shift.
    void setRatios(double speed, double cents);
    // Forgets what was fed (the source moved): output starts again from the next input.
    void reset();
    // Frames of input wanted before more output comes.
    size_t framesWanted() const;
    // Feeds interleaved frames; final when the source has nothing after them.
    void feed(const int16_t* samples, size_t frames, bool final);
    // Takes up to maxFrames of output; the frames taken.
    size_t take(int16_t* samples, size_t maxFrames);
    // The final input was fed and every output frame taken.
    bool drained() const;

private:
    void primeStart();

    const int channels_;
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    double speed_ = 1.0;
    double cents_ = 0.0;
    bool final_ = false;
    size_t dropFrames_ = 0;  // start delay still to discard after a reset
    std::vector<float> planar_;
    std::vector<float*> channelPointers_;
};
