#pragma once

#include "midi/MIDIEndpointInfo.h"
#include "midi/MIDIPortConnection.h"

#include <memory>
#include <string>
#include <vector>

// Tarn's side of the ALSA sequencer, through RtMidi (JACK has JackMIDIPorts). Errors never
// throw nor print: a connection that cannot be made is null, a failed write an error type.
namespace RtMidiPorts {

// The sequencer's port names in RtMidi's order (an entry is "" for a port gone since it was
// counted), through one lister per direction kept for the whole process (any thread).
std::vector<std::string> portNames(bool output);

std::unique_ptr<MIDISystem::Input> openInput(const MIDIEndpointInfo& endpoint, MIDISystem::Receiver receiver);
std::unique_ptr<MIDISystem::Output> openOutput(const MIDIEndpointInfo& endpoint);

}  // namespace RtMidiPorts
