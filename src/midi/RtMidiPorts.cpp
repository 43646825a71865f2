#include "midi/RtMidiPorts.h"

#include "midi/MIDISystem.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <unistd.h>

namespace RtMidiPorts {

namespace {

static_assert(RtMidiError::UNSPECIFIED == MIDISystem::kSendUnspecified &&
                  RtMidiError::DRIVER_ERROR == MIDISystem::kSendDriverError &&
                  RtMidiError::THREAD_ERROR == MIDISystem::kSendThreadError,
              "the MIDI error events carry the numbers they always have");

// RtMidi's error type as a SendError: a plain warning counts as a driver error.
int sendError(int type) {
    if (type == RtMidiError::WARNING) return MIDISystem::kSendDriverError;
    return type;
}

void recordError(RtMidiError::Type type, const std::string&, void* record) {
    static_cast<std::atomic<int>*>(record)->store(static_cast<int>(type));
}

// An RtMidi object (RtMidiIn or RtMidiOut) on the ALSA sequencer whose errors are kept
// instead of thrown or printed. Its constructor throws RtMidiError only when the sequencer
// cannot be opened at all. Not movable: RtMidi holds the error record's address.
template <class T>
class Quiet {
public:
    Quiet() : midi_(RtMidi::LINUX_ALSA, MIDISystem::clientName()) { midi_.setErrorCallback(recordError, &error_); }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

    T& operator*() { return midi_; }
    T* operator->() { return &midi_; }
    // The type of the last error since the previous call, or -1 when there was none.
    int takeError() { return error_.exchange(-1); }

private:
    std::atomic<int> error_{-1};
    T midi_;
};

std::vector<std::string> namesOf(RtMidi& midi) {
    std::vector<std::string> names;
    unsigned count = midi.getPortCount();
    for (unsigned n = 0; n < count; ++n) names.push_back(midi.getPortName(n));
    return names;
}

// The position of the port with that name in the object's own listing, or -1.
int numberOf(RtMidi& midi, const std::string& name) {
    std::vector<std::string> names = namesOf(midi);
    auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

template <class T>
std::vector<std::string> listWith() {
    static std::mutex mutex;
    // Every client in the sequencer costs the system a little; Tarn keeps one per direction.
    static Quiet<T>* lister = nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    try {
        if (!lister) lister = new Quiet<T>();
        return namesOf(**lister);
    } catch (const RtMidiError&) {
        return {};  // no sequencer: nothing to list
    }
}

// RtMidi's ALSA input thread ends before its object's destructor returns, so no delivery
// outlives the connection.
class Input final : public MIDISystem::Input {
public:
    explicit Input(MIDISystem::Receiver receiver) : receiver_(std::move(receiver)) {}

    bool open(const std::string& source) {
        int number = numberOf(*midi_, source);
        if (number < 0) return false;
        // Everything is taken in; which statuses reach the page is decided above this layer.
        midi_->ignoreTypes(false, false, false);
        midi_->setCallback(received, this);
        midi_.takeError();
        midi_->openPort(static_cast<unsigned>(number), MIDISystem::clientName() + " in");
        return midi_.takeError() < 0 && midi_->isPortOpen();
    }

private:
    static void received(double, std::vector<unsigned char>* message, void* self) {
        if (message && !message->empty()) static_cast<Input*>(self)->receiver_(message->data(), message->size());
    }

    MIDISystem::Receiver receiver_;
    Quiet<RtMidiIn> midi_;
};

class Output final : public MIDISystem::Output {
public:
    bool open(const std::string& destination) {
        int number = numberOf(*midi_, destination);
        if (number < 0) return false;
        midi_.takeError();
        midi_->openPort(static_cast<unsigned>(number), MIDISystem::clientName() + " out");
        return midi_.takeError() < 0 && midi_->isPortOpen();
    }

    int send(const uint8_t* data, size_t length) override {
        midi_.takeError();
        int error;
        try {
            midi_->sendMessage(data, length);
            error = midi_.takeError();
        } catch (const RtMidiError& thrown) {
            error = thrown.getType();
        }
        return error < 0 ? 0 : sendError(error);
    }

private:
    Quiet<RtMidiOut> midi_;
};

}  // namespace

std::vector<std::string> portNames(bool output) { return output ? listWith<RtMidiOut>() : listWith<RtMidiIn>(); }

bool sequencerOpens() {
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) return false;
    try {
        RtMidiIn probe(RtMidi::LINUX_ALSA, MIDISystem::clientName());
        return true;
    } catch (const RtMidiError&) {
        return false;
    }
}

std::unique_ptr<MIDISystem::Input> openInput(const std::string& source, MIDISystem::Receiver receiver) {
    try {
        auto input = std::make_unique<Input>(std::move(receiver));
        if (input->open(source)) return input;
    } catch (const RtMidiError&) {
    }
    return nullptr;
}

std::unique_ptr<MIDISystem::Output> openOutput(const std::string& destination) {
    try {
        auto output = std::make_unique<Output>();
        if (output->open(destination)) return output;
    } catch (const RtMidiError&) {
    }
    return nullptr;
}

}  // namespace RtMidiPorts
