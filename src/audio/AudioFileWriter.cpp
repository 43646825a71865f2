#include "audio/AudioFileWriter.h"

#include "audio/FfmpegQuiet.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <vector>

AudioFileWriter::~AudioFileWriter() { release(); }

void AudioFileWriter::release() {
    if (format_) {
        if (format_->pb) avio_closep(&format_->pb);
        avformat_free_context(format_);
        format_ = nullptr;
    }
    avcodec_free_context(&codec_);
    swr_free(&swr_);
    if (fifo_) av_audio_fifo_free(fifo_);
    fifo_ = nullptr;
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    headerWritten_ = false;
}

bool AudioFileWriter::open(const std::string& path, const std::string& container, const std::string& encoder,
                           int channels, int rate, int64_t bitRate, Input input) {
    keepFfmpegQuiet();
    release();
    failed_ = false;
    nextPts_ = 0;
    if (channels < 1 || channels > 8 || rate < 1) return false;
    channels_ = channels;
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder.c_str());
    if (!codec) return false;
    if (avformat_alloc_output_context2(&format_, nullptr, container.empty() ? nullptr : container.c_str(),
                                       path.c_str()) < 0 || !format_)
        return release(), false;
    AVStream* stream = avformat_new_stream(format_, nullptr);
    codec_ = avcodec_alloc_context3(codec);
    if (!stream || !codec_) return release(), false;
    av_channel_layout_default(&codec_->ch_layout, channels);
    codec_->sample_rate = rate;
    codec_->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    if (bitRate > 0) codec_->bit_rate = bitRate;
    codec_->time_base = AVRational{1, rate};
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(codec_, codec, nullptr) < 0) return release(), false;
    if (avcodec_parameters_from_context(stream->codecpar, codec_) < 0) return release(), false;
    stream->time_base = codec_->time_base;

    const AVSampleFormat inFormat = input == Input::S16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLT;
    inBytesPerFrame_ = channels * av_get_bytes_per_sample(inFormat);
    if (swr_alloc_set_opts2(&swr_, &codec_->ch_layout, codec_->sample_fmt, rate, &codec_->ch_layout, inFormat, rate,
                            0, nullptr) < 0 ||
        swr_init(swr_) < 0)
        return release(), false;
    fifo_ = av_audio_fifo_alloc(codec_->sample_fmt, channels, 4096);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!fifo_ || !frame_ || !packet_) return release(), false;

    if (!(format_->oformat->flags & AVFMT_NOFILE) && avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE) < 0)
        return release(), false;
    if (avformat_write_header(format_, nullptr) < 0) return release(), false;
    headerWritten_ = true;
    return true;
}

bool AudioFileWriter::write(const void* samples, int frames) {
    if (!format_ || failed_) return false;
    if (frames <= 0) return true;
    // Same rate in and out: the resampler only changes the sample layout.
    std::vector<uint8_t*> planes(channels_);
    int linesize = 0;
    if (av_samples_alloc(planes.data(), &linesize, channels_, frames, codec_->sample_fmt, 0) < 0) return failed_ = true, false;
    const uint8_t* in = static_cast<const uint8_t*>(samples);
    int got = swr_convert(swr_, planes.data(), frames, &in, frames);
    bool ok = got >= 0 && av_audio_fifo_write(fifo_, reinterpret_cast<void**>(planes.data()), got) == got;
    av_freep(&planes[0]);
    if (!ok || !encodeFromFifo(false)) return failed_ = true, false;
    return true;
}

bool AudioFileWriter::encodeFromFifo(bool flushAll) {
    const int frameSize = codec_->frame_size > 0 ? codec_->frame_size : 1024;
    while (av_audio_fifo_size(fifo_) >= frameSize || (flushAll && av_audio_fifo_size(fifo_) > 0)) {
        const int n = std::min(frameSize, av_audio_fifo_size(fifo_));
        av_frame_unref(frame_);
        frame_->nb_samples = n;
        frame_->format = codec_->sample_fmt;
        frame_->sample_rate = codec_->sample_rate;
        if (av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout) < 0) return false;
        if (av_frame_get_buffer(frame_, 0) < 0) return false;
        if (av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), n) != n) return false;
        frame_->pts = nextPts_;
        nextPts_ += n;
        if (!sendFrame(frame_)) return false;
    }
    return true;
}

bool AudioFileWriter::sendFrame(AVFrame* frame) {
    if (avcodec_send_frame(codec_, frame) < 0) return false;
    for (;;) {
        int rc = avcodec_receive_packet(codec_, packet_);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) return false;
        packet_->stream_index = 0;
        av_packet_rescale_ts(packet_, codec_->time_base, format_->streams[0]->time_base);
        rc = av_interleaved_write_frame(format_, packet_);
        if (rc < 0) return false;
    }
}

bool AudioFileWriter::finish() {
    if (!format_) return false;
    bool ok = !failed_;
    if (ok) {
        // The last samples through the resampler, then whatever the encoder holds.
        ok = encodeFromFifo(true) && sendFrame(nullptr);
    }
    if (headerWritten_) ok = av_write_trailer(format_) >= 0 && ok;
    if (format_->pb) ok = avio_closep(&format_->pb) >= 0 && ok;
    release();
    return ok;
}
