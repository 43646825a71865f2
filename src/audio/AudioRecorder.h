#pragma once

#include "audio/AudioFileWriter.h"
#include "audio/AudioStreams.h"
#include "audio/WaveChunkFile.h"

#include <cstdint>
#include <memory>
#include <string>

class AudioRecorderDelegate {
public:
    virtual ~AudioRecorderDelegate() = default;
    virtual void recorderStopped(const std::string& /*path*/) {}
    virtual void recorderError(const std::string& /*path*/) {}
};

// Writes what its input stream captures into a file: AAC at 256, 192, 128 or 64 kbit/s
// (formats 0 to 3, container by the file name) or a WAV of the captured PCM (format 4).
class AudioRecorder : public AudioInputStreamDelegate {
public:
    AudioRecorder() = default;
    ~AudioRecorder() override;

    void setDelegate(AudioRecorderDelegate* delegate) { delegate_ = delegate; }
    void setInput(AudioInputStream* input);
    AudioInputStream* input() const { return input_; }

    bool create(const std::string& path, int format);
    void capture(const void* data, size_t bytes) override;
    void captureStopped() override;

    bool writing() const { return wav_ || encoder_; }
    const std::string& path() const { return path_; }
    const std::string& deviceUid() const { return deviceUid_; }
    void setDeviceUid(const std::string& uid) { deviceUid_ = uid; }

private:
    // Completes and closes the file being written; false when that failed.
    bool finishFile();

    AudioRecorderDelegate* delegate_ = nullptr;
    AudioInputStream* input_ = nullptr;
    std::string deviceUid_;
    std::string path_;
    std::unique_ptr<WaveChunkFile> wav_;
    std::unique_ptr<AudioFileWriter> encoder_;
    uint64_t framesWritten_ = 0;
};
