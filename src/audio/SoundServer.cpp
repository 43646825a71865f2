#include "audio/SoundServer.h"

#include <pulse/subscribe.h>

#include <cstdlib>
#include <unistd.h>

std::string soundServerAddress() {
    if (std::getenv("PULSE_SERVER") || std::getenv("XDG_RUNTIME_DIR")) return std::string();
    return "unix:/run/user/" + std::to_string(getuid()) + "/pulse/native unix:/var/run/pulse/native";
}

pa_context* connectSoundServerContext(pa_mainloop_api* api, const char* name, pa_context_notify_cb_t onState,
                                      void* data) {
    pa_context* context = pa_context_new(api, name);
    if (!context) return nullptr;
    pa_context_set_state_callback(context, onState, data);
    const std::string server = soundServerAddress();
    if (pa_context_connect(context, server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        closeSoundServerContext(context);
        return nullptr;
    }
    return context;
}

void closeSoundServerContext(pa_context* context) {
    if (!context) return;
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_set_subscribe_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
}

pa_simple* openSoundServerStream(pa_stream_direction_t direction, const std::string& device, const char* streamName,
                                 const pa_sample_spec* format, const pa_buffer_attr* buffering) {
    const std::string server = soundServerAddress();
    return pa_simple_new(server.empty() ? nullptr : server.c_str(), "Tarn", direction,
                         device.empty() ? nullptr : device.c_str(), streamName, format, nullptr, buffering, nullptr);
}
