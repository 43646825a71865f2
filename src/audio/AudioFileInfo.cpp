#include "audio/AudioFileInfo.h"

#include "audio/FfmpegQuiet.h"
#include "audio/LocalMediaInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdio>

namespace {
// The WAVE format tag a WAV file would carry for the codec.
uint16_t waveTag(const AVCodecParameters* par) {
    switch (par->codec_id) {
    case AV_CODEC_ID_MP3: return wav::kWaveFormatMp3;
    case AV_CODEC_ID_AAC: return wav::kWaveFormatAac;
    case AV_CODEC_ID_PCM_F32LE:
    case AV_CODEC_ID_PCM_F32BE:
    case AV_CODEC_ID_PCM_F64LE:
    case AV_CODEC_ID_PCM_F64BE: return wav::kWaveFormatIeeeFloat;
    default: break;
    }
    const AVCodecDescriptor* desc = avcodec_descriptor_get(par->codec_id);
    if (par->codec_id >= AV_CODEC_ID_PCM_S16LE && par->codec_id < AV_CODEC_ID_ADPCM_IMA_QT && desc &&
        (desc->props & AV_CODEC_PROP_LOSSLESS) && av_get_bits_per_sample(par->codec_id) % 8 == 0 &&
        av_get_bits_per_sample(par->codec_id) > 0 && par->codec_id != AV_CODEC_ID_PCM_ALAW &&
        par->codec_id != AV_CODEC_ID_PCM_MULAW)
        return wav::kWaveFormatPcm;
    const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    return static_cast<uint16_t>(av_codec_get_tag(tables, par->codec_id));
}

int bitsOf(const AVCodecParameters* par, uint16_t tag) {
    if (tag == wav::kWaveFormatIeeeFloat) return av_get_bits_per_sample(par->codec_id);
    if (tag == wav::kWaveFormatPcm) return av_get_bits_per_sample(par->codec_id);
    if (tag == wav::kWaveFormatAac) return 16;
    if (par->bits_per_raw_sample > 0) return par->bits_per_raw_sample;
    return par->bits_per_coded_sample > 0 ? par->bits_per_coded_sample : 0;
}
}  // namespace

AudioFileInfo inspectAudioFile(const std::string& path) {
    keepFfmpegQuiet();
    AudioFileInfo info;
    AVFormatContext* ctx = nullptr;
    if (openLocalMediaInput(&ctx, path) < 0) return info;
    if (avformat_find_stream_info(ctx, nullptr) >= 0) {
        for (unsigned i = 0; i < ctx->nb_streams; ++i) {
            const AVStream* st = ctx->streams[i];
            const AVCodecParameters* par = st->codecpar;
            if (par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
            double seconds = -1;
            if (ctx->duration != AV_NOPTS_VALUE && ctx->duration > 0)
                seconds = ctx->duration / static_cast<double>(AV_TIME_BASE);
            else if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
                seconds = st->duration * av_q2d(st->time_base);
            const int channels = par->ch_layout.nb_channels;
            if (seconds < 0 || channels <= 0 || par->sample_rate <= 0) break;
            wav::WaveFormat& f = info.format;
            f.formatTag = waveTag(par);
            f.channels = static_cast<uint16_t>(channels);
            f.sampleRate = static_cast<uint32_t>(par->sample_rate);
            f.bitsPerSample = static_cast<uint16_t>(bitsOf(par, f.formatTag));
            if (f.formatTag == wav::kWaveFormatPcm || f.formatTag == wav::kWaveFormatIeeeFloat) {
                f.blockAlign = static_cast<uint16_t>(f.bitsPerSample / 8 * channels);
                f.avgBytesPerSec = f.blockAlign * f.sampleRate;
            } else {
                int64_t bitRate = par->bit_rate > 0 ? par->bit_rate : ctx->bit_rate;
                f.avgBytesPerSec = bitRate > 0 ? static_cast<uint32_t>(bitRate / 8) : 0;
                f.blockAlign = static_cast<uint16_t>(par->block_align);
            }
            info.duration = static_cast<float>(seconds);
            info.readable = true;
            break;
        }
    }
    avformat_close_input(&ctx);
    return info;
}

std::string formatName(uint16_t tag) {
    switch (tag) {
    case wav::kWaveFormatPcm:
    case wav::kWaveFormatIeeeFloat: return "PCM";
    case wav::kWaveFormatMp3: return "MP3";
    case wav::kWaveFormatAac: return "AAC";
    }
    char text[8];
    snprintf(text, sizeof text, "0x%04X", tag);
    return text;
}
