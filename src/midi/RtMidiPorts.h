#pragma once

#include "midi/MIDIPortConnection.h"

#include <memory>
#include <string>
#include <vector>

// Tarn's side of the ALSA sequencer, through RtMidi (JACK has JackMIDIPorts). Errors never
// throw nor print: a connection that cannot be made is null, a failed write a SendError.
namespace RtMidiPorts {

// The sequencer's port names in RtMidi's order (an entry is "" for a port gone since it was
// counted), through one lister per direction kept for the whole process (any thread).
std::vector<std::string> portNames(bool output);

// True when a client can be made on the sequencer (it is there and this user may use it).
bool sequencerOpens();

// A connection from the source port of that name (as portNames gives it) to the receiver,
// or to the destination port of that name; null when there is no such port or it cannot be opened.
std::unique_ptr<MIDISystem::Input> openInput(const std::string& source, MIDISystem::Receiver receiver);
std::unique_ptr<MIDISystem::Output> openOutput(const std::string& destination);

}  // namespace RtMidiPorts
