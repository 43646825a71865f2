#include "SimPorts.h"

#include <jack/jack.h>
#include <jack/midiport.h>

namespace {

class JackPorts : public SimPorts {
public:
    JackPorts(jack_client_t* client, Inbox& inbox) : client_(client), inbox_(inbox) {}
    ~JackPorts() override {
        jack_deactivate(client_);
        jack_client_close(client_);
    }

    bool start(std::string& error) {
        in_ = jack_port_register(client_, "MIDI In", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        out_ = jack_port_register(client_, "MIDI Out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        if (!in_ || !out_) {
            error = "cannot register the JACK ports";
            return false;
        }
        jack_set_process_callback(client_, process, this);
        if (jack_activate(client_) != 0) {
            error = "cannot activate the JACK client";
            return false;
        }
        return true;
    }

    void send(const std::vector<uint8_t>& message) override {
        std::lock_guard<std::mutex> lock(mutex_);
        outbox_.push_back(message);
    }

private:
    static int process(jack_nframes_t frames, void* self) {
        static_cast<JackPorts*>(self)->cycle(frames);
        return 0;
    }

    void cycle(jack_nframes_t frames) {
        void* in = jack_port_get_buffer(in_, frames);
        jack_nframes_t count = jack_midi_get_event_count(in);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, in, i) == 0 && event.size > 0)
                inbox_.push(std::vector<uint8_t>(event.buffer, event.buffer + event.size));
        }
        void* out = jack_port_get_buffer(out_, frames);
        jack_midi_clear_buffer(out);
        std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        if (!lock.owns_lock()) return;  // next cycle
        while (!outbox_.empty()) {
            const auto& message = outbox_.front();
            if (jack_midi_event_write(out, 0, message.data(), message.size()) != 0) break;
            outbox_.pop_front();
        }
    }

    jack_client_t* client_;
    Inbox& inbox_;
    jack_port_t* in_ = nullptr;
    jack_port_t* out_ = nullptr;
    std::mutex mutex_;
    std::deque<std::vector<uint8_t>> outbox_;
};

}  // namespace

std::unique_ptr<SimPorts> openJackPorts(const std::string& name, Inbox& inbox, std::string& error) {
    jack_status_t status;
    jack_client_t* client =
        jack_client_open(name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName), &status);
    if (!client) {
        error = (status & JackNameNotUnique) ? "a JACK client of that name exists" : "no JACK server";
        return nullptr;
    }
    auto ports = std::make_unique<JackPorts>(client, inbox);
    if (!ports->start(error)) return nullptr;
    return ports;
}
