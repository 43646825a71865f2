#include "audio/AudioInputUnit.h"

#include "audio/UnitStream.h"

#include <pulse/simple.h>

AudioInputUnit::AudioInputUnit() : format_(wav::pcmFormat(wav::kWaveFormatPcm, 2, 44100, 16)) {}

AudioInputUnit::~AudioInputUnit() {
    stop(true);
    if (thread_) thread_->join();
}

int AudioInputUnit::status() const {
    if (active_) return kAudioRunning;
    return running_ ? kAudioPaused : kAudioStopped;
}

void AudioInputUnit::start(const std::string& deviceUid) {
    if (!running_) {
        if (thread_) thread_->join();
        pa_simple* stream = openUnitStream(false, deviceUid);
        if (!stream) return;
        quit_ = false;
        running_ = true;
        active_ = true;
        thread_ = std::make_unique<UnitThread>([this, stream] { run(stream); });
        if (thread_->start(false) == 0) {
            pa_simple_free(stream);
            running_ = false;
            active_ = false;
        }
    } else {
        active_ = true;
    }
}

void AudioInputUnit::pause() {
    if (running_) active_ = false;
}

void AudioInputUnit::stop(bool silent) {
    quit_ = true;
    if (!thread_ || !thread_->isLoopThread()) {
        if (thread_) thread_->join();
    } else {
        frames_ = 0;
        meter_.clear();
    }
    running_ = false;
    active_ = false;
    if (!silent && sink_) sink_->captureStopped();
}

void AudioInputUnit::run(pa_simple* stream) {
    raiseUnitThreadPriority();
    int16_t buffer[kUnitBufferBytes / 2];
    while (!quit_) {
        int error = 0;
        if (pa_simple_read(stream, buffer, sizeof buffer, &error) < 0) break;
        // Paused: the server keeps capturing, what arrives meanwhile is dropped.
        if (quit_ || !active_) continue;
        applyGain(buffer, kUnitBufferFrames, gainForVolume(volume_), meter_);
        meter_.advance(kUnitBufferFrames);
        frames_ += kUnitBufferFrames;
        if (sink_) sink_->capture(buffer, sizeof buffer);
    }
    pa_simple_free(stream);
    frames_ = 0;
    meter_.clear();
    running_ = false;
    active_ = false;
}
