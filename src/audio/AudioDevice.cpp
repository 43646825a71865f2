#include "audio/AudioDevice.h"

#include "audio/SoundServer.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace {
// Reconnects wait 2 s, doubling after each failure up to 30 s; a connection resets the wait.
constexpr pa_usec_t kFirstRetry = 2 * PA_USEC_PER_SEC;
constexpr pa_usec_t kLongestRetry = 30 * PA_USEC_PER_SEC;
}

AudioDevice::AudioDevice() {
    loop_ = pa_threaded_mainloop_new();
    if (!loop_) return;
    pa_threaded_mainloop_set_name(loop_, "audio-endpoints");
    pa_threaded_mainloop_lock(loop_);
    connect();
    pa_threaded_mainloop_unlock(loop_);
    if (pa_threaded_mainloop_start(loop_) < 0) {
        if (context_) pa_context_unref(context_);
        context_ = nullptr;
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }
}

AudioDevice::~AudioDevice() {
    setDelegate(nullptr);
    if (!loop_) return;
    pa_threaded_mainloop_stop(loop_);
    closeSoundServerContext(context_);
    pa_threaded_mainloop_free(loop_);
}

void AudioDevice::setDelegate(AudioDeviceDelegate* delegate) {
    std::lock_guard<std::mutex> lock(delegateMutex_);
    delegate_ = delegate;
}

bool AudioDevice::connected() const {
    if (!loop_) return false;
    pa_threaded_mainloop_lock(loop_);
    bool ready = ready_;
    pa_threaded_mainloop_unlock(loop_);
    return ready;
}

void AudioDevice::connect() {
    closeSoundServerContext(context_);
    ready_ = false;
    ++attempts_;
    context_ = connectSoundServerContext(pa_threaded_mainloop_get_api(loop_), "Tarn endpoint watcher",
                                         &AudioDevice::onState, this);
    if (!context_) scheduleRetry();
}

void AudioDevice::scheduleRetry() {
    // A failed connect can be reported twice (by pa_context_connect and by the state
    // callback): only one reconnect is ever pending.
    if (retryPending_) return;
    if (retryDelay_ == 0) retryDelay_ = kFirstRetry;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    struct timeval when;
    pa_gettimeofday(&when);
    pa_timeval_add(&when, retryDelay_);
    retryDelay_ = std::min<uint64_t>(retryDelay_ * 2, kLongestRetry);
    pa_time_event* event = api->time_new(
        api, &when,
        [](pa_mainloop_api* a, pa_time_event* event, const struct timeval*, void* data) {
            a->time_free(event);
            auto* self = static_cast<AudioDevice*>(data);
            self->retryPending_ = false;
            self->connect();
        },
        this);
    retryPending_ = event != nullptr;
}

void AudioDevice::onState(pa_context* context, void* data) {
    auto* self = static_cast<AudioDevice*>(data);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
        self->ready_ = true;
        self->retryDelay_ = 0;
        self->sinks_.clear();
        self->sources_.clear();
        pa_context_set_subscribe_callback(
            context,
            [](pa_context* c, pa_subscription_event_type_t t, uint32_t index, void* s) {
                AudioDevice::onEvent(c, static_cast<int>(t), index, s);
            },
            self);
        pa_operation_unref(pa_context_subscribe(
            context,
            static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE |
                                                PA_SUBSCRIPTION_MASK_SERVER),
            nullptr, nullptr));
        // Learn the names present now; a server that comes back after a loss, or that was
        // not there when the watcher started, has new endpoints.
        const bool report = self->everConnected_ || self->attempts_ > 1;
        self->everConnected_ = true;
        pa_operation_unref(pa_context_get_sink_info_list(
            context,
            [](pa_context*, const pa_sink_info* i, int eol, void* s) {
                if (!eol && i) static_cast<AudioDevice*>(s)->sinks_[i->index] = i->name;
            },
            self));
        pa_operation_unref(pa_context_get_source_info_list(
            context,
            [](pa_context*, const pa_source_info* i, int eol, void* s) {
                if (!eol && i) static_cast<AudioDevice*>(s)->sources_[i->index] = i->name;
            },
            self));
        self->defaultsKnown_ = false;
        self->refreshDefaults(false);
        if (report) self->notifyAddedRemoved("", kStateActive);
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        if (self->ready_) {
            self->ready_ = false;
            self->notifyAddedRemoved("", kStateNotPresent);
        }
        self->scheduleRetry();
        break;
    default: break;
    }
}

void AudioDevice::onEvent(pa_context* context, int type, uint32_t index, void* data) {
    auto* self = static_cast<AudioDevice*>(data);
    const int facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const int kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
        self->refreshDefaults(true);
        return;
    }
    const bool sink = facility == PA_SUBSCRIPTION_EVENT_SINK;
    if (!sink && facility != PA_SUBSCRIPTION_EVENT_SOURCE) return;
    if (kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
        self->removed(sink, index);
    } else if (kind == PA_SUBSCRIPTION_EVENT_NEW) {
        if (sink)
            pa_operation_unref(pa_context_get_sink_info_by_index(
                context, index,
                [](pa_context*, const pa_sink_info* i, int eol, void* s) {
                    if (!eol && i) static_cast<AudioDevice*>(s)->added(true, i->name, i->index);
                },
                self));
        else
            pa_operation_unref(pa_context_get_source_info_by_index(
                context, index,
                [](pa_context*, const pa_source_info* i, int eol, void* s) {
                    if (!eol && i) static_cast<AudioDevice*>(s)->added(false, i->name, i->index);
                },
                self));
    }
}

void AudioDevice::added(bool sink, const std::string& name, uint32_t index) {
    (sink ? sinks_ : sources_)[index] = name;
    notifyAddedRemoved(name, kStateActive);
}

void AudioDevice::removed(bool sink, uint32_t index) {
    auto& names = sink ? sinks_ : sources_;
    std::string name;
    auto it = names.find(index);
    if (it != names.end()) {
        name = it->second;
        names.erase(it);
    }
    notifyAddedRemoved(name, kStateNotPresent);
}

template <bool Report>
void AudioDevice::onServerInfo(pa_context*, const pa_server_info* info, void* self) {
    if (info) static_cast<AudioDevice*>(self)->learnDefaults(info, Report);
}

void AudioDevice::refreshDefaults(bool report) {
    pa_operation* op =
        pa_context_get_server_info(context_, report ? onServerInfo<true> : onServerInfo<false>, this);
    if (op) pa_operation_unref(op);
}

void AudioDevice::learnDefaults(const pa_server_info* info, bool report) {
    std::string sink = info->default_sink_name ? info->default_sink_name : "";
    std::string source = info->default_source_name ? info->default_source_name : "";
    const bool known = defaultsKnown_;
    if (known && report && sink != defaultSink_) notifyDefault(0, sink);
    if (known && report && source != defaultSource_) notifyDefault(1, source);
    defaultSink_ = sink;
    defaultSource_ = source;
    defaultsKnown_ = true;
}

void AudioDevice::notifyAddedRemoved(const std::string& id, uint32_t state) {
    std::lock_guard<std::mutex> lock(delegateMutex_);
    if (delegate_) delegate_->audioObjectAddedRemoved(id, state);
}

void AudioDevice::notifyDefault(int flow, const std::string& id) {
    std::lock_guard<std::mutex> lock(delegateMutex_);
    if (delegate_) delegate_->audioObjectDefaultChanged(flow, 1, id);
}
