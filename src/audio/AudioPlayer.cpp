#include "audio/AudioPlayer.h"

#include <algorithm>
#include <cstring>

AudioPlayer::~AudioPlayer() {
    if (output_) {
        output_->stop();
        output_->setSource(nullptr);
    }
}

void AudioPlayer::setOutput(AudioOutputStream* output) {
    if (output_ && output_->source() == this) output_->setSource(nullptr);
    output_ = output;
    if (output_) output_->setSource(this);
}

bool AudioPlayer::open(const std::string& path) {
    if (output_) output_->stop();
    reader_.close();
    pending_.clear();
    pendingPos_ = 0;
    totalTime_ = 0;
    timeOffset_ = 0;
    path_.clear();
    if (!output_) return false;
    const wav::WaveFormat& f = output_->format();
    if (!reader_.open(path, f.channels, static_cast<int>(f.sampleRate), AudioFileReader::Sample::S16)) return false;
    const double duration = reader_.duration();
    if (duration > 0) totalTime_ = static_cast<float>(duration);
    path_ = path;
    return true;
}

bool AudioPlayer::prepare() {
    if (reader_.isOpen()) return true;
    if (path_.empty() || !output_) return false;
    const wav::WaveFormat& f = output_->format();
    pending_.clear();
    pendingPos_ = 0;
    return reader_.open(path_, f.channels, static_cast<int>(f.sampleRate), AudioFileReader::Sample::S16);
}

bool AudioPlayer::locate(float seconds) {
    if (!prepare()) return false;
    pending_.clear();
    pendingPos_ = 0;
    return reader_.seek(seconds);
}

void AudioPlayer::letGo() {
    reader_.close();
    pending_.clear();
    pendingPos_ = 0;
}

void AudioPlayer::stopAndRewind() {
    if (output_) output_->stop();
    letGo();
    timeOffset_ = 0;
    if (delegate_) delegate_->playerStopped(path_);
}

size_t AudioPlayer::render(void* buffer, size_t bytes) {
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t filled = 0;
    if (!reader_.isOpen()) return 0;  // let go of after a stop: nothing more to give
    bool error = false;
    while (filled < bytes && !error) {
        if (pendingPos_ >= pending_.size()) {
            pendingPos_ = 0;
            AudioFileReader::Status status = reader_.read(pending_);
            if (status == AudioFileReader::Status::Error) error = true;
            if (status != AudioFileReader::Status::Data) {
                pending_.clear();
                break;
            }
        }
        const size_t n = std::min(bytes - filled, pending_.size() - pendingPos_);
        memcpy(out + filled, pending_.data() + pendingPos_, n);
        filled += n;
        pendingPos_ += n;
    }
    if (error) {
        finish(true);
        return 0;
    }
    if (filled == 0) {
        finish(false);
        return 0;
    }
    memset(out + filled, 0, bytes - filled);
    return bytes;
}

void AudioPlayer::finish(bool error) {
    if (output_) output_->stop();  // from the unit's own thread: it does not wait for itself
    letGo();
    timeOffset_ = 0;
    if (delegate_) {
        delegate_->playerStopped(path_);
        if (error)
            delegate_->playerError(path_);
        else
            delegate_->playerEndOfFile(path_);
    }
}
