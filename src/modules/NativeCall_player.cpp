#include "modules/NativeCall_player.h"

#include "audio/AudioOutputUnit.h"
#include "audio/UnitStream.h"
#include "bridge/JavaScriptInterface.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"

namespace {
enum {
    Device, Open, Play, Pause, Stop, Locate, Volume, Speed, Pitch, File, Status, Channels, PeakPower, Time,
    TotalTime, Output
};
}

NativeCall_player::NativeCall_player(NativeObjects* objects) : NativeCall(objects) {
    addFunctions({"device", "open", "play", "pause", "stop", "locate", "volume", "speed", "pitch", "file", "status",
                  "channels", "peakpower", "time", "totaltime", "output"});
}

void NativeCall_player::call(int function, const Args& args, CallResult& result) {
    AudioPlayer& player = objects_->audioPlayer();
    AudioOutputStream* out = player.output();
    switch (function) {
    case Device:
        if (!args.empty()) {
            player.stopAndRewind();
            player.setDeviceUid(truncatedUid(args[0]));
        }
        result.setString(player.deviceUid());
        break;
    case Open: result.setBool(player.open(args.at(0))); break;
    case Play:
        if (out && !player.path().empty() && player.prepare()) out->start(player.deviceUid());
        break;
    case Pause:
        if (out) out->pause();
        break;
    case Stop: player.stopAndRewind(); break;
    case Locate: {
        const float seconds = toFloat(args.at(0));
        if (out) out->stop();
        if (player.locate(seconds)) player.setTimeOffset(seconds);
        break;
    }
    case Volume:
        if (!args.empty() && out) {
            const float gain = toFloat(args[0]);
            if (gain >= 0 && gain <= 1) out->setVolume(gain);
        }
        result.setFloat(out ? out->volume() : 0.0f);
        break;
    case Speed:
        if (!args.empty() && out) {
            const float rate = toFloat(args[0]);
            if (rate >= 0.5f && rate <= 2.0f) out->setSpeed(rate);
        }
        result.setFloat(out ? out->speed() : 1.0f);
        break;
    case Pitch:
        if (!args.empty() && out) {
            const float cents = toFloat(args[0]);
            if (cents >= -2400 && cents <= 2400) out->setPitch(cents);
        }
        result.setFloat(out ? out->pitch() : 0.0f);
        break;
    case File: result.setString(player.path()); break;
    case Status: result.setInt(out ? out->status() : 0); break;
    case Channels: result.setInt(out ? out->channels() : 0); break;
    case PeakPower: {
        const int channel = toInt(args.at(0));
        result.setFloat(out && channel >= 0 && channel < out->channels() ? out->peakPower(channel) : -120.0f);
        break;
    }
    case Time: result.setFloat((out ? out->time() : 0.0f) + player.timeOffset()); break;
    case TotalTime: result.setFloat(player.totalTime()); break;
    case Output:
        // The device-link output does not exist yet: either choice keeps the sound output.
        toBool(args.at(0));
        if (out) out->stop();
        player.setOutput(&objects_->audioOutputUnit());
        break;
    }
}

void _AudioPlayerDelegate::playerEndOfFile(const std::string& path) {
    controller_->postEvent(makeEvent({"player", "eof", path}));
}

void _AudioPlayerDelegate::playerStopped(const std::string& path) {
    controller_->postEvent(makeEvent({"player", "stop", path}));
}

void _AudioPlayerDelegate::playerError(const std::string& path) {
    controller_->postEvent(makeEvent({"player", "error", path}));
}
