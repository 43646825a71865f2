#include "modules/NativeCall_audio.h"

#include "audio/AudioConvertThread.h"
#include "audio/AudioEndpoints.h"
#include "audio/AudioFileInfo.h"
#include "audio/AudioReverseThread.h"
#include "audio/AudioSplitThread.h"
#include "bridge/JavaScriptInterface.h"
#include "base/Json.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

std::string endpointsJson(AudioDirection direction) {
    Json list = Json::array();
    for (const auto& device : listAudioEndpoints(direction)) {
        list.push_back(Json{{"AudioDeviceNameKey", device.name},
                            {"AudioDeviceUIDKey", device.uid},
                            {"AudioDeviceSampleRateKey", device.sampleRate},
                            {"AudioDeviceChannelsKey", device.channels},
                            {"AudioDeviceBitDepthKey", device.bitDepth},
                            {"AudioDeviceCurrentKey", device.current}});
    }
    return jsonText(list);
}

std::string formatJson(const std::string& path) {
    AudioFileInfo info = inspectAudioFile(path);
    if (!info.readable) {
        return jsonText(Json{{"format", "error"}, {"channels", 0}, {"samplerate", 0}, {"bitdepth", 0},
                             {"bitrate", 0}, {"duration", 0}});
    }
    const wav::WaveFormat& f = info.format;
    return jsonText(Json{{"format", formatName(f.formatTag)},
                         {"channels", f.channels},
                         {"samplerate", f.sampleRate},
                         {"bitdepth", f.formatTag == wav::kWaveFormatIeeeFloat ? 0 : f.bitsPerSample},
                         {"bitrate", static_cast<uint32_t>(f.avgBytesPerSec * 8u)},
                         {"duration", static_cast<double>(info.duration)}});
}

// Number to integer field without undefined conversions: truncated, clamped to the field's range.
template <class T>
T truncated(double value) {
    if (std::isnan(value) || value <= 0) return 0;
    if (value >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(value);
}

// The page's conversion options as a target format record; a missing member or
// one of the wrong type throws before anything starts.
wav::WaveFormat targetFormat(const Json& options, std::string& file) {
    if (!options.is_object()) throw std::invalid_argument("options must be an object");
    file = options.at("file").get<std::string>();
    const std::string format = options.at("format").get<std::string>();
    const double channels = options.at("channels").get<double>();
    const double rate = options.at("samplerate").get<double>();
    const double bits = options.at("bitdepth").get<double>();
    const double bitRate = options.at("bitrate").get<double>();

    wav::WaveFormat f;
    f.channels = truncated<uint16_t>(channels);
    f.sampleRate = truncated<uint32_t>(rate);
    f.bitsPerSample = truncated<uint16_t>(bits);
    f.avgBytesPerSec = truncated<uint32_t>(bitRate) / 8;
    if (format == "wav") {
        if (f.bitsPerSample == 0) {
            f.formatTag = wav::kWaveFormatIeeeFloat;
            f.bitsPerSample = 32;
        } else {
            f.formatTag = wav::kWaveFormatPcm;
        }
        f.blockAlign = static_cast<uint16_t>(f.bitsPerSample / 8 * f.channels);
        f.avgBytesPerSec = f.blockAlign * f.sampleRate;
    } else if (format == "m4a") {
        f.formatTag = wav::kWaveFormatAac;
    } else if (format == "mp3") {
        f.formatTag = wav::kWaveFormatMp3;
    }
    return f;
}

}  // namespace

NativeCall_audio::NativeCall_audio(NativeObjects* objects)
    : NativeCall(objects), conversionEvents_(std::make_shared<AudioConversionEvents>(objects->controller())) {
    setFunctions({
        {"inputs", [this](const Args&, CallResult& result) {
            result.setString(endpointsJson(AudioDirection::Capture));
        }},
        {"outputs", [this](const Args&, CallResult& result) {
            result.setString(endpointsJson(AudioDirection::Render));
        }},
        {"format", [this](const Args& args, CallResult& result) { result.setString(formatJson(args.at(0))); }},
        {"convert", [this](const Args& args, CallResult&) {
            const std::string& source = args.at(0);
            std::string file;
            wav::WaveFormat target = targetFormat(parseJson(args.at(1)), file);
            auto worker = std::make_unique<AudioConvertThread>(conversionEvents_, source, file, target);
            worker->start(false);
            objects_->addWorker(std::move(worker));
        }},
        {"split", [this](const Args& args, CallResult&) {
            auto worker = std::make_unique<AudioSplitThread>(conversionEvents_, args.at(0), args.at(1));
            worker->start(false);
            objects_->addWorker(std::move(worker));
        }},
        {"reverse", [this](const Args& args, CallResult&) {
            auto worker = std::make_unique<AudioReverseThread>(conversionEvents_, args.at(0), args.at(1));
            worker->start(false);
            objects_->addWorker(std::move(worker));
        }},
    });
}

void AudioConversionEvents::conversionProgress(const std::string& source, int percent) {
    controller_->postEvent(makeEvent({"audio", "progress", source, std::to_string(percent)}));
}

void AudioConversionEvents::conversionEnded(const std::string& source, bool ok, const std::string& outputs) {
    if (ok)
        controller_->postEvent(makeEvent({"audio", "converted", source, outputs}));
    else
        controller_->postEvent(makeEvent({"audio", "convertfailed", source}));
}

void _AudioDeviceDelegate::audioObjectAddedRemoved(const std::string&, uint32_t) {
    controller_->postEvent(makeEvent({"audio", "changed"}));
}
