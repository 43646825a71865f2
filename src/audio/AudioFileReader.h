#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct SwrContext;
struct AVPacket;
struct AVFrame;

// Decodes the first audio stream of any file FFmpeg reads and delivers it as
// interleaved samples with the channel count, rate and sample format asked for.
class AudioFileReader {
public:
    enum class Sample { U8, S16, S32, Float };
    enum class Status { Data, End, Error };

    AudioFileReader() = default;
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    bool open(const std::string& path, int channels, int rate, Sample sample);
    // For conversions that make files (not for playback): a change of rate goes through
    // the SoX resampler at its very high quality, and when the samples are reduced to
    // outputBits (16 or 24; 0 for float) they are dithered with triangular (TPDF) noise.
    // Set before open(); a conversion at the source's own rate is left as it is.
    void preferStudioResampling(int outputBits) { studioBits_ = outputBits; studio_ = true; }
    void close();
    bool isOpen() const { return format_ != nullptr; }

    // Replaces out with the next block of converted samples (whole frames).
    Status read(std::vector<uint8_t>& out);
    // Positions the stream so that the next read starts at the given time.
    bool seek(double seconds);
    // Seconds, or a negative value when the file does not tell.
    double duration() const;
    int bytesPerFrame() const { return bytesPerFrame_; }
    // Output frames delivered so far, counted from the stream's start.
    int64_t position() const { return position_; }
    // The share of the stream delivered so far (0 to 1), or a negative value when the
    // file does not tell its length.
    double fractionRead() const;

private:
    bool setUpResampler();
    // Output frames from the stream's start to the end of the packets read so far, or -1.
    int64_t knownEnd() const;
    // Converts the frame (or flushes the resampler when null) and appends to out.
    bool convert(const AVFrame* frame, std::vector<uint8_t>& out);

    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int stream_ = -1;
    int channels_ = 0;
    int rate_ = 0;
    int outFormat_ = 0;
    int bytesPerFrame_ = 0;
    bool inputEnded_ = false;   // no more packets: the decoder was flushed
    bool decoderDrained_ = false;
    bool flushed_ = false;      // the resampler gave its last samples
    int64_t skipFrames_ = 0;    // output frames still to drop after a seek
    int64_t seekTarget_ = -1;   // output frame the last seek asked for
    // The stream ends where its last packet ends (pts + duration, in the stream's time
    // base): codecs that work in whole blocks (AAC) decode padding past that point,
    // which is dropped. Unknown when a packet lacks a time or a duration.
    int64_t packetEnd_ = INT64_MIN;
    bool endUnknown_ = false;
    int64_t position_ = 0;      // output frames delivered, counted from the stream's start
    bool studio_ = false;
    int studioBits_ = 0;

};
