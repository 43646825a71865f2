#pragma once

#include "midi/MIDIEndpointInfo.h"
#include "midi/MIDIPortConnection.h"

#include <memory>
#include <string>
#include <vector>

// The MIDI system Tarn talks to: the ALSA sequencer (through RtMidi, RtMidiPorts) unless it
// cannot be opened or TARN_MIDI_API=jack asks for JACK (on libjack, JackMIDIPorts);
// TARN_MIDI_API=alsa insists on ALSA.
namespace MIDISystem {

enum class Api { AlsaSequencer, Jack };
// The chosen API, decided once per process.
Api api();
// Name of Tarn's own clients in the MIDI system.
const std::string& clientName();
// True for a client name that belongs to Tarn itself (JACK numbers repeated names: "Tarn-01").
bool isOwnClient(const std::string& deviceName);

// The system's port names: sources (output false) or destinations (output true), in the
// system's order; an entry may be "" for a port that went away while it was listed.
std::vector<std::string> portNames(bool output);

// The ports an endpoint list shows, with their positions among names: Tarn's own ports are
// left out, and for outputs the ALSA "Midi Through" port too.
struct ListedPort {
    unsigned number;
    MIDIEndpointInfo info;
};
std::vector<ListedPort> listPorts(const std::vector<std::string>& names, bool output);
// The endpoints of every source or destination as listPorts gives them (any thread).
std::vector<MIDIEndpointInfo> endpoints(bool output);
// The position among names of the port that endpoint names (device name first, then UID), or -1.
int findPort(const std::vector<std::string>& names, bool output, const MIDIEndpointInfo& endpoint);

// A connection to the port the endpoint names, or null when there is none or it cannot be opened.
std::unique_ptr<Input> openInput(const MIDIEndpointInfo& endpoint, Receiver receiver);
std::unique_ptr<Output> openOutput(const MIDIEndpointInfo& endpoint);

}  // namespace MIDISystem
