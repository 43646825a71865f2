#include "ir/IrFilterStrategies.h"

#include "ir/IrFilterDesign.h"

#include <algorithm>
#include <cmath>

namespace wav {

namespace {

constexpr double kOnsetLevel = 1.0 / 512.0;  // 2^-9
constexpr size_t kMaxFrames48k = 24000;      // half a second at 48 kHz

}  // namespace

void IrFilterStrategyBase::prepareChannels() {
    prepared_.clear();
    onsetSkip48k_ = 0;
    if (!input_ || sampleRate_ <= 0) frames_ = 0;
    size_t skip = 0;
    while (skip < frames_ && std::fabs(sample(skip, 0)) < kOnsetLevel) ++skip;
    onsetSkip48k_ = static_cast<size_t>(static_cast<double>(skip) * kIrFilterRate / std::max(sampleRate_, 1));
    size_t used = frames_ - skip;
    const auto limit = static_cast<size_t>(std::llround(static_cast<double>(sampleRate_) * kMaxFrames48k / kIrFilterRate));
    if (used > limit) {
        used = limit;
    } else if (used > kMaxFrames48k) {
        used = kMaxFrames48k;
    }
    for (int c = 0; c < inputChannels(); ++c) {
        std::vector<double> samples(used);
        for (size_t i = 0; i < used; ++i) samples[i] = sample(skip + i, c);
        prepared_.push_back(std::move(samples));
    }
}

void IrConverterFilterStrategy::process(int stereoProc) {
    resizeOutput(length_);
    const int n = inputChannels();
    // Per channel: resample, minimum phase, cut and fade; then the shared gain.
    std::vector<double> weights;
    for (int c = 0; c < n; ++c) weights.insert(weights.end(), {1.0, 3.0, 4.0, 1.0});
    weights.push_back(0.5);
    setStages(weights);

    prepareChannels();
    advance(0, 1.0);
    std::vector<std::vector<double>> filters;
    std::vector<double> gains;
    for (int c = 0; c < n; ++c) {
        const size_t base = static_cast<size_t>(c) * 4;
        if (canceled()) return;
        advance(base, 1.0);
        auto at48k = resampleTo48k(prepared_[c], sampleRate_, [&](double f) {
            advance(base + 1, f);
            return !canceled();
        });
        if (canceled()) return;
        auto filter = minimumPhase(at48k, length_, [&](double f) {
            advance(base + 2, f);
            return !canceled();
        });
        if (canceled()) return;
        fadeOutTail(filter);
        double peak = peakMagnitude(filter);
        gains.push_back(peak > 0 ? 1.0 / peak : 1.0);
        filters.push_back(std::move(filter));
        advance(base + 3, 1.0);
    }
    double gain = gains[0];
    if (n == 2 && stereoProc == 1) gain = gains[1];
    if (n == 2 && stereoProc == 2) gain = std::min(gains[0], gains[1]);
    for (size_t i = 0; i < length_; ++i) {
        for (int c = 0; c < 2; ++c) {
            const auto& filter = filters[std::min(c, n - 1)];
            setOutput(i, c, static_cast<float>(filter[i] * gain));
        }
    }
    finish();
}

void IrConverterDummyStrategy::process(int) {
    resizeOutput(kLength);
    setStages({1.0, 1.0});
    prepareChannels();
    advance(0, 1.0);
    const int n = inputChannels();
    for (size_t i = 0; i < kLength; ++i) {
        if (i % 256 == 0 && canceled()) return;
        for (int c = 0; c < 2; ++c) {
            const auto& samples = prepared_[std::min(c, n - 1)];
            setOutput(i, c, i < samples.size() ? static_cast<float>(samples[i]) : 0.0f);
        }
    }
    finish();
}

}  // namespace wav
