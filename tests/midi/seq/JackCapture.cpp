#include "JackCapture.h"

#include <jack/midiport.h>

#include <stdexcept>
#include <thread>

JackCapture::JackCapture(const std::string& name) {
    jack_status_t status;
    client_ = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (!client_) throw std::runtime_error("the capture client could not open");
    port_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client_, &JackCapture::process, this);
    if (!port_ || jack_activate(client_) != 0) throw std::runtime_error("the capture client could not start");
}

JackCapture::~JackCapture() {
    jack_deactivate(client_);
    jack_client_close(client_);
}

int JackCapture::process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JackCapture*>(arg);
    void* buffer = jack_port_get_buffer(self->port_, frames);
    // The time the cycle runs (the dummy backend's frame clock drifts from the system clock).
    uint64_t now = jack_get_time();
    uint32_t count = jack_midi_get_event_count(buffer);
    std::lock_guard<std::mutex> lock(self->mutex_);
    for (uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0) continue;
        self->messages_.push_back(Message{now, std::string(reinterpret_cast<const char*>(event.buffer), event.size)});
    }
    return 0;
}

std::vector<JackCapture::Message> JackCapture::messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

void JackCapture::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
}

bool JackCapture::waitFor(const std::function<bool(const std::vector<Message>&)>& done,
                          std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done(messages())) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::vector<JackCapture::Message> withStatus(const std::vector<JackCapture::Message>& messages, int status) {
    std::vector<JackCapture::Message> found;
    for (const auto& message : messages)
        if (!message.bytes.empty() && uint8_t(message.bytes[0]) == status) found.push_back(message);
    return found;
}
