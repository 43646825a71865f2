#include "audio/ExtSamplePlayer.h"

// The render thread calls read() until the base class stops it, which is after this class's
// members are gone: it is stopped here, while the stretcher it uses still exists.
ExtSamplePlayer::~ExtSamplePlayer() { close(); }

void ExtSamplePlayer::setSpeed(float rate) {
    if (rate >= 0.5f && rate <= 2.0f) SamplePlayer::setSpeed(rate);
}

void ExtSamplePlayer::setPitch(float cents) {
    if (cents >= -2400.0f && cents <= 2400.0f) SamplePlayer::setPitch(cents);
}

void ExtSamplePlayer::readerMoved() {
    sourceEnded_ = false;
    // The stream starts anew: it leaves the stretcher once speed and pitch are neutral.
    stretching_ = false;
    if (stretch_) stretch_->reset();
}

long ExtSamplePlayer::read(uint8_t* buffer, size_t bytes) {
    if (!stretching_ && speed() == 1.0f && pitch() == 0.0f) return readSource(buffer, bytes);
    stretching_ = true;
    return readStretched(buffer, bytes);
}

long ExtSamplePlayer::readStretched(uint8_t* buffer, size_t bytes) {
    if (!stretch_ || stretchChannels_ != channels() || stretchRate_ != rate()) {
        stretch_ = std::make_unique<SamplePlayerStretch>(channels(), rate());
        stretchChannels_ = channels();
        stretchRate_ = rate();
    }
    stretch_->setRatios(speed(), pitch());
    int16_t* out = reinterpret_cast<int16_t*>(buffer);
    const size_t wanted = bytes / blockAlign();
    size_t got = 0;
    while (got < wanted) {
        got += stretch_->take(out + got * channels(), wanted - got);
        if (got >= wanted || sourceEnded_) break;
        const size_t frames = stretch_->framesWanted();
        input_.resize(frames * channels());
        const long n = readSource(reinterpret_cast<uint8_t*>(input_.data()), frames * blockAlign());
        if (n < 0) return -1;
        const size_t read = static_cast<size_t>(n) / blockAlign();
        // A short read is the end of the source (no repeats left): the tail is flushed.
        sourceEnded_ = read < frames;
        stretch_->feed(input_.data(), read, sourceEnded_);
    }
    return static_cast<long>(got * blockAlign());
}
