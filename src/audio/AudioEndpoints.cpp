#include "audio/AudioEndpoints.h"

#include "audio/SoundServer.h"

#include <pulse/pulseaudio.h>

#include <chrono>

namespace {

constexpr auto kTimeout = std::chrono::seconds(3);

struct Query {
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    std::string defaultSink, defaultSource;
    std::vector<AudioDeviceInfo> devices;
    int pending = 0;  // operations not yet answered
    bool failed = false;
};

uint16_t bitsOf(pa_sample_format_t format) {
    size_t bytes = pa_sample_size_of_format(format);
    return static_cast<uint16_t>(format == PA_SAMPLE_S24_32LE || format == PA_SAMPLE_S24_32BE ? 24 : bytes * 8);
}

AudioDeviceInfo infoOf(const char* name, const char* description, const pa_sample_spec& sampleFormat) {
    AudioDeviceInfo info;
    info.uid = name ? name : "";
    info.name = description ? description : info.uid;
    info.sampleRate = sampleFormat.rate;
    info.channels = sampleFormat.channels;
    info.bitDepth = pa_sample_format_valid(sampleFormat.format) ? bitsOf(sampleFormat.format) : 0;
    return info;
}

void onServer(pa_context*, const pa_server_info* server, void* data) {
    auto* q = static_cast<Query*>(data);
    if (server) {
        q->defaultSink = server->default_sink_name ? server->default_sink_name : "";
        q->defaultSource = server->default_source_name ? server->default_source_name : "";
    }
    --q->pending;
}

void onSink(pa_context*, const pa_sink_info* sink, int eol, void* data) {
    auto* q = static_cast<Query*>(data);
    if (eol) {
        if (eol < 0) q->failed = true;
        --q->pending;
        return;
    }
    q->devices.push_back(infoOf(sink->name, sink->description, sink->sample_spec));
}

void onSource(pa_context*, const pa_source_info* source, int eol, void* data) {
    auto* q = static_cast<Query*>(data);
    if (eol) {
        if (eol < 0) q->failed = true;
        --q->pending;
        return;
    }
    if (source->monitor_of_sink != PA_INVALID_INDEX) return;
    q->devices.push_back(infoOf(source->name, source->description, source->sample_spec));
}

// Runs the loop until done() or the time is up; false on time-out or a failed context.
template <class Done>
bool iterateUntil(Query& q, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    while (!done()) {
        pa_context_state_t state = pa_context_get_state(q.context);
        if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) return false;
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (pa_mainloop_prepare(q.loop, 100 * 1000) < 0 || pa_mainloop_poll(q.loop) < 0 ||
            pa_mainloop_dispatch(q.loop) < 0)
            return false;
    }
    return true;
}

}  // namespace

std::vector<AudioDeviceInfo> listAudioEndpoints(AudioDirection direction) {
    Query q;
    q.loop = pa_mainloop_new();
    if (!q.loop) return {};
    q.context = connectSoundServerContext(pa_mainloop_get_api(q.loop), "Tarn", nullptr, nullptr);
    std::vector<AudioDeviceInfo> result;
    if (q.context && iterateUntil(q, [&] { return pa_context_get_state(q.context) == PA_CONTEXT_READY; })) {
        q.pending = 2;
        pa_operation* ops[2] = {
            pa_context_get_server_info(q.context, onServer, &q),
            direction == AudioDirection::Render ? pa_context_get_sink_info_list(q.context, onSink, &q)
                                                : pa_context_get_source_info_list(q.context, onSource, &q)};
        bool answered = ops[0] && ops[1] && iterateUntil(q, [&] { return q.pending <= 0; });
        for (pa_operation* op : ops) {
            if (op) pa_operation_unref(op);
        }
        if (answered && !q.failed) {
            const std::string& current = direction == AudioDirection::Render ? q.defaultSink : q.defaultSource;
            for (auto& device : q.devices) device.current = device.uid == current;
            result = std::move(q.devices);
        }
    }
    closeSoundServerContext(q.context);
    pa_mainloop_free(q.loop);
    return result;
}
