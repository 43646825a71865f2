#include "midi/MIDIClient.h"

MIDIClient::MIDIClient()
    : input_(std::make_unique<MIDIInputPort>(this)),
      output_(std::make_unique<MIDIOutputPort>(this)),
      timer_(std::make_unique<Timer>(this)) {
    timer_->start(kPollInterval);
}

MIDIClient::~MIDIClient() {
    timer_.reset();
    input_.reset();
    output_.reset();
}

void MIDIClient::timerproc() {
    size_t inputs = input_->count();
    if (inputs != inputCount_) {
        inputCount_ = inputs;
        changePending_ = true;
    }
    size_t outputs = output_->count();
    if (outputs != outputCount_) {
        outputCount_ = outputs;
        changePending_ = true;
    }
    MIDIClientDelegate* delegate = delegate_.load();
    if (changePending_ && delegate) {
        delegate->midiObjectAddedRemoved();
        changePending_ = false;
    }
}
