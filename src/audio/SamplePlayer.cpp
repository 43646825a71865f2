#include "audio/SamplePlayer.h"

#include "audio/UnitStream.h"
#include "base/MainThread.h"

#include <algorithm>
#include <cstring>

namespace {

// While a fade runs, the gain follows it in steps this short, so that a forced stop
// is silent within its 5 ms whatever the period.
constexpr uint32_t kFadeStepFrames = 64;

// Scales interleaved 16-bit frames by a gain going linearly from one value to another.
void rampSamples(int16_t* samples, size_t frames, int channels, float from, float to, float* sums) {
    if (frames == 0) return;
    const float step = (to - from) / static_cast<float>(frames);
    for (size_t f = 0; f < frames; ++f) {
        const float gain = from + step * static_cast<float>(f + 1);
        for (int c = 0; c < channels; ++c) {
            int16_t& s = samples[f * channels + c];
            s = static_cast<int16_t>(s * gain);
            if (sums && c < 2) sums[c] += static_cast<float>(s) * s;
        }
    }
}

}  // namespace

SamplePlayer::SamplePlayer() = default;

SamplePlayer::~SamplePlayer() {
    alive_.reset();
    audioDevice_.reset();  // no notification arrives from here on
    close();
}

void SamplePlayer::setAudioDevice(std::unique_ptr<AudioDevice> device) {
    if (audioDevice_) audioDevice_->setDelegate(nullptr);
    audioDevice_ = std::move(device);
    if (audioDevice_) audioDevice_->setDelegate(this);
}

void SamplePlayer::audioObjectDefaultChanged(int flow, int role, const std::string&) {
    if (flow != 0 || role != 1) return;
    std::weak_ptr<int> alive = alive_;
    runOnMainThread([this, alive] {
        if (alive.lock() && deviceUid_.empty()) reopen();
    });
}

void SamplePlayer::audioObjectAddedRemoved(const std::string& deviceId, uint32_t state) {
    if (state != AudioDevice::kStateNotPresent || deviceId.empty()) return;
    std::weak_ptr<int> alive = alive_;
    runOnMainThread([this, alive, deviceId] {
        if (!alive.lock() || deviceUid_.empty() || deviceUid_ != deviceId) return;
        deviceUid_.clear();
        reopen();
    });
}

void SamplePlayer::setDeviceUid(const std::string& uid) {
    deviceUid_ = uid;
    reopen();
}

void SamplePlayer::reopen() {
    if (path_.empty()) return;
    const std::string path = path_;
    open(path);
}

bool SamplePlayer::open(const std::string& path) {
    close();
    startOutput();  // without an output the player loads the file and renders nothing
    double duration = -1;
    {
        std::lock_guard<std::mutex> lock(readerMutex_);
        if (reader_.open(path, channels_, rate_, AudioFileReader::Sample::S16)) duration = reader_.duration();
    }
    if (!(duration > 0)) {
        close();
        return false;
    }
    totalTime_ = static_cast<float>(duration);
    path_ = path;
    return true;
}

void SamplePlayer::close() {
    stopOutput();
    std::lock_guard<std::mutex> lock(readerMutex_);
    reader_.close();
    pending_.clear();
    pendingPos_ = 0;
    totalTime_ = 0;
    currentTime_ = 0;
    startPosition_ = 0;
    begin_ = 0;
    endOffset_ = 0;
    startPending_ = false;
    playing_ = false;
    paused_ = false;
    stopFrame_ = -1;
    path_.clear();
}

bool SamplePlayer::startOutput() {
    auto output = std::make_unique<SamplePlayerOutput>();
    if (!output->open(deviceUid_)) return false;
    channels_ = output->channels();
    rate_ = output->rate();
    meter_.setSampleRate(static_cast<float>(rate_));
    {
        std::lock_guard<std::mutex> lock(outputMutex_);
        output_ = std::move(output);
    }
    running_ = true;
    renderThread_ = std::make_unique<UnitThread>([this] { renderLoop(); });
    if (renderThread_->start(false) == 0) {
        running_ = false;
        renderThread_.reset();
        std::lock_guard<std::mutex> lock(outputMutex_);
        output_.reset();
        return false;
    }
    return true;
}

void SamplePlayer::stopOutput() {
    if (!renderThread_ || !renderThread_->hasThread()) return;
    running_ = false;
    output_->interrupt();
    renderThread_->join();
    std::lock_guard<std::mutex> lock(outputMutex_);
    output_.reset();
}

std::string SamplePlayer::sinkName() const {
    std::lock_guard<std::mutex> lock(outputMutex_);
    return output_ ? output_->sinkName() : std::string();
}

uint32_t SamplePlayer::underruns() const {
    std::lock_guard<std::mutex> lock(outputMutex_);
    return output_ ? output_->underruns() : 0;
}

void SamplePlayer::play() {
    if (path_.empty()) return;  // nothing loaded: nothing to start
    if (paused_) {
        paused_ = false;
        return;
    }
    repeatsRemaining_ = repeatCount_.load();
    startPending_ = true;
}

void SamplePlayer::pause() {
    if (playing_ && !paused_) {
        paused_ = true;
        startPending_ = true;
    }
}

void SamplePlayer::stop(bool force) {
    if (!playing_) {
        startPending_ = false;  // a start not taken yet does not happen
        return;
    }
    if (paused_) {
        playing_ = false;
        paused_ = false;
        currentTime_ = begin_.load();
        startPosition_ = begin_.load();
        stopFrame_ = -1;
    } else if (stopFrame_ >= 0) {
        forcedStop_ = true;
    } else {
        forcedStop_ = force;
        stopFrame_ = framesRendered_.load();
    }
}

void SamplePlayer::stopForced() {
    if (!playing_) {
        startPending_ = false;
        return;
    }
    if (paused_) {
        stop(false);
        return;
    }
    forcedStop_ = true;
    if (stopFrame_ < 0) stopFrame_ = framesRendered_.load();
}

void SamplePlayer::locate(float seconds) {
    float target = std::max(begin_.load(), seconds);
    target = std::min(totalTime_ - endOffset_, target);
    if (target < 0) target = 0;
    if (playing_ && !paused_) {
        // The render thread fades out what plays, moves and fades in at the target.
        startPosition_ = target;
        currentTime_ = target;
        repeatsRemaining_ = repeatCount_.load();
        startPending_ = true;
        return;
    }
    std::lock_guard<std::mutex> lock(readerMutex_);
    if (reader_.isOpen() && moveReader(target)) {
        currentTime_ = target;
        startPosition_ = target;
    }
}

void SamplePlayer::setBeginPoint(float seconds) {
    if (!(seconds >= 0) || seconds > totalTime_ - endOffset_) return;
    begin_ = seconds;
    locate(seconds);
}

void SamplePlayer::setEndOffset(float seconds) {
    if (!(seconds >= 0)) return;
    endOffset_ = seconds;
    const float endPoint = totalTime_ - seconds;
    if (begin_ > endPoint) {
        begin_ = 0;
        locate(0);
    } else if (currentTime_ > endPoint) {
        locate(begin_);
    }
}

void SamplePlayer::setRepeatCount(int count) {
    if (count < -1) return;
    repeatCount_ = count;
    repeatsRemaining_ = count;
}

SamplePlayer::State SamplePlayer::state() const {
    if (!playing_) return kStopped;
    if (paused_) return kPaused;
    return stopFrame_ >= 0 ? kStopping : kPlaying;
}

float SamplePlayer::peakPower(int channel) {
    return meter_.peakPower(channel, playing_ && !paused_ && channel < channels_);
}

// --- render thread ---------------------------------------------------------------------------

void SamplePlayer::renderLoop() {
    raiseUnitThreadPriority();
    const uint32_t period = output_->periodFrames();
    std::vector<int16_t> buffer(static_cast<size_t>(period) * channels_);
    currentGain_ = 0;
    while (running_ && output_->waitForRoom()) {
        renderPeriod(buffer.data(), period);
        if (!output_->write(buffer.data(), period)) break;
    }
    playing_ = false;
    paused_ = false;
    stopFrame_ = -1;
    currentTime_ = begin_.load();
    startPosition_ = begin_.load();
    meter_.clear();
}

float SamplePlayer::targetGain() {
    if (!playing_ || paused_) return 0;
    float base = volume_;
    const float rate = static_cast<float>(rate_);
    const float fadeInFrames = rate * fadeIn_;
    const float rendered = static_cast<float>(framesRendered_.load());
    const int64_t stopFrame = stopFrame_;
    if (stopFrame >= 0) {
        const float fade = (forcedStop_ || fadeOut_ == 0) ? 0.005f : fadeOut_.load();
        const float fadeFrames = rate * fade;
        base *= (static_cast<float>(stopFrame) + fadeFrames - rendered) / fadeFrames;
        if (fadeInFrames > static_cast<float>(stopFrame)) base *= static_cast<float>(stopFrame) / fadeInFrames;
        if (rendered >= static_cast<float>(stopFrame) + fadeFrames) finishStop();
    } else if (fadeInFrames > rendered) {
        base *= rendered / fadeInFrames;
    } else if (immediateStart_) {
        // A start from the top of the file begins at full gain; later changes ramp again.
        immediateStart_ = false;
        currentGain_ = gainForVolume(base);
    }
    return gainForVolume(base);
}

void SamplePlayer::renderPeriod(int16_t* buffer, uint32_t freeFrames) {
    const size_t align = blockAlign();
    size_t bytes;
    {
        std::lock_guard<std::mutex> lock(readerMutex_);
        bytes = produce(reinterpret_cast<uint8_t*>(buffer), freeFrames * align);
    }
    const uint32_t produced = static_cast<uint32_t>(std::min<size_t>(bytes / align, freeFrames));
    float sums[2] = {0, 0};
    for (uint32_t done = 0; done < produced;) {
        // Whole-period ramps, except while a fade in or out runs.
        const bool fading = stopFrame_ >= 0 || rate_ * fadeIn_ > framesRendered_;
        const uint32_t n = fading ? std::min(kFadeStepFrames, produced - done) : produced - done;
        framesRendered_ += n;
        const float target = targetGain();
        rampSamples(buffer + static_cast<size_t>(done) * channels_, n, channels_, currentGain_, target, sums);
        currentGain_ = target;
        done += n;
    }
    if (produced == 0) currentGain_ = targetGain();
    memset(buffer + static_cast<size_t>(produced) * channels_, 0, (freeFrames - produced) * align);
    if (playing_) currentTime_ = currentTime_ + static_cast<float>(produced) * speed() / static_cast<float>(rate_);
    // Only a sounding player is metered: the silence an idle output renders between its
    // start and the player's would otherwise pull the first reading below what plays.
    if (playing_ && !paused_) {
        meter_.add(0, sums[0]);
        meter_.add(1, sums[1]);
        meter_.advance(freeFrames);
    }
}

size_t SamplePlayer::produce(uint8_t* buffer, size_t bytes) {
    const size_t align = blockAlign();
    const size_t half = bytes / align / 2 * align;
    size_t first = 0;
    if (startPending_) {
        startPending_ = false;
        if (playing_) {
            // A pause, a restart or a move: what plays now fades out first.
            const long n = readLocked(buffer, half);
            if (n <= 0) {
                endByItself();
                return 0;
            }
            rampSamples(reinterpret_cast<int16_t*>(buffer), n / align, channels_, 1, 0, nullptr);
            if (paused_) return static_cast<size_t>(n);
            first = static_cast<size_t>(n);
        } else {
            immediateStart_ = startPosition_ == 0;
        }
        const float from = startPosition_;
        if (!moveReader(from)) {
            endByItself();
            return first;
        }
        currentTime_ = from;
        playing_ = true;
        paused_ = false;
        framesRendered_ = 0;
        stopFrame_ = -1;
        forcedStop_ = false;
    } else if (endOffset_ != 0 && playing_ && !paused_ && currentTime_ >= totalTime_ - endOffset_) {
        const long n = readLocked(buffer, half);
        if (n <= 0) {
            endByItself();
            return 0;
        }
        if (repeatsRemaining_ == 0) {
            endByItself();  // the gain ramp takes this last part down
            return static_cast<size_t>(n);
        }
        rampSamples(reinterpret_cast<int16_t*>(buffer), n / align, channels_, 1, 0, nullptr);
        if (repeatsRemaining_ != -1) --repeatsRemaining_;
        moveReader(begin_);
        currentTime_ = begin_.load();
        startPosition_ = begin_.load();
        first = static_cast<size_t>(n);
    }
    if (playing_ && !paused_) {
        const long n = readLocked(buffer + first, bytes - first);
        if (n > 0) {
            if (first) rampSamples(reinterpret_cast<int16_t*>(buffer + first), n / align, channels_, 0, 1, nullptr);
            return first + static_cast<size_t>(n);
        }
        endByItself();
    }
    return first;
}

long SamplePlayer::readLocked(uint8_t* buffer, size_t bytes) {
    if (!reader_.isOpen()) return -1;
    const long n = read(buffer, bytes);
    if (n <= 0) return n;
    return static_cast<long>(static_cast<size_t>(n) / blockAlign() * blockAlign());
}

long SamplePlayer::read(uint8_t* buffer, size_t bytes) { return readSource(buffer, bytes); }

long SamplePlayer::readSource(uint8_t* buffer, size_t bytes) {
    size_t filled = 0;
    bool loopedEmpty = false;  // a repeat that gave nothing: the range is empty
    while (filled < bytes) {
        if (pendingPos_ < pending_.size()) {
            const size_t n = std::min(bytes - filled, pending_.size() - pendingPos_);
            memcpy(buffer + filled, pending_.data() + pendingPos_, n);
            filled += n;
            pendingPos_ += n;
            loopedEmpty = false;
            continue;
        }
        pendingPos_ = 0;
        const AudioFileReader::Status status = reader_.read(pending_);
        if (status == AudioFileReader::Status::Error) {
            pending_.clear();
            return -1;
        }
        if (status == AudioFileReader::Status::Data) continue;
        pending_.clear();
        if (repeatsRemaining_ == 0 || loopedEmpty) break;
        if (repeatsRemaining_ != -1) --repeatsRemaining_;
        if (!moveReader(begin_, true)) return -1;
        // The time goes back with the sound; the render adds what this read delivers.
        currentTime_ = begin_ - static_cast<float>(filled / blockAlign()) / static_cast<float>(rate_);
        startPosition_ = begin_.load();
        loopedEmpty = true;
    }
    return static_cast<long>(filled);
}

bool SamplePlayer::moveReader(float seconds, bool seamless) {
    pending_.clear();
    pendingPos_ = 0;
    const bool moved = reader_.seek(seconds);
    if (!seamless) readerMoved();
    return moved;
}

void SamplePlayer::finishStop() {
    playing_ = false;
    paused_ = false;
    stopFrame_ = -1;
    currentTime_ = begin_.load();
    startPosition_ = begin_.load();
}

void SamplePlayer::endByItself() {
    playing_ = false;
    paused_ = false;
    stopFrame_ = -1;
    startPosition_ = begin_.load();
    currentTime_ = begin_.load();
    if (delegate_) delegate_->samplePlayerDidEnd(path_);
}
