#include "modules/NativeCall_recorder.h"

#include "audio/AudioInputUnit.h"
#include "audio/UnitStream.h"
#include "bridge/JavaScriptInterface.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"

namespace {
enum { Device, Create, Record, Pause, Stop, Volume, File, Status, Channels, PeakPower, Time, Input };
}

NativeCall_recorder::NativeCall_recorder(NativeObjects* objects) : NativeCall(objects) {
    addFunctions({"device", "create", "record", "pause", "stop", "volume", "file", "status", "channels", "peakpower",
                  "time", "input"});
}

void NativeCall_recorder::call(int function, const Args& args, CallResult& result) {
    AudioRecorder& recorder = objects_->audioRecorder();
    AudioInputStream* in = recorder.input();
    switch (function) {
    case Device:
        if (!args.empty()) {
            if (in) in->stop(false);  // a recording in progress ends with "stop"
            recorder.setDeviceUid(truncatedUid(args[0]));
        }
        result.setString(recorder.deviceUid());
        break;
    case Create: {
        const std::string& path = args.at(0);
        result.setBool(recorder.create(path, toInt(args.at(1))));
        break;
    }
    case Record:
        if (in) in->start(recorder.deviceUid());
        break;
    case Pause:
        if (in) in->pause();
        break;
    case Stop:
        if (in) in->stop(false);
        break;
    case Volume:
        if (!args.empty() && in) {
            const float gain = toFloat(args[0]);
            if (gain >= 0 && gain <= 1) in->setVolume(gain);
        }
        result.setFloat(in ? in->volume() : 0.0f);
        break;
    case File: result.setString(recorder.path()); break;
    case Status: result.setInt(in ? in->status() : 0); break;
    case Channels: result.setInt(in ? in->channels() : 0); break;
    case PeakPower: {
        const int channel = toInt(args.at(0));
        result.setFloat(in && channel >= 0 && channel < in->channels() ? in->peakPower(channel) : -120.0f);
        break;
    }
    case Time: result.setFloat(in && recorder.writing() ? in->time() : 0.0f); break;
    case Input:
        // The device-link input does not exist yet: either choice keeps the sound input.
        toBool(args.at(0));
        if (in) in->stop(true);
        recorder.setInput(&objects_->audioInputUnit());
        break;
    }
}

void _AudioRecorderDelegate::recorderStopped(const std::string& path) {
    controller_->postEvent(makeEvent({"recorder", "stop", path}));
}

void _AudioRecorderDelegate::recorderError(const std::string& path) {
    controller_->postEvent(makeEvent({"recorder", "error", path}));
}
