#include "audio/SamplePlayerStretch.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>

namespace {
constexpr size_t kBlockFrames = 1024;
}

SamplePlayerStretch::SamplePlayerStretch(int channels, int rate) : channels_(std::max(channels, 1)) {
    using RB = RubberBand::RubberBandStretcher;
    // The faster engine: several players share the machine with the page.
    const RB::Options options = RB::OptionProcessRealTime | RB::OptionEngineFaster | RB::OptionPitchHighConsistency |
                                RB::OptionChannelsTogether;
    stretcher_ = std::make_unique<RB>(static_cast<size_t>(std::max(rate, 1)), static_cast<size_t>(channels_), options);
    stretcher_->setMaxProcessSize(kBlockFrames);
    planar_.resize(kBlockFrames * channels_);
    channelPointers_.resize(channels_);
    for (int c = 0; c < channels_; ++c) channelPointers_[c] = planar_.data() + c * kBlockFrames;
    primeStart();
}

SamplePlayerStretch::~SamplePlayerStretch() = default;

void SamplePlayerStretch::setRatios(double speed, double cents) {
    if (speed == speed_ && cents == cents_) return;
    speed_ = speed;
    cents_ = cents;
    stretcher_->setTimeRatio(1.0 / speed);
    stretcher_->setPitchScale(std::pow(2.0, cents / 1200.0));
}

void SamplePlayerStretch::reset() {
    stretcher_->reset();
    final_ = false;
    primeStart();
}

void SamplePlayerStretch::primeStart() {
    // Padding the start lets the first input sample come out at once (after the
    // reported delay is dropped) instead of fading in late.
    size_t pad = stretcher_->getPreferredStartPad();
    std::fill(planar_.begin(), planar_.end(), 0.0f);
    while (pad > 0) {
        const size_t n = std::min(pad, kBlockFrames);
        stretcher_->process(channelPointers_.data(), n, false);
        pad -= n;
    }
    dropFrames_ = stretcher_->getStartDelay();
}

size_t SamplePlayerStretch::framesWanted() const {
    return std::min(std::max<size_t>(stretcher_->getSamplesRequired(), 1), kBlockFrames);
}

void SamplePlayerStretch::feed(const int16_t* samples, size_t frames, bool final) {
    do {
        const size_t n = std::min(frames, kBlockFrames);
        for (size_t f = 0; f < n; ++f)
            for (int c = 0; c < channels_; ++c) channelPointers_[c][f] = samples[f * channels_ + c] * (1.0f / 32768.0f);
        const bool last = final && n == frames;
        stretcher_->process(channelPointers_.data(), n, last);
        samples += n * channels_;
        frames -= n;
    } while (frames > 0);
    if (final) final_ = true;
}

size_t SamplePlayerStretch::take(int16_t* samples, size_t maxFrames) {
    size_t taken = 0;
    while (taken < maxFrames) {
        const int ready = stretcher_->available();
        if (ready <= 0) break;
        const size_t n = std::min({static_cast<size_t>(ready), kBlockFrames, maxFrames - taken + dropFrames_});
        const size_t got = stretcher_->retrieve(channelPointers_.data(), n);
        if (got == 0) break;
        size_t from = std::min(dropFrames_, got);
        dropFrames_ -= from;
        for (size_t f = from; f < got; ++f, ++taken) {
            for (int c = 0; c < channels_; ++c) {
                const float v = std::round(channelPointers_[c][f] * 32768.0f);
                samples[taken * channels_ + c] = static_cast<int16_t>(std::clamp(v, -32768.0f, 32767.0f));
            }
        }
    }
    return taken;
}

bool SamplePlayerStretch::drained() const { return final_ && stretcher_->available() <= 0; }
