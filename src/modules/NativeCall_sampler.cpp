#include "modules/NativeCall_sampler.h"

#include "audio/AudioDevice.h"
#include "audio/ExtSamplePlayer.h"
#include "audio/UnitStream.h"
#include "bridge/JavaScriptInterface.h"
#include "base/NativeException.h"
#include "base/Json.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"

#include <stdexcept>

namespace {

// What a player call answers while no player exists.
void answerText(CallResult& result) { result.setString(""); }
void answerFalse(CallResult& result) { result.setBool(false); }
void answerZero(CallResult& result) { result.setFloat(0.0f); }
void answerOne(CallResult& result) { result.setFloat(1.0f); }
void answerNoCount(CallResult& result) { result.setInt(0); }

}  // namespace

NativeCall_sampler::NativeCall_sampler(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        {"create", [this](const Args& args, CallResult&) { create(toInt(args.at(0))); }},
        {"device", onPlayer(answerText, [](SamplePlayer& p, const Args& args, CallResult& result) {
             if (args.size() > 1) p.setDeviceUid(truncatedUid(args[1]));
             result.setString(p.deviceUid());
         })},
        {"open", onPlayer(answerFalse, [](SamplePlayer& p, const Args& args, CallResult& result) {
             result.setBool(p.open(args.at(1)));
         })},
        {"close", onPlayer(nullptr, [](SamplePlayer& p, const Args&, CallResult&) { p.close(); })},
        {"start", [](const Args&, CallResult&) {}},
        {"play", onPlayer(nullptr, [](SamplePlayer& p, const Args&, CallResult&) { p.play(); })},
        {"pause", onPlayer(nullptr, [](SamplePlayer& p, const Args&, CallResult&) { p.pause(); })},
        {"stop", [this](const Args& args, CallResult&) {
             auto& players = objects_->samplePlayers();
             if (players.empty()) return;
             if (args.empty()) {
                 for (auto& entry : players) entry.player->stopForced();
                 return;
             }
             player(args[0]).stop(args.size() > 1 && toBool(args[1]));
         }},
        {"locate", onPlayer(nullptr, [](SamplePlayer& p, const Args& args, CallResult&) {
             p.locate(toFloat(args.at(1)));
         })},
        {"begin", onPlayer(answerZero, [](SamplePlayer& p, const Args& args, CallResult& result) {
             if (args.size() > 1) p.setBeginPoint(toFloat(args[1]));
             result.setFloat(p.beginPoint());
         })},
        {"end", onPlayer(answerZero, [](SamplePlayer& p, const Args& args, CallResult& result) {
             if (args.size() > 1) p.setEndOffset(toFloat(args[1]));
             result.setFloat(p.endOffset());
         })},
        {"volume", onPlayer(answerOne, [](SamplePlayer& p, const Args& args, CallResult& result) {
             if (args.size() > 1) {
                 const float gain = toFloat(args[1]);
                 if (gain >= 0 && gain <= 1) p.setVolume(gain);
             }
             result.setFloat(p.volume());
         })},
        {"repeat", onPlayer(answerNoCount, [](SamplePlayer& p, const Args& args, CallResult& result) {
             if (args.size() > 1) p.setRepeatCount(toInt(args[1]));
             result.setInt(p.repeatCount());
         })},
        {"speed", onPlayer(answerOne, [](SamplePlayer& p, const Args& args, CallResult& result) {
             if (args.size() > 1) p.setSpeed(toFloat(args[1]));
             result.setFloat(p.speed());
         })},
        {"pitch", onPlayer(answerZero, [](SamplePlayer& p, const Args& args, CallResult& result) {
             if (args.size() > 1) p.setPitch(toFloat(args[1]));
             result.setFloat(p.pitch());
         })},
        {"fadein", onPlayer(answerZero, [](SamplePlayer& p, const Args& args, CallResult& result) {
             if (args.size() > 1) {
                 const float seconds = toFloat(args[1]);
                 if (seconds >= 0) p.setFadeInTime(seconds);
             }
             result.setFloat(p.fadeInTime());
         })},
        {"fadeout", onPlayer(answerZero, [](SamplePlayer& p, const Args& args, CallResult& result) {
             if (args.size() > 1) {
                 const float seconds = toFloat(args[1]);
                 if (seconds >= 0) p.setFadeOutTime(seconds);
             }
             result.setFloat(p.fadeOutTime());
         })},
        {"control", onPlayer(answerText, [](SamplePlayer& p, const Args& args, CallResult& result) {
             result.setString(p.control(args.size() > 1 ? args[1] : std::string()));
         })},
        {"file", onPlayer(answerText, [](SamplePlayer& p, const Args&, CallResult& result) {
             result.setString(p.path());
         })},
        {"totaltime", onPlayer(answerZero, [](SamplePlayer& p, const Args&, CallResult& result) {
             result.setFloat(p.totalTime());
         })},
        {"status", [this](const Args&, CallResult& result) {
             result.setString(objects_->samplePlayers().empty() ? std::string() : statusJson());
         }},
    });
}

SamplePlayer& NativeCall_sampler::player(const std::string& number) const {
    const int index = toInt(number);
    auto& players = objects_->samplePlayers();
    if (index < 0 || static_cast<size_t>(index) >= players.size()) throw std::out_of_range("invalid vector subscript");
    return *players[index].player;
}

std::function<void(const Args&, CallResult&)> NativeCall_sampler::onPlayer(Answer before, PlayerCall body) {
    return [this, before, body](const Args& args, CallResult& result) {
        if (objects_->samplePlayers().empty()) {
            if (before) before(result);
            return;
        }
        body(player(args.at(0)), args, result);
    };
}

void NativeCall_sampler::create(int count) {
    auto& players = objects_->samplePlayers();
    // Each player holds a sound-server stream, a watcher and their threads: a page asking
    // for millions would take the host down, so the count has a limit.
    if (count > kMaxPlayers) throw NativeException("player count must be at most " + std::to_string(kMaxPlayers));
    if (!players.empty()) return;
    for (int i = 0; i < count; ++i) {
        NativeObjects::SamplePlayerEntry entry;
        entry.delegate = std::make_unique<_SamplePlayerDelegate>(objects_->controller(), i);
        entry.player = std::make_unique<ExtSamplePlayer>();
        entry.player->setDelegate(entry.delegate.get());
        entry.player->setAudioDevice(std::make_unique<AudioDevice>());
        players.push_back(std::move(entry));
    }
}

std::string NativeCall_sampler::statusJson() const {
    Json list = Json::array();
    for (auto& entry : objects_->samplePlayers()) {
        SamplePlayer& p = *entry.player;
        Json item = Json::object();
        item["time"] = static_cast<double>(p.currentTime());
        item["state"] = static_cast<int>(p.state());
        item["peakpower"] = Json::array({static_cast<double>(p.peakPower(0)), static_cast<double>(p.peakPower(1))});
        list.push_back(std::move(item));
    }
    return jsonText(list);
}

void _SamplePlayerDelegate::samplePlayerDidEnd(const std::string& path) {
    controller_->postEvent(makeEvent({"sampler", "eof", std::to_string(number_), path}));
}
