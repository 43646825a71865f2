#include "audio/AudioOutputUnit.h"

#include "audio/UnitStream.h"

#include <pulse/simple.h>

#include <cstring>

AudioOutputUnit::AudioOutputUnit() : format_(wav::pcmFormat(wav::kWaveFormatPcm, 2, 44100, 16)) {}

AudioOutputUnit::~AudioOutputUnit() {
    stop();
    if (thread_) thread_->join();
}

int AudioOutputUnit::status() const {
    if (active_) return kAudioRunning;
    return running_ ? kAudioPaused : kAudioStopped;
}

void AudioOutputUnit::start(const std::string& deviceUid) {
    if (!running_) {
        if (thread_) thread_->join();
        pa_simple* stream = openUnitStream(true, deviceUid);
        if (!stream) return;  // no output: nothing plays, the status stays 0
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = false;
            ended_ = false;
        }
        running_ = true;
        active_ = true;
        thread_ = std::make_unique<UnitThread>([this, stream] { run(stream); });
        if (thread_->start(false) == 0) {
            pa_simple_free(stream);
            running_ = false;
            active_ = false;
        }
    } else if (!active_) {
        std::lock_guard<std::mutex> lock(mutex_);
        active_ = true;
        wake_.notify_all();
    }
}

void AudioOutputUnit::pause() {
    if (running_ && active_) {
        std::lock_guard<std::mutex> lock(mutex_);
        active_ = false;
    }
}

void AudioOutputUnit::stop() {
    const bool own = thread_ && thread_->isLoopThread();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        ended_ = own;
        wake_.notify_all();
    }
    if (own) {
        // The end of the source: the thread finishes after this render; the unit is
        // at rest for callers from now on.
        running_ = false;
        active_ = false;
        frames_ = 0;
        meter_.clear();
        return;
    }
    if (thread_) thread_->join();
    running_ = false;
    active_ = false;
}

size_t AudioOutputUnit::renderStep(int16_t* buffer) {
    size_t bytes = source_ ? source_->render(buffer, kUnitBufferBytes) : 0;
    if (bytes > kUnitBufferBytes) bytes = kUnitBufferBytes;
    const size_t frames = bytes / 4;
    applyGain(buffer, frames, gainForVolume(volume_), meter_);
    meter_.advance(kUnitBufferFrames);
    frames_ += static_cast<uint32_t>(frames);
    return frames;
}

void AudioOutputUnit::run(pa_simple* stream) {
    raiseUnitThreadPriority();
    int16_t buffer[kUnitBufferBytes / 2];
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return quit_ || active_; });
            if (quit_) break;
        }
        memset(buffer, 0, sizeof buffer);
        renderStep(buffer);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (quit_) break;  // the source ended or failed during this render
        }
        int error = 0;
        if (pa_simple_write(stream, buffer, sizeof buffer, &error) < 0) break;
    }
    bool ended;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended = ended_;
    }
    int error = 0;
    if (ended)
        pa_simple_drain(stream, &error);
    else
        pa_simple_flush(stream, &error);
    pa_simple_free(stream);
    frames_ = 0;
    meter_.clear();
    running_ = false;
    active_ = false;
}
