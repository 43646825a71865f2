#include "ir/IrConverterStrategy.h"

#include "ir/IrDelayStrategy.h"
#include "ir/IrFilterStrategies.h"

#include <algorithm>
#include <cmath>

namespace wav {

std::unique_ptr<IIrConverterStrategy> makeIrConverterStrategy(const std::string& type) {
    if (type == "Distortion") return std::make_unique<IrConverterDistortionStrategy>();
    if (type == "OverDrive") return std::make_unique<IrConverterOverDriveStrategy>();
    if (type == "Delay") return std::make_unique<IrConverterDelayStrategy>(false);
    if (type == "AnalogDelay") return std::make_unique<IrConverterDelayStrategy>(true);
    if (type == "Reverb") return std::make_unique<IrConverterReverbStrategy>();
    return std::make_unique<IrConverterDummyStrategy>();
}

float IrConverterStrategyBase::output(size_t index, int channel) const {
    if (channel < 0 || channel > 1 || index >= outputLength()) return 0.0f;
    return output_[index * 2 + static_cast<size_t>(channel)];
}

double IrConverterStrategyBase::sample(size_t frame, int channel) const {
    double value = input_[frame * static_cast<size_t>(channels_) + static_cast<size_t>(channel)];
    return std::isfinite(value) ? value : 0.0;
}

void IrConverterStrategyBase::setStages(std::vector<double> weights) {
    double total = 0;
    for (double w : weights) total += w;
    stageStart_.clear();
    stageSpan_.clear();
    double at = 1.0;
    for (double w : weights) {
        double span = total > 0 ? 99.0 * w / total : 0.0;
        stageStart_.push_back(at);
        stageSpan_.push_back(span);
        at += span;
    }
}

void IrConverterStrategyBase::advance(size_t stage, double fraction) {
    if (stage >= stageStart_.size()) return;
    fraction = std::min(1.0, std::max(0.0, fraction));
    int value = static_cast<int>(stageStart_[stage] + stageSpan_[stage] * fraction);
    value = std::min(100, std::max(1, value));
    int current = progress_.load();
    while (value > current && !progress_.compare_exchange_weak(current, value)) {
    }
}

}  // namespace wav
