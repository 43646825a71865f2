#include "audio/AudioRecorder.h"

#include <unistd.h>

namespace {
const int64_t kAacBitRates[4] = {256000, 192000, 128000, 64000};
constexpr int kPcmFormat = 4;
}  // namespace

AudioRecorder::~AudioRecorder() {
    if (input_) {
        input_->stop(true);
        input_->setSink(nullptr);
    }
    finishFile();
}

void AudioRecorder::setInput(AudioInputStream* input) {
    if (input_ && input_->sink() == this) input_->setSink(nullptr);
    input_ = input;
    if (input_) input_->setSink(this);
}

bool AudioRecorder::finishFile() {
    bool ok = true;
    if (wav_) ok = wav_->close();
    if (encoder_) ok = encoder_->finish() && ok;
    wav_.reset();
    encoder_.reset();
    return ok;
}

bool AudioRecorder::create(const std::string& path, int format) {
    finishFile();
    if (input_) input_->stop(true);
    path_.clear();
    // Anything but the five known formats writes nothing.
    if (!input_ || format < 0 || format > kPcmFormat || path.empty()) return false;
    const wav::WaveFormat& in = input_->format();
    framesWritten_ = 0;
    bool ok;
    if (format == kPcmFormat) {
        wav_ = std::make_unique<WaveChunkFile>();
        ok = wav_->openWrite(path, in);
    } else {
        encoder_ = std::make_unique<AudioFileWriter>();
        ok = encoder_->open(path, "", "aac", in.channels, static_cast<int>(in.sampleRate), kAacBitRates[format],
                            AudioFileWriter::Input::S16);
    }
    if (!ok) {
        finishFile();
        ::unlink(path.c_str());
        return false;
    }
    path_ = path;
    return true;
}

void AudioRecorder::capture(const void* data, size_t bytes) {
    if (!writing() || !input_) return;
    const size_t frames = bytes / input_->format().blockAlign;
    bool ok = wav_ ? wav_->write(data, frames * input_->format().blockAlign)
                   : encoder_->write(data, static_cast<int>(frames));
    if (ok) {
        framesWritten_ += frames;
        return;
    }
    if (delegate_) delegate_->recorderError(path_);
    input_->stop(true);
    captureStopped();
}

void AudioRecorder::captureStopped() {
    finishFile();
    if (!path_.empty() && delegate_) delegate_->recorderStopped(path_);
    path_.clear();
}
