#include "audio/SamplePlayerOutput.h"

#include "audio/SoundServer.h"

#include <pulse/pulseaudio.h>

namespace {

struct SinkQuery {
    pa_threaded_mainloop* loop = nullptr;
    bool done = false;
    bool found = false;
    std::string name;
    pa_sample_spec sampleFormat{};
    pa_channel_map map{};
};

}  // namespace

SamplePlayerOutput::~SamplePlayerOutput() { close(); }

bool SamplePlayerOutput::open(const std::string& sinkName) {
    close();
    interrupted_ = false;
    underruns_ = 0;
    loop_ = pa_threaded_mainloop_new();
    if (!loop_) return false;
    pa_threaded_mainloop_set_name(loop_, "sample-output");
    if (pa_threaded_mainloop_start(loop_) < 0) {
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
        return false;
    }
    pa_threaded_mainloop_lock(loop_);
    bool ok = connectContext();
    // A chosen sink that is not there gives way to the default one.
    const bool chosen = ok && !sinkName.empty() && learnSink(sinkName);
    if (ok && !chosen) ok = learnSink("@DEFAULT_SINK@");
    // A chosen sink holds its stream: the server must not take it along to a new default.
    if (ok) ok = connectStream(sink_, chosen);
    pa_threaded_mainloop_unlock(loop_);
    if (!ok) close();
    return ok;
}

bool SamplePlayerOutput::connectContext() {
    context_ = connectSoundServerContext(
        pa_threaded_mainloop_get_api(loop_), "Tarn sampler",
        [](pa_context*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); }, loop_);
    if (!context_) return false;
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY) return true;
        if (!PA_CONTEXT_IS_GOOD(state)) return false;
        pa_threaded_mainloop_wait(loop_);
    }
}

bool SamplePlayerOutput::learnSink(const std::string& name) {
    SinkQuery query;
    query.loop = loop_;
    pa_operation* op = pa_context_get_sink_info_by_name(
        context_, name.c_str(),
        [](pa_context*, const pa_sink_info* info, int eol, void* data) {
            auto* q = static_cast<SinkQuery*>(data);
            if (!eol && info) {
                q->found = true;
                q->name = info->name;
                q->sampleFormat = info->sample_spec;
                q->map = info->channel_map;
            }
            if (eol) {
                q->done = true;
                pa_threaded_mainloop_signal(q->loop, 0);
            }
        },
        &query);
    if (!op) return false;
    while (!query.done && pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop_);
    pa_operation_unref(op);
    if (!query.found || query.sampleFormat.channels < 1 || query.sampleFormat.rate < 1) return false;
    sink_ = query.name;
    channels_ = query.sampleFormat.channels;
    rate_ = static_cast<int>(query.sampleFormat.rate);
    periodFrames_ = static_cast<uint32_t>(rate_ * kPeriodSeconds);
    if (periodFrames_ == 0) periodFrames_ = 1;
    return true;
}

bool SamplePlayerOutput::connectStream(const std::string& device, bool fixed) {
    pa_sample_spec sampleFormat;
    sampleFormat.format = PA_SAMPLE_S16LE;
    sampleFormat.channels = static_cast<uint8_t>(channels_);
    sampleFormat.rate = static_cast<uint32_t>(rate_);
    pa_channel_map map;
    pa_channel_map_init_auto(&map, sampleFormat.channels, PA_CHANNEL_MAP_DEFAULT);
    stream_ = pa_stream_new(context_, "Sample", &sampleFormat, &map);
    if (!stream_) return false;
    auto signal = [](pa_stream*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); };
    pa_stream_set_state_callback(stream_, signal, loop_);
    pa_stream_set_write_callback(
        stream_, [](pa_stream*, size_t, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); },
        loop_);
    pa_stream_set_underflow_callback(
        stream_, [](pa_stream*, void* self) { ++static_cast<SamplePlayerOutput*>(self)->underruns_; }, this);
    const uint32_t periodBytes = periodFrames_ * channels_ * 2;
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = periodBytes * kPeriods;
    attr.prebuf = periodBytes * 2;
    attr.minreq = periodBytes;
    attr.fragsize = static_cast<uint32_t>(-1);
    const pa_stream_flags_t flags = fixed ? PA_STREAM_DONT_MOVE : PA_STREAM_NOFLAGS;
    if (pa_stream_connect_playback(stream_, device.c_str(), &attr, flags, nullptr, nullptr) < 0) return false;
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        if (state == PA_STREAM_READY) return true;
        if (!PA_STREAM_IS_GOOD(state)) return false;
        pa_threaded_mainloop_wait(loop_);
    }
}

bool SamplePlayerOutput::waitForRoom() {
    if (!stream_) return false;
    const size_t periodBytes = static_cast<size_t>(periodFrames_) * channels_ * 2;
    pa_threaded_mainloop_lock(loop_);
    bool ok = false;
    for (;;) {
        if (interrupted_ || pa_stream_get_state(stream_) != PA_STREAM_READY) break;
        const size_t room = pa_stream_writable_size(stream_);
        if (room == static_cast<size_t>(-1)) break;
        if (room >= periodBytes) {
            ok = true;
            break;
        }
        pa_threaded_mainloop_wait(loop_);
    }
    pa_threaded_mainloop_unlock(loop_);
    return ok;
}

bool SamplePlayerOutput::write(const int16_t* samples, uint32_t frames) {
    if (!stream_) return false;
    pa_threaded_mainloop_lock(loop_);
    const int rc = pa_stream_write(stream_, samples, static_cast<size_t>(frames) * channels_ * 2, nullptr, 0,
                                   PA_SEEK_RELATIVE);
    pa_threaded_mainloop_unlock(loop_);
    return rc == 0;
}

void SamplePlayerOutput::interrupt() {
    interrupted_ = true;
    if (!loop_) return;
    pa_threaded_mainloop_lock(loop_);
    pa_threaded_mainloop_signal(loop_, 0);
    pa_threaded_mainloop_unlock(loop_);
}

void SamplePlayerOutput::close() {
    if (!loop_) return;
    pa_threaded_mainloop_lock(loop_);
    if (stream_) {
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    if (context_) {
        closeSoundServerContext(context_);
        context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
}
