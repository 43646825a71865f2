#pragma once

#include <jack/jack.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// A JACK client with one MIDI input port ("<name>:in") that records every message arriving
// there with its arrival time (microseconds on JACK's clock, to the cycle).
class JackCapture {
public:
    struct Message {
        uint64_t time;
        std::string bytes;
    };

    explicit JackCapture(const std::string& name);
    ~JackCapture();
    JackCapture(const JackCapture&) = delete;
    JackCapture& operator=(const JackCapture&) = delete;

    std::vector<Message> messages();
    void clear();
    // Waits until the messages recorded so far satisfy done; false after the timeout.
    bool waitFor(const std::function<bool(const std::vector<Message>&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    static int process(jack_nframes_t frames, void* self);

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::mutex mutex_;
    std::vector<Message> messages_;
};

// The messages whose first byte is status, in order.
std::vector<JackCapture::Message> withStatus(const std::vector<JackCapture::Message>& messages, int status);
