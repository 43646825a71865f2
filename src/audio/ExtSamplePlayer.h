#pragma once

#include "audio/SamplePlayer.h"
#include "audio/SamplePlayerStretch.h"

#include <memory>
#include <vector>

// The sampler's player: speed 0.5 … 2 and pitch −2400 … 2400 cents change the sound
// through a time-stretcher; at 1.0 and 0 cents the decoded samples pass untouched.
class ExtSamplePlayer : public SamplePlayer {
public:
    ExtSamplePlayer() = default;
    ~ExtSamplePlayer() override;
    void setSpeed(float rate) override;
    void setPitch(float cents) override;

protected:
    long read(uint8_t* buffer, size_t bytes) override;
    void readerMoved() override;

private:
    long readStretched(uint8_t* buffer, size_t bytes);

    std::unique_ptr<SamplePlayerStretch> stretch_;
    int stretchChannels_ = 0, stretchRate_ = 0;
    bool stretching_ = false;     // the stream since the last move goes through the stretcher
    bool sourceEnded_ = false;    // the source's last frames were fed
    std::vector<int16_t> input_;
};
