#pragma once

#include "audio/AudioStreams.h"
#include "audio/LevelMeter.h"
#include "audio/UnitStream.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

struct pa_simple;

// Plays what its source renders to a sound server sink, one 4096-byte buffer at a
// time, on a thread of its own that exists while the unit runs.
class AudioOutputUnit : public AudioOutputStream {
public:
    AudioOutputUnit();
    ~AudioOutputUnit() override;

    AudioOutputStreamDelegate* source() const override { return source_; }
    void setSource(AudioOutputStreamDelegate* source) override { source_ = source; }
    const wav::WaveFormat& format() const override { return format_; }
    void start(const std::string& deviceUid) override;
    void pause() override;
    void stop() override;
    float volume() const override { return volume_; }
    void setVolume(float volume) override { volume_ = volume; }
    float speed() const override { return 1.0f; }
    void setSpeed(float) override {}
    float pitch() const override { return 0.0f; }
    void setPitch(float) override {}
    int channels() const override { return 2; }
    float peakPower(int channel) override { return meter_.peakPower(channel, active_); }
    float time() const override { return static_cast<float>(frames_.load()) / 44100.0f; }
    int status() const override;

private:
    void run(pa_simple* stream);
    // Renders one buffer from the source, applies the gain and the meter; frames produced.
    size_t renderStep(int16_t* buffer);

    AudioOutputStreamDelegate* source_ = nullptr;
    std::atomic<bool> running_{false};
    std::atomic<bool> active_{false};
    std::atomic<float> volume_{1.0f};
    std::atomic<uint32_t> frames_{0};
    LevelMeter meter_{4};
    wav::WaveFormat format_;
    std::unique_ptr<UnitThread> thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
    bool ended_ = false;  // stopped from its own thread: let what is queued play out
};
