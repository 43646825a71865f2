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
enum {
    Create, Device, Open, Close, Start, Play, Pause, Stop, Locate, Begin, End, Volume, Repeat, Speed, Pitch, FadeIn,
    FadeOut, Control, File, TotalTime, Status
};
}

NativeCall_sampler::NativeCall_sampler(NativeObjects* objects) : NativeCall(objects) {
    addFunctions({"create", "device", "open", "close", "start", "play", "pause", "stop", "locate", "begin", "end",
                  "volume", "repeat", "speed", "pitch", "fadein", "fadeout", "control", "file", "totaltime", "status"});
}

SamplePlayer& NativeCall_sampler::player(const std::string& number) const {
    const int index = toInt(number);
    auto& players = objects_->samplePlayers();
    if (index < 0 || static_cast<size_t>(index) >= players.size()) throw std::out_of_range("invalid vector subscript");
    return *players[index].player;
}

void NativeCall_sampler::answerBeforeCreate(int function, CallResult& result) {
    switch (function) {
    case Device:
    case Control:
    case File:
    case Status: result.setString(""); break;
    case Open: result.setBool(false); break;
    case Begin:
    case End:
    case Pitch:
    case FadeIn:
    case FadeOut:
    case TotalTime: result.setFloat(0.0f); break;
    case Volume:
    case Speed: result.setFloat(1.0f); break;
    case Repeat: result.setInt(0); break;
    default: break;
    }
}

void NativeCall_sampler::call(int function, const Args& args, CallResult& result) {
    auto& players = objects_->samplePlayers();
    if (function == Create) {
        const int count = toInt(args.at(0));
        // Each player holds a sound-server stream, a watcher and their threads: a page asking
        // for millions would take the host down, so the count has a limit.
        if (count > kMaxPlayers)
            throw NativeException("player count must be at most " + std::to_string(kMaxPlayers));
        if (!players.empty()) return;
        for (int i = 0; i < count; ++i) {
            NativeObjects::SamplePlayerEntry entry;
            entry.delegate = std::make_unique<_SamplePlayerDelegate>(objects_->controller(), i);
            entry.player = std::make_unique<ExtSamplePlayer>();
            entry.player->setDelegate(entry.delegate.get());
            entry.player->setAudioDevice(std::make_unique<AudioDevice>());
            players.push_back(std::move(entry));
        }
        return;
    }
    if (players.empty()) {
        answerBeforeCreate(function, result);
        return;
    }
    if (function == Start) return;
    if (function == Status) {
        result.setString(statusJson());
        return;
    }
    if (function == Stop && args.empty()) {
        for (auto& entry : players) entry.player->stopForced();
        return;
    }
    SamplePlayer& p = player(args.at(0));
    const bool given = args.size() > 1;
    switch (function) {
    case Device:
        if (given) p.setDeviceUid(truncatedUid(args[1]));
        result.setString(p.deviceUid());
        break;
    case Open: result.setBool(p.open(args.at(1))); break;
    case Close: p.close(); break;
    case Play: p.play(); break;
    case Pause: p.pause(); break;
    case Stop: p.stop(given && toBool(args[1])); break;
    case Locate: p.locate(toFloat(args.at(1))); break;
    case Begin:
        if (given) p.setBeginPoint(toFloat(args[1]));
        result.setFloat(p.beginPoint());
        break;
    case End:
        if (given) p.setEndOffset(toFloat(args[1]));
        result.setFloat(p.endOffset());
        break;
    case Volume:
        if (given) {
            const float gain = toFloat(args[1]);
            if (gain >= 0 && gain <= 1) p.setVolume(gain);
        }
        result.setFloat(p.volume());
        break;
    case Repeat:
        if (given) p.setRepeatCount(toInt(args[1]));
        result.setInt(p.repeatCount());
        break;
    case Speed:
        if (given) p.setSpeed(toFloat(args[1]));
        result.setFloat(p.speed());
        break;
    case Pitch:
        if (given) p.setPitch(toFloat(args[1]));
        result.setFloat(p.pitch());
        break;
    case FadeIn:
        if (given) {
            const float seconds = toFloat(args[1]);
            if (seconds >= 0) p.setFadeInTime(seconds);
        }
        result.setFloat(p.fadeInTime());
        break;
    case FadeOut:
        if (given) {
            const float seconds = toFloat(args[1]);
            if (seconds >= 0) p.setFadeOutTime(seconds);
        }
        result.setFloat(p.fadeOutTime());
        break;
    case Control: result.setString(p.control(args.size() > 1 ? args[1] : std::string())); break;
    case File: result.setString(p.path()); break;
    case TotalTime: result.setFloat(p.totalTime()); break;
    default: break;
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
