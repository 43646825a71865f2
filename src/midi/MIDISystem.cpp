#include "midi/MIDISystem.h"

#include <jack/jack.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <strings.h>
#include <unistd.h>

namespace MIDISystem {

namespace {

void quiet(const char*) {}

bool alsaSequencerOpens() {
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) return false;
    try {
        RtMidiIn probe(RtMidi::LINUX_ALSA, clientName());
        return true;
    } catch (const RtMidiError&) {
        return false;
    }
}

RtMidi::Api chooseApi() {
    // libjack reports a missing server on stderr; Tarn keeps quiet and just lists nothing.
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    const char* wanted = std::getenv("TARN_MIDI_API");
    if (wanted && strcasecmp(wanted, "jack") == 0) return RtMidi::UNIX_JACK;
    if (wanted && strcasecmp(wanted, "alsa") == 0) return RtMidi::LINUX_ALSA;
    return alsaSequencerOpens() ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
}

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

}  // namespace

RtMidi::Api api() {
    static const RtMidi::Api chosen = chooseApi();
    return chosen;
}

const std::string& clientName() {
    static const std::string name = "Tarn";
    return name;
}

bool isOwnClient(const std::string& deviceName) {
    const std::string& own = clientName();
    if (deviceName.compare(0, own.size(), own) != 0) return false;
    if (deviceName.size() == own.size()) return true;
    if (deviceName[own.size()] != '-' || deviceName.size() == own.size() + 1) return false;
    for (size_t i = own.size() + 1; i < deviceName.size(); ++i)
        if (deviceName[i] < '0' || deviceName[i] > '9') return false;
    return true;
}

void requireServer() {
    if (api() != RtMidi::UNIX_JACK) return;
    // A client of our own that asks not to start a server: opening it is the only sure
    // test that one runs (and answers), and it costs a failed socket connect when none does.
    if (!serverSocketAnswers()) throw RtMidiError("no JACK server is running", RtMidiError::NO_DEVICES_FOUND);
    jack_status_t status;
    jack_client_t* probe = jack_client_open((clientName() + "-probe").c_str(), JackNoStartServer, &status);
    if (!probe) throw RtMidiError("no JACK server is running", RtMidiError::NO_DEVICES_FOUND);
    jack_client_close(probe);
}

void recordError(RtMidiError::Type type, const std::string&, void* record) {
    static_cast<std::atomic<int>*>(record)->store(static_cast<int>(type));
}

std::vector<ListedPort> listPorts(RtMidi& midi, bool output) {
    std::vector<ListedPort> ports;
    unsigned count = midi.getPortCount();
    for (unsigned n = 0; n < count; ++n) {
        std::string name = midi.getPortName(n);
        if (name.empty()) continue;  // gone since it was counted
        MIDIEndpointInfo info = MIDIEndpointInfo::fromPortName(name);
        if (isOwnClient(info.deviceName)) continue;
        if (output && info.deviceName == "Midi Through") continue;
        ports.push_back({n, info});
    }
    return ports;
}

namespace {

template <class T>
std::vector<MIDIEndpointInfo> listWith(bool output) {
    static std::mutex mutex;
    // Made on first use and kept for the life of the process: every client in the MIDI
    // system costs a thread woken on each of its cycles, so Tarn keeps one per direction.
    static Quiet<T>* lister = nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<MIDIEndpointInfo> infos;
    try {
        if (!lister) lister = new Quiet<T>();
        for (const ListedPort& port : listPorts(**lister, output)) infos.push_back(port.info);
    } catch (const RtMidiError&) {
        // No MIDI system: nothing to list.
    }
    return infos;
}

}  // namespace

std::vector<MIDIEndpointInfo> endpoints(bool output) {
    return output ? listWith<RtMidiOut>(true) : listWith<RtMidiIn>(false);
}

int findPort(RtMidi& midi, bool output, const MIDIEndpointInfo& endpoint) {
    for (const ListedPort& port : listPorts(midi, output)) {
        if (port.info.deviceName != endpoint.deviceName) continue;
        if (endpoint.deviceName + MIDIEndpointInfo::portPath(port.info.uid) == endpoint.uid)
            return static_cast<int>(port.number);
    }
    return -1;
}

}  // namespace MIDISystem
