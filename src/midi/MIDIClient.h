#pragma once

#include "base/Timer.h"
#include "midi/MIDIDelegates.h"
#include "midi/MIDIInputPort.h"
#include "midi/MIDIOutputPort.h"

#include <atomic>
#include <cstddef>
#include <memory>

// One MIDI client: an input port, an output port, and a poll of the MIDI system every second
// on its own timer thread that reports a change in the number of sources or destinations
// (the first poll reports one whenever any exists).
class MIDIClient : public Timer::Proc {
public:
    static constexpr unsigned kPollInterval = 1000;

    MIDIClient();
    // Stops the poll, then closes the input connections, then the output connections.
    ~MIDIClient() override;
    MIDIClient(const MIDIClient&) = delete;
    MIDIClient& operator=(const MIDIClient&) = delete;

    MIDIInputPort* inputPort() { return input_.get(); }
    MIDIOutputPort* outputPort() { return output_.get(); }
    void setDelegate(MIDIClientDelegate* delegate) { delegate_.store(delegate); }
    MIDIClientDelegate* delegate() const { return delegate_.load(); }

    // The device poll.
    void timerproc() override;

private:
    std::atomic<MIDIClientDelegate*> delegate_{nullptr};
    std::unique_ptr<MIDIInputPort> input_;
    std::unique_ptr<MIDIOutputPort> output_;
    std::unique_ptr<Timer> timer_;
    size_t inputCount_ = 0;
    size_t outputCount_ = 0;
    bool changePending_ = false;
};
