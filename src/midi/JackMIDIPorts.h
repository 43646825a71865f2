#pragma once

#include "midi/MIDIPortConnection.h"

#include <memory>
#include <string>
#include <vector>

// Tarn's side of the JACK server, on libjack directly: each connection is a JACK client of
// its own with one port, connected to the device's port.
//
// Closing is the reason this is not left to RtMidi's JACK backend. A JACK client's process
// callback runs on the library's thread, and a callback already past any "still open?" check
// keeps using the connection's buffers to the end of its cycle. RtMidi frees its output
// buffer before it closes the client, so a close that lands in such a cycle made the callback
// read freed memory. Here nothing a callback touches is freed until jack_deactivate and
// jack_client_close have returned, and they return only once the client's process thread
// has been stopped and joined. The library stops that thread by asynchronous cancellation,
// which may find it anywhere in the callback, so the callbacks take no locks and allocate
// nothing on that path: output goes through a lock-free ring buffer, and input passes a gate
// (two atomics, no lock) that closing shuts, waiting out a delivery already inside, before
// the client is deactivated. From then on a cycle only reads the port buffer and returns.
namespace JackMIDIPorts {

// Keeps libjack from printing its complaints (a missing server above all) on stderr.
void keepQuiet();

// Full names ("client:port") of the MIDI ports that send (destinations false) or receive
// (destinations true), in the server's order; empty when no server runs. One listing client
// is kept for the whole process; it is opened again after its server went away.
std::vector<std::string> portNames(bool destinations);

// A connection from the named source port to the receiver, or null when it cannot be made.
std::unique_ptr<MIDISystem::Input> openInput(const std::string& source, MIDISystem::Receiver receiver);
// A connection to the named destination port, or null when it cannot be made.
std::unique_ptr<MIDISystem::Output> openOutput(const std::string& destination);

}  // namespace JackMIDIPorts
