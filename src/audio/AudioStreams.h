#pragma once

#include "wav/WaveFormat.h"

#include <cstddef>
#include <string>

// A source of rendered audio (the player): fills the buffer, returns the bytes produced.
class AudioOutputStreamDelegate {
public:
    virtual ~AudioOutputStreamDelegate() = default;
    virtual size_t render(void* /*buffer*/, size_t /*bytes*/) { return 0; }
};

// A sink of captured audio (the recorder).
class AudioInputStreamDelegate {
public:
    virtual ~AudioInputStreamDelegate() = default;
    virtual void capture(const void* /*data*/, size_t /*bytes*/) {}
    virtual void captureStopped() {}
};

// Where rendered audio goes: a sound output (or, later, a device link).
class AudioOutputStream {
public:
    virtual ~AudioOutputStream() = default;
    virtual AudioOutputStreamDelegate* source() const = 0;
    virtual void setSource(AudioOutputStreamDelegate* source) = 0;
    virtual const wav::WaveFormat& format() const = 0;
    virtual void start(const std::string& deviceUid) = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual float volume() const = 0;
    virtual void setVolume(float volume) = 0;
    virtual float speed() const = 0;
    virtual void setSpeed(float rate) = 0;
    virtual float pitch() const = 0;
    virtual void setPitch(float cents) = 0;
    virtual int channels() const = 0;
    virtual float peakPower(int channel) = 0;
    virtual float time() const = 0;
    // 0 stopped, 1 running, 2 paused.
    virtual int status() const = 0;
};

// Where captured audio comes from: a sound input (or, later, a device link).
class AudioInputStream {
public:
    virtual ~AudioInputStream() = default;
    virtual AudioInputStreamDelegate* sink() const = 0;
    virtual void setSink(AudioInputStreamDelegate* sink) = 0;
    virtual const wav::WaveFormat& format() const = 0;
    virtual void start(const std::string& deviceUid) = 0;
    virtual void pause() = 0;
    // Ends capture; unless silent, the sink hears captureStopped afterwards.
    virtual void stop(bool silent) = 0;
    virtual float volume() const = 0;
    virtual void setVolume(float volume) = 0;
    virtual int channels() const = 0;
    virtual float peakPower(int channel) = 0;
    virtual float time() const = 0;
    virtual int status() const = 0;
};

enum AudioStreamStatus { kAudioStopped = 0, kAudioRunning = 1, kAudioPaused = 2 };
