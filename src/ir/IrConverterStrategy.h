#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace wav {

// One impulse-response conversion: given the interleaved input, process() makes
// outputLength() values per channel available through output(index, channel).
class IIrConverterStrategy {
public:
    virtual ~IIrConverterStrategy() = default;
    // stereoProc: 0 the left channel, 1 the right one, 2 both (how each type uses it: see there).
    virtual void process(int stereoProc) = 0;
    virtual void setChannels(int channels) = 0;
    virtual void setSampleRate(int hz) = 0;
    virtual void setFrameCount(size_t frames) = 0;
    // Interleaved samples, nominally -1.0 ... 1.0; not owned, kept alive by the caller.
    virtual void setInput(const double* samples) = 0;
    virtual void cancel(int flag) = 0;
    virtual int isCanceled() const = 0;
    // 1 ... 100, never decreasing; safe to call from any thread.
    virtual int progress() const = 0;
    virtual size_t outputLength() const = 0;
    virtual float output(size_t index, int channel) const = 0;
};

// The strategy for a type name ("Distortion", "OverDrive", "Delay", "AnalogDelay", "Reverb";
// any other text gives the dummy).
std::unique_ptr<IIrConverterStrategy> makeIrConverterStrategy(const std::string& type);

// What every strategy shares: the input, the cancel flag, the output buffer and a progress
// that follows a table of stages. Each stage has a weight; within a stage the progress moves
// linearly with the fraction of its work done, and it never goes back.
class IrConverterStrategyBase : public IIrConverterStrategy {
public:
    void setChannels(int channels) override { channels_ = channels; }
    void setSampleRate(int hz) override { sampleRate_ = hz; }
    void setFrameCount(size_t frames) override { frames_ = frames; }
    void setInput(const double* samples) override { input_ = samples; }
    void cancel(int flag) override { canceled_.store(flag); }
    int isCanceled() const override { return canceled_.load(); }
    int progress() const override { return progress_.load(); }
    size_t outputLength() const override { return output_.size() / 2; }
    float output(size_t index, int channel) const override;

protected:
    // One input sample; non-finite values read as silence.
    double sample(size_t frame, int channel) const;
    bool canceled() const { return canceled_.load() != 0; }
    void resizeOutput(size_t perChannel) { output_.assign(perChannel * 2, 0.0f); }
    void setOutput(size_t index, int channel, float value) { output_[index * 2 + channel] = value; }

    // Replaces the stage table (weights of the stages in order) and restarts at stage 0.
    void setStages(std::vector<double> weights);
    // Reports that fraction (0 ... 1) of the stage's work is done.
    void advance(size_t stage, double fraction);
    void finish() { progress_.store(100); }

    int channels_ = 0;
    int sampleRate_ = 0;
    size_t frames_ = 0;
    const double* input_ = nullptr;

private:
    std::atomic<int> canceled_{0};
    std::atomic<int> progress_{1};
    std::vector<double> stageStart_;  // cumulative, in progress units
    std::vector<double> stageSpan_;
    std::vector<float> output_;
};

}  // namespace wav
