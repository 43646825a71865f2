#include "modules/NativeCall_player.h"

#include "audio/AudioOutputUnit.h"
#include "audio/UnitStream.h"
#include "bridge/JavaScriptInterface.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"

NativeCall_player::NativeCall_player(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        {"device", [this](const Args& args, CallResult& result) {
            AudioPlayer& player = objects_->audioPlayer();
            if (!args.empty()) {
                player.stopAndRewind();
                player.setDeviceUid(truncatedUid(args[0]));
            }
            result.setString(player.deviceUid());
        }},
        {"open", [this](const Args& args, CallResult& result) {
            result.setBool(objects_->audioPlayer().open(args.at(0)));
        }},
        {"play", [this](const Args&, CallResult&) {
            AudioPlayer& player = objects_->audioPlayer();
            AudioOutputStream* out = player.output();
            if (out && !player.path().empty() && player.prepare()) out->start(player.deviceUid());
        }},
        {"pause", [this](const Args&, CallResult&) {
            AudioPlayer& player = objects_->audioPlayer();
            AudioOutputStream* out = player.output();
            if (out) out->pause();
        }},
        {"stop", [this](const Args&, CallResult&) { objects_->audioPlayer().stopAndRewind(); }},
        {"locate", [this](const Args& args, CallResult&) {
            AudioPlayer& player = objects_->audioPlayer();
            AudioOutputStream* out = player.output();
            const float seconds = toFloat(args.at(0));
            if (out) out->stop();
            if (player.locate(seconds)) player.setTimeOffset(seconds);
        }},
        {"volume", [this](const Args& args, CallResult& result) {
            AudioPlayer& player = objects_->audioPlayer();
            AudioOutputStream* out = player.output();
            if (!args.empty() && out) {
                const float gain = toFloat(args[0]);
                if (gain >= 0 && gain <= 1) out->setVolume(gain);
            }
            result.setFloat(out ? out->volume() : 0.0f);
        }},
        {"speed", [this](const Args& args, CallResult& result) {
            AudioPlayer& player = objects_->audioPlayer();
            AudioOutputStream* out = player.output();
            if (!args.empty() && out) {
                const float rate = toFloat(args[0]);
                if (rate >= 0.5f && rate <= 2.0f) out->setSpeed(rate);
            }
            result.setFloat(out ? out->speed() : 1.0f);
        }},
        {"pitch", [this](const Args& args, CallResult& result) {
            AudioPlayer& player = objects_->audioPlayer();
            AudioOutputStream* out = player.output();
            if (!args.empty() && out) {
                const float cents = toFloat(args[0]);
                if (cents >= -2400 && cents <= 2400) out->setPitch(cents);
            }
            result.setFloat(out ? out->pitch() : 0.0f);
        }},
        {"file", [this](const Args&, CallResult& result) { result.setString(objects_->audioPlayer().path()); }},
        {"status", [this](const Args&, CallResult& result) {
            AudioPlayer& player = objects_->audioPlayer();
            AudioOutputStream* out = player.output();
            result.setInt(out ? out->status() : 0);
        }},
        {"channels", [this](const Args&, CallResult& result) {
            AudioPlayer& player = objects_->audioPlayer();
            AudioOutputStream* out = player.output();
            result.setInt(out ? out->channels() : 0);
        }},
        {"peakpower", [this](const Args& args, CallResult& result) {
            AudioPlayer& player = objects_->audioPlayer();
            AudioOutputStream* out = player.output();
            const int channel = toInt(args.at(0));
            result.setFloat(out && channel >= 0 && channel < out->channels() ? out->peakPower(channel) : -120.0f);
        }},
        {"time", [this](const Args&, CallResult& result) {
            AudioPlayer& player = objects_->audioPlayer();
            AudioOutputStream* out = player.output();
            result.setFloat((out ? out->time() : 0.0f) + player.timeOffset());
        }},
        {"totaltime", [this](const Args&, CallResult& result) {
            result.setFloat(objects_->audioPlayer().totalTime());
        }},
        {"output", [this](const Args& args, CallResult&) {
            AudioPlayer& player = objects_->audioPlayer();
            AudioOutputStream* out = player.output();
            // The device-link output does not exist yet: either choice keeps the sound output.
            toBool(args.at(0));
            if (out) out->stop();
            player.setOutput(&objects_->audioOutputUnit());
        }},
    });
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
