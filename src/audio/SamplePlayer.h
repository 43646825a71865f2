#pragma once

#include "audio/AudioDevice.h"
#include "audio/AudioFileReader.h"
#include "audio/LevelMeter.h"
#include "audio/SamplePlayerOutput.h"
#include "audio/UnitStream.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class SamplePlayerDelegate {
public:
    virtual ~SamplePlayerDelegate() = default;
    // The player ended by itself (end of the file or of its end point, or a read failure).
    virtual void samplePlayerDidEnd(const std::string& /*path*/) {}
};

// Plays one audio file to a sound server sink on a render thread of its own, with a
// begin point, an end point, repeats, fades and a volume that changes smoothly.
// The UI thread drives it; the render thread owns the timing of starts and stops.
class SamplePlayer : public AudioDeviceDelegate {
public:
    enum State { kStopped = 0, kStopping = 1, kPlaying = 2, kPaused = 3 };

    SamplePlayer();
    ~SamplePlayer() override;
    SamplePlayer(const SamplePlayer&) = delete;
    SamplePlayer& operator=(const SamplePlayer&) = delete;

    void setDelegate(SamplePlayerDelegate* delegate) { delegate_ = delegate; }
    // Watches the endpoints for this player (owned); may be null.
    void setAudioDevice(std::unique_ptr<AudioDevice> device);

    // AudioDeviceDelegate (the watcher's thread): the work moves to the UI thread.
    void audioObjectDefaultChanged(int flow, int role, const std::string& deviceId) override;
    void audioObjectAddedRemoved(const std::string& deviceId, uint32_t state) override;

    virtual float speed() const { return speed_; }
    virtual void setSpeed(float rate) { speed_ = rate; }
    virtual float pitch() const { return pitch_; }
    virtual void setPitch(float cents) { pitch_ = cents; }
    virtual std::string control(const std::string& /*params*/) { return ""; }

    // The chosen sink (empty: the default one); a loaded file is reopened on it.
    const std::string& deviceUid() const { return deviceUid_; }
    void setDeviceUid(const std::string& uid);

    bool open(const std::string& path);
    void close();
    void play();
    void pause();
    void stop(bool force);
    // The stop of "stop all": forced, or at once when paused.
    void stopForced();
    void locate(float seconds);
    float beginPoint() const { return begin_; }
    void setBeginPoint(float seconds);
    float endOffset() const { return endOffset_; }
    void setEndOffset(float seconds);
    float volume() const { return volume_; }
    void setVolume(float gain) { volume_ = gain; }
    int repeatCount() const { return repeatCount_; }
    void setRepeatCount(int count);
    float fadeInTime() const { return fadeIn_; }
    void setFadeInTime(float seconds) { fadeIn_ = seconds; }
    float fadeOutTime() const { return fadeOut_; }
    void setFadeOutTime(float seconds) { fadeOut_ = seconds; }

    const std::string& path() const { return path_; }
    float totalTime() const { return totalTime_; }
    float currentTime() const { return currentTime_; }
    State state() const;
    bool isPlaying() const { return playing_; }
    // dB of channel 0 or 1, −120 at the floor and while stopped or paused.
    float peakPower(int channel);
    // The sink the stream plays to now (empty without a stream) and its underruns.
    std::string sinkName() const;
    uint32_t underruns() const;

protected:
    // Fills up to bytes of the render format: what was read, or −1 on a read failure.
    // Called on the render thread with the reader locked.
    virtual long read(uint8_t* buffer, size_t bytes);
    // The reader moved (a start, a move, a turn at the end point); reader locked.
    virtual void readerMoved() {}
    // Reads from the decoder with the repeats of the file's end; reader locked.
    long readSource(uint8_t* buffer, size_t bytes);
    int channels() const { return channels_; }
    int rate() const { return rate_; }
    size_t blockAlign() const { return static_cast<size_t>(channels_) * 2; }

private:
    bool startOutput();
    void stopOutput();
    void renderLoop();
    // One period: produce, gain ramp, meter; the frames written.
    void renderPeriod(int16_t* buffer, uint32_t freeFrames);
    size_t produce(uint8_t* buffer, size_t bytes);
    long readLocked(uint8_t* buffer, size_t bytes);
    // seamless: a repeat inside a read, which goes on as one stream.
    bool moveReader(float seconds, bool seamless = false);
    void finishStop();   // render thread: the stop fade is over
    void endByItself();  // render thread: end of file, end point or read failure
    float targetGain();
    void reopen();       // UI thread: the endpoint changed

    SamplePlayerDelegate* delegate_ = nullptr;
    std::unique_ptr<AudioDevice> audioDevice_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);

    std::string deviceUid_;
    std::string path_;
    std::mutex readerMutex_;
    AudioFileReader reader_;
    std::vector<uint8_t> pending_;
    size_t pendingPos_ = 0;

    std::atomic<float> totalTime_{0}, currentTime_{0}, startPosition_{0}, begin_{0}, endOffset_{0};
    std::atomic<bool> startPending_{false}, playing_{false}, paused_{false}, immediateStart_{false};
    std::atomic<uint32_t> framesRendered_{0};
    std::atomic<int64_t> stopFrame_{-1};  // frame count at which a stop began, −1 = none
    std::atomic<bool> forcedStop_{false};
    std::atomic<int> repeatCount_{0}, repeatsRemaining_{0};
    std::atomic<float> volume_{1.0f}, speed_{1.0f}, pitch_{0.0f}, fadeIn_{0}, fadeOut_{0};
    float currentGain_ = 0;

    int channels_ = 2;
    int rate_ = 44100;
    mutable std::mutex outputMutex_;
    std::unique_ptr<SamplePlayerOutput> output_;
    std::unique_ptr<UnitThread> renderThread_;
    std::atomic<bool> running_{false};
    LevelMeter meter_{1};
};
