#include "modules/NativeCall_recorder.h"

#include "audio/AudioInputUnit.h"
#include "audio/UnitStream.h"
#include "bridge/JavaScriptInterface.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"

NativeCall_recorder::NativeCall_recorder(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        {"device", [this](const Args& args, CallResult& result) {
            AudioRecorder& recorder = objects_->audioRecorder();
            AudioInputStream* in = recorder.input();
            if (!args.empty()) {
                if (in) in->stop(false);  // a recording in progress ends with "stop"
                recorder.setDeviceUid(truncatedUid(args[0]));
            }
            result.setString(recorder.deviceUid());
        }},
        {"create", [this](const Args& args, CallResult& result) {
            AudioRecorder& recorder = objects_->audioRecorder();
            const std::string& path = args.at(0);
            result.setBool(recorder.create(path, toInt(args.at(1))));
        }},
        {"record", [this](const Args&, CallResult&) {
            AudioRecorder& recorder = objects_->audioRecorder();
            AudioInputStream* in = recorder.input();
            if (in) in->start(recorder.deviceUid());
        }},
        {"pause", [this](const Args&, CallResult&) {
            AudioRecorder& recorder = objects_->audioRecorder();
            AudioInputStream* in = recorder.input();
            if (in) in->pause();
        }},
        {"stop", [this](const Args&, CallResult&) {
            AudioRecorder& recorder = objects_->audioRecorder();
            AudioInputStream* in = recorder.input();
            if (in) in->stop(false);
        }},
        {"volume", [this](const Args& args, CallResult& result) {
            AudioRecorder& recorder = objects_->audioRecorder();
            AudioInputStream* in = recorder.input();
            if (!args.empty() && in) {
                const float gain = toFloat(args[0]);
                if (gain >= 0 && gain <= 1) in->setVolume(gain);
            }
            result.setFloat(in ? in->volume() : 0.0f);
        }},
        {"file", [this](const Args&, CallResult& result) { result.setString(objects_->audioRecorder().path()); }},
        {"status", [this](const Args&, CallResult& result) {
            AudioRecorder& recorder = objects_->audioRecorder();
            AudioInputStream* in = recorder.input();
            result.setInt(in ? in->status() : 0);
        }},
        {"channels", [this](const Args&, CallResult& result) {
            AudioRecorder& recorder = objects_->audioRecorder();
            AudioInputStream* in = recorder.input();
            result.setInt(in ? in->channels() : 0);
        }},
        {"peakpower", [this](const Args& args, CallResult& result) {
            AudioRecorder& recorder = objects_->audioRecorder();
            AudioInputStream* in = recorder.input();
            const int channel = toInt(args.at(0));
            result.setFloat(in && channel >= 0 && channel < in->channels() ? in->peakPower(channel) : -120.0f);
        }},
        {"time", [this](const Args&, CallResult& result) {
            AudioRecorder& recorder = objects_->audioRecorder();
            AudioInputStream* in = recorder.input();
            result.setFloat(in && recorder.writing() ? in->time() : 0.0f);
        }},
        {"input", [this](const Args& args, CallResult&) {
            AudioRecorder& recorder = objects_->audioRecorder();
            AudioInputStream* in = recorder.input();
            // The device-link input does not exist yet: either choice keeps the sound input.
            toBool(args.at(0));
            if (in) in->stop(true);
            recorder.setInput(&objects_->audioInputUnit());
        }},
    });
}

void _AudioRecorderDelegate::recorderStopped(const std::string& path) {
    controller_->postEvent(makeEvent({"recorder", "stop", path}));
}

void _AudioRecorderDelegate::recorderError(const std::string& path) {
    controller_->postEvent(makeEvent({"recorder", "error", path}));
}
