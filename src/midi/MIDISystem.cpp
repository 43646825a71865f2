#include "midi/MIDISystem.h"

#include "midi/JackMIDIPorts.h"
#include "midi/RtMidiPorts.h"

#include <jack/jack.h>

#include <cstdlib>
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

bool overJack() { return api() == RtMidi::UNIX_JACK; }

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

std::vector<std::string> portNames(bool output) {
    return overJack() ? JackMIDIPorts::portNames(output) : RtMidiPorts::portNames(output);
}

std::vector<ListedPort> listPorts(const std::vector<std::string>& names, bool output) {
    std::vector<ListedPort> ports;
    for (size_t n = 0; n < names.size(); ++n) {
        if (names[n].empty()) continue;  // gone since it was counted
        MIDIEndpointInfo info = MIDIEndpointInfo::fromPortName(names[n]);
        if (isOwnClient(info.deviceName)) continue;
        if (output && info.deviceName == "Midi Through") continue;
        ports.push_back({static_cast<unsigned>(n), info});
    }
    return ports;
}

std::vector<MIDIEndpointInfo> endpoints(bool output) {
    std::vector<MIDIEndpointInfo> infos;
    for (const ListedPort& port : listPorts(portNames(output), output)) infos.push_back(port.info);
    return infos;
}

int findPort(const std::vector<std::string>& names, bool output, const MIDIEndpointInfo& endpoint) {
    for (const ListedPort& port : listPorts(names, output)) {
        if (port.info.deviceName != endpoint.deviceName) continue;
        if (endpoint.deviceName + MIDIEndpointInfo::portPath(port.info.uid) == endpoint.uid)
            return static_cast<int>(port.number);
    }
    return -1;
}

std::unique_ptr<Input> openInput(const MIDIEndpointInfo& endpoint, Receiver receiver) {
    if (!overJack()) return RtMidiPorts::openInput(endpoint, std::move(receiver));
    std::vector<std::string> names = portNames(false);
    int number = findPort(names, false, endpoint);
    return number < 0 ? nullptr : JackMIDIPorts::openInput(names[number], std::move(receiver));
}

std::unique_ptr<Output> openOutput(const MIDIEndpointInfo& endpoint) {
    if (!overJack()) return RtMidiPorts::openOutput(endpoint);
    std::vector<std::string> names = portNames(true);
    int number = findPort(names, true, endpoint);
    return number < 0 ? nullptr : JackMIDIPorts::openOutput(names[number]);
}

}  // namespace MIDISystem
