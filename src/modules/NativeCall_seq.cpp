#include "modules/NativeCall_seq.h"

#include "bridge/JavaScriptInterface.h"
#include "base/Json.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "midi/MIDIClient.h"
#include "midi/Sequencer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <stdexcept>

namespace {

int32_t clampedInt(int64_t value) { return int32_t(std::min<int64_t>(std::max<int64_t>(value, INT32_MIN), INT32_MAX)); }

// A JSON array of hex strings; anything else throws.
std::vector<std::string> soundsFromJson(const std::string& text) {
    Json value = parseJson(text);
    if (!value.is_array()) throw std::invalid_argument("the metronome sounds are a JSON array");
    std::vector<std::string> sounds;
    for (const Json& sound : value) sounds.push_back(hexDecode(sound.get<std::string>()));
    return sounds;
}

}  // namespace

NativeCall_seq::NativeCall_seq(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        {"load", [this](const Args& args, CallResult& result) {
            result.setBool(objects_->sequencer().load(hexDecode(args.at(0))));
        }},
        {"play", [this](const Args& args, CallResult&) {
            objects_->sequencer().play(!args.empty() && toBool(args[0]));
        }},
        {"pause", [this](const Args&, CallResult&) { objects_->sequencer().pause(); }},
        {"stop", [this](const Args&, CallResult&) { objects_->sequencer().stop(); }},
        {"locate", [this](const Args& args, CallResult&) { objects_->sequencer().locate(toDouble(args.at(0))); }},
        {"range", [this](const Args& args, CallResult&) {
            objects_->sequencer().range(toDouble(args.at(0)), toDouble(args.at(1)));
        }},
        {"tempo", [this](const Args& args, CallResult& result) {
            Sequencer& sequencer = objects_->sequencer();
            int bpm = 0;
            if (!args.empty()) {
                double value = std::trunc(toDouble(args[0]));
                if (value >= 10 && value <= 480) bpm = int(value);
            }
            result.setInt(bpm ? sequencer.tempo(bpm) : sequencer.tempo());
        }},
        {"mute", [this](const Args& args, CallResult& result) {
            Sequencer& sequencer = objects_->sequencer();
            result.setInt(int32_t(args.empty() ? sequencer.muteMask() : sequencer.mute(uint32_t(toInt(args[0])))));
        }},
        {"transpose", [this](const Args& args, CallResult& result) {
            Sequencer& sequencer = objects_->sequencer();
            result.setInt(args.empty() ? sequencer.transposeValue() : sequencer.transpose(toInt(args[0])));
        }},
        {"metro", [this](const Args& args, CallResult& result) {
            Sequencer& sequencer = objects_->sequencer();
            result.setBool(args.empty() ? sequencer.metronomeOn() : sequencer.metronome(toBool(args[0])));
        }},
        {"metroset", [this](const Args& args, CallResult&) {
            objects_->sequencer().setMetronomeSounds(soundsFromJson(args.at(0)));
        }},
        {"position", [this](const Args&, CallResult& result) {
            result.setInt(clampedInt(objects_->sequencer().positionBeats()));
        }},
        {"totalbeats", [this](const Args&, CallResult& result) {
            result.setInt(clampedInt(objects_->sequencer().totalBeats()));
        }},
        {"output", [this](const Args& args, CallResult&) {
            objects_->sequencerDelegate().setOutputType(toInt(args.at(0)));
        }},
    });
}

void _SequencerDelegate::sequencerOutput(const std::string& song, const std::string& metronome) {
    if (outputType_.load() != kApplicationOutput || !client_) return;
    MIDIOutputPort* port = client_->outputPort();
    if (!song.empty()) port->send(reinterpret_cast<const uint8_t*>(song.data()), song.size());
    if (!metronome.empty()) port->send(reinterpret_cast<const uint8_t*>(metronome.data()), metronome.size());
}

void _SequencerDelegate::sequencerDidStop() { controller_->postEvent(makeEvent({"seq", "stop"})); }

void _SequencerDelegate::sequencerTempoChanged(int bpm) {
    controller_->postEvent(makeEvent({"seq", "tempo", std::to_string(bpm)}));
}
