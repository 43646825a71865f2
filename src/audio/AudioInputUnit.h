#pragma once

#include "audio/AudioStreams.h"
#include "audio/LevelMeter.h"
#include "audio/UnitStream.h"

#include <atomic>
#include <memory>
#include <mutex>

struct pa_simple;

// Captures from a sound server source in 4096-byte buffers on a thread of its own
// and hands each buffer, after gain and metering, to its sink.
class AudioInputUnit : public AudioInputStream {
public:
    AudioInputUnit();
    ~AudioInputUnit() override;

    AudioInputStreamDelegate* sink() const override { return sink_; }
    void setSink(AudioInputStreamDelegate* sink) override { sink_ = sink; }
    const wav::WaveFormat& format() const override { return format_; }
    void start(const std::string& deviceUid) override;
    void pause() override;
    void stop(bool silent) override;
    float volume() const override { return volume_; }
    void setVolume(float volume) override { volume_ = volume; }
    int channels() const override { return 2; }
    float peakPower(int channel) override { return meter_.peakPower(channel, active_); }
    float time() const override { return static_cast<float>(frames_.load()) / 44100.0f; }
    int status() const override;

private:
    void run(pa_simple* stream);

    AudioInputStreamDelegate* sink_ = nullptr;
    std::atomic<bool> running_{false};
    std::atomic<bool> active_{false};
    std::atomic<float> volume_{1.0f};
    std::atomic<uint32_t> frames_{0};
    LevelMeter meter_{1};
    wav::WaveFormat format_;
    std::unique_ptr<UnitThread> thread_;
    std::atomic<bool> quit_{false};
};
