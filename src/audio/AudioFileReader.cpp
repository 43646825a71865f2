#include "audio/AudioFileReader.h"

#include "audio/FfmpegQuiet.h"
#include "audio/LocalMediaInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
AVSampleFormat sampleFormat(AudioFileReader::Sample sample) {
    switch (sample) {
    case AudioFileReader::Sample::U8: return AV_SAMPLE_FMT_U8;
    case AudioFileReader::Sample::S16: return AV_SAMPLE_FMT_S16;
    case AudioFileReader::Sample::S32: return AV_SAMPLE_FMT_S32;
    case AudioFileReader::Sample::Float: return AV_SAMPLE_FMT_FLT;
    }
    return AV_SAMPLE_FMT_NONE;
}
// The SoX resampler as its "very high" quality has it: 28-bit precision (stop band beyond
// 160 dB), linear phase, the pass band flat to 95 % of the lower Nyquist frequency.
// Samples reduced to 16 or 24 bits get triangular dither at their own last bit.
int setStudioOptions(SwrContext* swr, int outputBits) {
    int rc = av_opt_set(swr, "resampler", "soxr", 0);
    if (rc >= 0) rc = av_opt_set_double(swr, "precision", 28, 0);
    if (rc >= 0) rc = av_opt_set_double(swr, "cutoff", 0.95, 0);
    if (rc >= 0 && (outputBits == 16 || outputBits == 24)) {
        rc = av_opt_set(swr, "dither_method", "triangular", 0);
        if (rc >= 0) rc = av_opt_set_int(swr, "output_sample_bits", outputBits, 0);
    }
    return rc;
}
}  // namespace

AudioFileReader::~AudioFileReader() { close(); }

void AudioFileReader::close() {
    swr_free(&swr_);
    avcodec_free_context(&codec_);
    if (format_) avformat_close_input(&format_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    stream_ = -1;
}

bool AudioFileReader::open(const std::string& path, int channels, int rate, Sample sample) {
    keepFfmpegQuiet();
    close();
    if (channels < 1 || channels > 64 || rate < 1 || rate > 768000) return false;
    channels_ = channels;
    rate_ = rate;
    outFormat_ = sampleFormat(sample);
    bytesPerFrame_ = channels * av_get_bytes_per_sample(static_cast<AVSampleFormat>(outFormat_));
    inputEnded_ = decoderDrained_ = flushed_ = false;
    skipFrames_ = 0;
    seekTarget_ = -1;
    packetEnd_ = INT64_MIN;
    endUnknown_ = false;
    position_ = 0;

    if (openLocalMediaInput(&format_, path) < 0) {
        format_ = nullptr;
        return false;
    }
    if (avformat_find_stream_info(format_, nullptr) < 0) return close(), false;
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        if (format_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            stream_ = static_cast<int>(i);
            break;
        }
    }
    if (stream_ < 0) return close(), false;
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        if (static_cast<int>(i) != stream_) format_->streams[i]->discard = AVDISCARD_ALL;
    }
    const AVCodecParameters* par = format_->streams[stream_]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    if (!decoder) return close(), false;
    codec_ = avcodec_alloc_context3(decoder);
    if (!codec_ || avcodec_parameters_to_context(codec_, par) < 0) return close(), false;
    codec_->pkt_timebase = format_->streams[stream_]->time_base;
    if (avcodec_open2(codec_, decoder, nullptr) < 0) return close(), false;
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!packet_ || !frame_) return close(), false;
    if (codec_->sample_rate <= 0 || codec_->ch_layout.nb_channels <= 0) return close(), false;
    if (!setUpResampler()) return close(), false;
    return true;
}

bool AudioFileReader::setUpResampler() {
    swr_free(&swr_);
    AVChannelLayout in{};
    if (codec_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&in, codec_->ch_layout.nb_channels);
    else if (av_channel_layout_copy(&in, &codec_->ch_layout) < 0)
        return false;
    AVChannelLayout out{};
    av_channel_layout_default(&out, channels_);
    int rc = swr_alloc_set_opts2(&swr_, &out, static_cast<AVSampleFormat>(outFormat_), rate_, &in,
                                 codec_->sample_fmt, codec_->sample_rate, 0, nullptr);
    if (rc >= 0 && studio_ && codec_->sample_rate != rate_) rc = setStudioOptions(swr_, studioBits_);
    if (rc >= 0 && in.nb_channels == 1 && channels_ > 1) {
        // A mono source goes to every output channel at its own level.
        std::vector<double> matrix(channels_, 1.0);
        rc = swr_set_matrix(swr_, matrix.data(), 1);
    }
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    return rc >= 0 && swr_init(swr_) >= 0;
}

bool AudioFileReader::convert(const AVFrame* frame, std::vector<uint8_t>& out) {
    const int inSamples = frame ? frame->nb_samples : 0;
    const int room = swr_get_out_samples(swr_, inSamples);
    if (room < 0) return false;
    if (room == 0) return true;
    const size_t had = out.size();
    out.resize(had + static_cast<size_t>(room) * bytesPerFrame_);
    uint8_t* dst = out.data() + had;
    int got = swr_convert(swr_, &dst, room, frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                          inSamples);
    if (got < 0) {
        out.resize(had);
        return false;
    }
    int64_t keep = got;
    size_t dropBytes = 0;
    if (skipFrames_ > 0) {
        int64_t drop = std::min<int64_t>(skipFrames_, keep);
        skipFrames_ -= drop;
        keep -= drop;
        dropBytes = static_cast<size_t>(drop) * bytesPerFrame_;
    }
    int64_t end = knownEnd();
    if (end >= 0) keep = std::max<int64_t>(0, std::min<int64_t>(keep, end - position_));
    if (dropBytes) memmove(dst, dst + dropBytes, static_cast<size_t>(keep) * bytesPerFrame_);
    out.resize(had + static_cast<size_t>(keep) * bytesPerFrame_);
    position_ += keep;
    return true;
}

int64_t AudioFileReader::knownEnd() const {
    if (endUnknown_ || packetEnd_ == INT64_MIN) return -1;
    const AVStream* st = format_->streams[stream_];
    int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    return av_rescale_q_rnd(packetEnd_ - start, st->time_base, AVRational{1, rate_},
                            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

AudioFileReader::Status AudioFileReader::read(std::vector<uint8_t>& out) {
    out.clear();
    if (!format_) return Status::Error;
    while (out.empty()) {
        if (flushed_) return Status::End;
        // Take every frame the decoder has ready.
        for (;;) {
            int rc = avcodec_receive_frame(codec_, frame_);
            if (rc == AVERROR(EAGAIN)) break;
            if (rc == AVERROR_EOF) {
                decoderDrained_ = true;
                break;
            }
            if (rc < 0) return Status::Error;
            if (seekTarget_ >= 0) {
                // The first frame after a seek tells where decoding resumed.
                int64_t pts = frame_->best_effort_timestamp;
                if (pts != AV_NOPTS_VALUE) {
                    AVRational tb = format_->streams[stream_]->time_base;
                    int64_t at = av_rescale_q(pts, tb, AVRational{1, rate_});
                    skipFrames_ = std::max<int64_t>(0, seekTarget_ - at);
                }
                seekTarget_ = -1;
            }
            bool ok = convert(frame_, out);
            av_frame_unref(frame_);
            if (!ok) return Status::Error;
        }
        if (!out.empty()) break;
        if (decoderDrained_) {
            if (!convert(nullptr, out)) return Status::Error;
            flushed_ = true;
            continue;
        }
        if (inputEnded_) continue;
        int rc = av_read_frame(format_, packet_);
        if (rc == AVERROR_EOF) {
            inputEnded_ = true;
            if (avcodec_send_packet(codec_, nullptr) < 0) return Status::Error;
            continue;
        }
        if (rc < 0) return Status::Error;
        if (packet_->stream_index == stream_) {
            if (packet_->pts == AV_NOPTS_VALUE || packet_->duration <= 0)
                endUnknown_ = true;
            else
                packetEnd_ = std::max(packetEnd_, packet_->pts + packet_->duration);
            rc = avcodec_send_packet(codec_, packet_);
            if (rc < 0 && rc != AVERROR(EAGAIN)) {
                av_packet_unref(packet_);
                return Status::Error;
            }
        }
        av_packet_unref(packet_);
    }
    return Status::Data;
}

bool AudioFileReader::seek(double seconds) {
    if (!format_ || !std::isfinite(seconds) || seconds < 0) return false;
    AVStream* st = format_->streams[stream_];
    int64_t ts = av_rescale_q(static_cast<int64_t>(seconds * AV_TIME_BASE), AV_TIME_BASE_Q, st->time_base);
    if (st->start_time != AV_NOPTS_VALUE) ts += st->start_time;
    if (avformat_seek_file(format_, stream_, INT64_MIN, ts, ts, 0) < 0 &&
        av_seek_frame(format_, stream_, ts, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    avcodec_flush_buffers(codec_);
    if (!setUpResampler()) return false;
    inputEnded_ = decoderDrained_ = flushed_ = false;
    skipFrames_ = 0;
    position_ = static_cast<int64_t>(seconds * rate_);
    int64_t start = st->start_time != AV_NOPTS_VALUE ? av_rescale_q(st->start_time, st->time_base, AVRational{1, rate_}) : 0;
    seekTarget_ = static_cast<int64_t>(seconds * rate_) + start;
    return true;
}

double AudioFileReader::duration() const {
    if (!format_) return -1;
    if (format_->duration != AV_NOPTS_VALUE) return format_->duration / static_cast<double>(AV_TIME_BASE);
    const AVStream* st = format_->streams[stream_];
    if (st->duration != AV_NOPTS_VALUE) return st->duration * av_q2d(st->time_base);
    return -1;
}

double AudioFileReader::fractionRead() const {
    double seconds = duration();
    if (seconds <= 0 || rate_ <= 0) return -1;
    double fraction = static_cast<double>(position_) / (seconds * rate_);
    return fraction < 0 ? 0 : fraction > 1 ? 1 : fraction;
}
