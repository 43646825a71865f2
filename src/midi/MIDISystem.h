#pragma once

#include "midi/MIDIEndpointInfo.h"

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <memory>
#include <string>
#include <vector>

// The MIDI system Tarn talks to, through RtMidi. The ALSA sequencer is used unless it cannot be
// opened or TARN_MIDI_API=jack asks for JACK (TARN_MIDI_API=alsa insists on ALSA).
namespace MIDISystem {

// The chosen API, decided once per process.
RtMidi::Api api();
// Name of Tarn's own clients in the MIDI system.
const std::string& clientName();
// True for a client name that belongs to Tarn itself (JACK numbers repeated names: "Tarn-01").
bool isOwnClient(const std::string& deviceName);

void recordError(RtMidiError::Type type, const std::string& text, void* record);
// Throws RtMidiError (as RtMidi itself would for an API that cannot be set up) when the
// JACK API is chosen and no JACK server runs: RtMidi would print a warning from its
// constructor, before any error callback can be set.
void requireServer();

// An RtMidi object (RtMidiIn or RtMidiOut) on the chosen API whose errors never throw nor
// print: the type of the last one is kept instead. Its constructor throws RtMidiError only
// when the API cannot be set up at all. Not movable: RtMidi holds the error record's address.
template <class T>
class Quiet {
public:
    Quiet() : midi_((requireServer(), new T(api(), clientName()))) { midi_->setErrorCallback(recordError, &error_); }
    // Over JACK, RtMidi frees a port's buffers before it closes its client, while the
    // server's process callback may still be inside its last cycle with them (closing the port
    // only clears the pointer that later cycles check). So the port is closed first and that
    // cycle is given time to end before the object goes.
    ~Quiet() {
        if (midi_->getCurrentApi() == RtMidi::UNIX_JACK && midi_->isPortOpen()) {
            midi_->closePort();
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
    }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

    T& operator*() { return *midi_; }
    T* operator->() { return midi_.get(); }
    // The type of the last error since the previous call, or -1 when there was none.
    int takeError() { return error_.exchange(-1); }

private:
    std::atomic<int> error_{-1};
    std::unique_ptr<T> midi_;
};

// The ports an endpoint list shows, with their RtMidi numbers at the time of listing:
// Tarn's own ports are left out, and for outputs the ALSA "Midi Through" port too.
struct ListedPort {
    unsigned number;
    MIDIEndpointInfo info;
};
std::vector<ListedPort> listPorts(RtMidi& midi, bool output);
// The endpoints of every source (output false) or destination (output true) as listPorts
// gives them, through one lister per direction shared by the whole process (any thread).
std::vector<MIDIEndpointInfo> endpoints(bool output);
// The RtMidi number of the port that endpoint names (device name first, then UID), or -1.
int findPort(RtMidi& midi, bool output, const MIDIEndpointInfo& endpoint);

}  // namespace MIDISystem
