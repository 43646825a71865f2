#include "midi/JackMIDIPorts.h"

#include "midi/MIDIDeliveryGate.h"
#include "midi/MIDIEventAssembler.h"
#include "midi/MIDISystem.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace JackMIDIPorts {

namespace {

// A JACK server listens on a socket in /dev/shm named after the server and the user. Asking
// that socket first spares libjack's client set-up when nothing listens: that set-up opens
// the shared metadata database, which can stall for many seconds on a database left behind
// by a process that died holding its lock.
bool serverSocketAnswers() {
    const char* server = std::getenv("JACK_DEFAULT_SERVER");
    if (!server || !*server) server = "default";
    std::string path = "/dev/shm/jack_" + std::string(server) + "_" + std::to_string(getuid()) + "_0";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return true;  // let libjack decide
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;
    bool answers = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answers;
}

jack_client_t* openClient() {
    if (!serverSocketAnswers()) return nullptr;
    jack_status_t status;
    // The server numbers repeated names ("Tarn-01"), which the lists still know as Tarn's own.
    return jack_client_open(MIDISystem::clientName().c_str(), JackNoStartServer, &status);
}

// Ends a client: jack_deactivate returns once the server has taken it out of the graph
// and its process thread is stopped; jack_client_close then frees it.
void closeClient(jack_client_t* client) {
    if (!client) return;
    jack_deactivate(client);
    jack_client_close(client);
}

// The listing client: active (so that it hears of its server's shutdown) but with no process
// callback, which costs the server nothing per cycle.
class Lister {
public:
    std::vector<std::string> names(bool destinations) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (client_ && gone_.load()) {
            jack_client_close(client_);
            client_ = nullptr;
        }
        if (!client_) open();
        std::vector<std::string> names;
        if (!client_) return names;
        const char** ports =
            jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, destinations ? JackPortIsInput : JackPortIsOutput);
        for (const char** port = ports; port && *port; ++port) names.emplace_back(*port);
        if (ports) jack_free(ports);
        return names;
    }

private:
    void open() {
        gone_.store(false);
        client_ = openClient();
        if (!client_) return;
        jack_on_shutdown(client_, onShutdown, this);
        if (jack_activate(client_) != 0) {
            jack_client_close(client_);
            client_ = nullptr;
        }
    }
    static void onShutdown(void* self) { static_cast<Lister*>(self)->gone_.store(true); }

    std::mutex mutex_;
    jack_client_t* client_ = nullptr;
    std::atomic<bool> gone_{false};
};

// Common to both directions: the client, its one port and the connection to the device.
class Connection {
protected:
    ~Connection() { closeClient(client_); }

    // Opens the client, registers the port, sets the process callback and activates; the
    // caller then connects. False (with whatever was made left for the destructor) on failure.
    bool start(const std::string& portName, unsigned long flags, JackProcessCallback process, void* self) {
        client_ = openClient();
        if (!client_) return false;
        port_ = jack_port_register(client_, portName.c_str(), JACK_DEFAULT_MIDI_TYPE, flags, 0);
        if (!port_) return false;
        jack_set_process_callback(client_, process, self);
        jack_on_shutdown(client_, onShutdown, this);
        return jack_activate(client_) == 0;
    }
    bool connect(const std::string& source, const std::string& destination) {
        return jack_connect(client_, source.c_str(), destination.c_str()) == 0;
    }
    // Stops the process callback for good (see the header); the buffers may go afterwards.
    void stop() {
        closeClient(client_);
        client_ = nullptr;
    }
    const char* portName() const { return jack_port_name(port_); }

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::atomic<bool> serverGone_{false};

private:
    static void onShutdown(void* self) { static_cast<Connection*>(self)->serverGone_.store(true); }
};

class Input final : public MIDISystem::Input, private Connection {
public:
    explicit Input(MIDISystem::Receiver receiver) : receiver_(std::move(receiver)) {}
    ~Input() override {
        gate_.shut();
        stop();
    }

    bool open(const std::string& source) {
        return start(MIDISystem::clientName() + " in", JackPortIsInput, process, this) && connect(source, portName());
    }

private:
    static int process(jack_nframes_t frames, void* self) {
        static_cast<Input*>(self)->cycle(frames);
        return 0;
    }

    void cycle(jack_nframes_t frames) {
        void* buffer = jack_port_get_buffer(port_, frames);
        if (!gate_.enter()) return;
        jack_nframes_t count = jack_midi_get_event_count(buffer);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) == 0) assembler_.take(event.buffer, event.size, receiver_);
        }
        gate_.leave();
    }

    MIDISystem::Receiver receiver_;
    MIDIDeliveryGate gate_;
    MIDIEventAssembler assembler_;  // process thread only
};

class Output final : public MIDISystem::Output, private Connection {
public:
    // Room for a few hundred messages; one cycle of the server empties it.
    static constexpr size_t kRingSize = 1 << 16;
    static constexpr size_t kHeader = sizeof(uint32_t);
    // How long a writer waits for room before it reports the connection as failing.
    static constexpr std::chrono::milliseconds kRoomWait{500};
    // How long a close waits for the server to take what is still queued.
    static constexpr std::chrono::milliseconds kDrainWait{1000};

    Output() : ring_(jack_ringbuffer_create(kRingSize)) {}
    ~Output() override {
        if (ring_ && client_) drain();
        stop();
        jack_ringbuffer_free(ring_);
    }

    bool open(const std::string& destination) {
        return ring_ && start(MIDISystem::clientName() + " out", JackPortIsOutput, process, this) &&
               connect(portName(), destination);
    }

    int send(const uint8_t* data, size_t length) override {
        if (length == 0) return 0;
        size_t largest = largestEvent_.load();
        if (length + kHeader >= kRingSize || (largest != 0 && length > largest)) return MIDISystem::kSendDriverError;
        std::lock_guard<std::mutex> lock(writer_);  // the ring buffer takes one writer at a time
        auto deadline = std::chrono::steady_clock::now() + kRoomWait;
        while (jack_ringbuffer_write_space(ring_) < kHeader + length) {
            if (serverGone_.load() || std::chrono::steady_clock::now() > deadline) return MIDISystem::kSendDriverError;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (serverGone_.load()) return MIDISystem::kSendDriverError;
        // Length and bytes become readable together, with one advance of the write pointer.
        uint32_t size = static_cast<uint32_t>(length);
        put(0, reinterpret_cast<const uint8_t*>(&size), kHeader);
        put(kHeader, data, length);
        jack_ringbuffer_write_advance(ring_, kHeader + length);
        return 0;
    }

private:
    // The last messages before a close (a device's edit mode switched off just before the
    // program ends) still go out: the next cycles take them from the queue, and the cycle
    // that took the last of them has ended, so the device's port has been handed them. A
    // deactivated client runs no further cycle, so without this wait they were lost whenever
    // the close came before the server's next cycle. Not waited for: a server that is gone,
    // or a connection the device's side has dropped (its queue is thrown away).
    void drain() {
        auto deadline = std::chrono::steady_clock::now() + kDrainWait;
        auto waitable = [&] {
            return !serverGone_.load() && !dropped_.load() && std::chrono::steady_clock::now() < deadline;
        };
        while (jack_ringbuffer_read_space(ring_) > 0 && waitable())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const unsigned long emptied = cycles_.load();
        while (cycles_.load() == emptied && waitable()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // Copies bytes to the write area at offset, across its wrap.
    void put(size_t offset, const uint8_t* bytes, size_t length) {
        jack_ringbuffer_data_t area[2];
        jack_ringbuffer_get_write_vector(ring_, area);
        for (jack_ringbuffer_data_t& part : area) {
            if (offset >= part.len) {
                offset -= part.len;
                continue;
            }
            size_t n = std::min(length, part.len - offset);
            std::memcpy(part.buf + offset, bytes, n);
            bytes += n;
            length -= n;
            offset = 0;
            if (length == 0) return;
        }
    }

    static int process(jack_nframes_t frames, void* self) {
        static_cast<Output*>(self)->cycle(frames);
        return 0;
    }

    void cycle(jack_nframes_t frames) {
        void* buffer = jack_port_get_buffer(port_, frames);
        jack_midi_clear_buffer(buffer);
        largestEvent_.store(jack_midi_max_event_size(buffer));
        route(buffer);
        cycles_.fetch_add(1);
    }

    // Moves what is queued to the port buffer. jack_connect returns before the server's graph
    // carries the connection, and whatever a cycle wrote to the port before then went nowhere:
    // until the connection is there, the queue waits. Once the device's side has dropped the
    // connection, what is queued is thrown away, as an unconnected port would. In the process
    // callback jack_port_connected reads the graph the cycle runs on, and takes no lock.
    void route(void* buffer) {
        if (jack_port_connected(port_) <= 0) {
            if (!connected_) return;
            dropped_.store(true);
            jack_ringbuffer_read_advance(ring_, jack_ringbuffer_read_space(ring_));
            return;
        }
        connected_ = true;
        dropped_.store(false);
        uint32_t size;
        while (jack_ringbuffer_peek(ring_, reinterpret_cast<char*>(&size), kHeader) == kHeader) {
            jack_midi_data_t* slot = jack_midi_event_reserve(buffer, 0, size);
            if (!slot) {
                // The port buffer is full: the rest goes next cycle. A message that does not
                // fit even an empty one (written before the first cycle told send() the limit)
                // can never go, and would hold up everything behind it.
                if (jack_midi_get_event_count(buffer) != 0) return;
                jack_ringbuffer_read_advance(ring_, kHeader + size);
                continue;
            }
            jack_ringbuffer_read_advance(ring_, kHeader);
            jack_ringbuffer_read(ring_, reinterpret_cast<char*>(slot), size);
        }
    }

    jack_ringbuffer_t* ring_;
    std::mutex writer_;
    bool connected_ = false;               // process thread only: the graph has carried the connection
    std::atomic<bool> dropped_{false};     // it did, and carries it no more
    std::atomic<unsigned long> cycles_{0};  // process cycles ended
    // The largest event an empty port buffer takes, as the last cycle found it (0: no cycle yet).
    std::atomic<size_t> largestEvent_{0};
};

}  // namespace

namespace {
void quiet(const char*) {}
}

void keepQuiet() {
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
}

std::vector<std::string> portNames(bool destinations) {
    // Made on first use and kept for the life of the process.
    static Lister* lister = new Lister;
    return lister->names(destinations);
}

std::unique_ptr<MIDISystem::Input> openInput(const std::string& source, MIDISystem::Receiver receiver) {
    auto input = std::make_unique<Input>(std::move(receiver));
    if (!input->open(source)) return nullptr;
    return input;
}

std::unique_ptr<MIDISystem::Output> openOutput(const std::string& destination) {
    auto output = std::make_unique<Output>();
    if (!output->open(destination)) return nullptr;
    return output;
}

}  // namespace JackMIDIPorts
