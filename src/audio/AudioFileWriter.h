#pragma once

#include <cstdint>
#include <string>

struct AVFormatContext;
struct AVCodecContext;
struct SwrContext;
struct AVAudioFifo;
struct AVFrame;
struct AVPacket;

// Encodes interleaved samples into a compressed audio file with FFmpeg
// (AAC in MPEG-4, MP3, ...). finish() completes and closes the file.
class AudioFileWriter {
public:
    enum class Input { S16, Float };

    AudioFileWriter() = default;
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // container: an FFmpeg muxer name, or empty to choose by the file name.
    // bitRate in bits per second; 0 leaves the encoder's default.
    bool open(const std::string& path, const std::string& container, const std::string& encoder, int channels,
              int rate, int64_t bitRate, Input input);
    bool write(const void* samples, int frames);
    // Flushes the encoder and writes the trailer; false when anything failed.
    bool finish();
    bool isOpen() const { return format_ != nullptr; }

private:
    bool encodeFromFifo(bool flushAll);
    bool sendFrame(AVFrame* frame);
    void release();

    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int channels_ = 0;
    int inBytesPerFrame_ = 0;
    int64_t nextPts_ = 0;
    bool headerWritten_ = false;
    bool failed_ = false;
};
