#include "midi/MIDISystem.h"

#include "midi/JackMIDIPorts.h"
#include "midi/RtMidiPorts.h"

#include <cstdlib>
#include <strings.h>

namespace MIDISystem {

namespace {

Api chooseApi() {
    // A missing JACK server is not worth a word on stderr: nothing is listed, that is all.
    JackMIDIPorts::keepQuiet();
    const char* wanted = std::getenv("TARN_MIDI_API");
    if (wanted && strcasecmp(wanted, "jack") == 0) return Api::Jack;
    if (wanted && strcasecmp(wanted, "alsa") == 0) return Api::AlsaSequencer;
    return RtMidiPorts::sequencerOpens() ? Api::AlsaSequencer : Api::Jack;
}

bool overJack() { return api() == Api::Jack; }

}  // namespace

Api api() {
    static const Api chosen = chooseApi();
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
    std::vector<std::string> names = portNames(false);
    int number = findPort(names, false, endpoint);
    if (number < 0) return nullptr;
    return overJack() ? JackMIDIPorts::openInput(names[number], std::move(receiver))
                      : RtMidiPorts::openInput(names[number], std::move(receiver));
}

std::unique_ptr<Output> openOutput(const MIDIEndpointInfo& endpoint) {
    std::vector<std::string> names = portNames(true);
    int number = findPort(names, true, endpoint);
    if (number < 0) return nullptr;
    return overJack() ? JackMIDIPorts::openOutput(names[number]) : RtMidiPorts::openOutput(names[number]);
}

}  // namespace MIDISystem
