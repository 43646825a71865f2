#include "modules/NativeCall_trnWav.h"

#include "audio/WaveformPeaks.h"
#include "base/Json.h"
#include "base/NativeException.h"
#include "base/Text.h"
#include "bridge/JavaScriptInterface.h"
#include "modules/NativeObjects.h"
#include "sys/Paths.h"
#include "wav/TrnWavProcThread.h"
#include "wav/WavInfo.h"

#include <cmath>
#include <stdexcept>

using namespace wav;

namespace {

// Peaks are drawn at most a few screens wide.
constexpr int MaxPeakColumns = 16384;

// Numbers in the peaks event: 1/10000 is finer than any screen shows, and keeps the text short.
double rounded(float value) { return std::round(static_cast<double>(value) * 10000.0) / 10000.0; }

// "trnWav" "peaks" <job> <JSON>: {path, columns, min, max, frames, sampleRate} or {path, error}.
class _WaveformPeaksDelegate : public WaveformPeaksDelegate {
public:
    explicit _WaveformPeaksDelegate(JavaScriptInterface* controller) : controller_(controller) {}
    void peaksReady(int job, const std::string& path, const WaveformPeaks& peaks) override {
        Json min = Json::array(), max = Json::array();
        for (float v : peaks.min) min.push_back(rounded(v));
        for (float v : peaks.max) max.push_back(rounded(v));
        post(job, Json{{"path", path}, {"columns", peaks.columns}, {"min", std::move(min)}, {"max", std::move(max)},
                       {"frames", peaks.frames}, {"sampleRate", peaks.sampleRate}});
    }
    void peaksFailed(int job, const std::string& path, const std::string& error) override {
        post(job, Json{{"path", path}, {"error", error}});
    }

private:
    void post(int job, const Json& body) {
        controller_->postEvent(makeEvent({"trnWav", "peaks", std::to_string(job), jsonText(body)}));
    }
    JavaScriptInterface* controller_;
};

const std::string& stringMember(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) throw std::runtime_error(std::string("no string ") + key);
    return it->get_ref<const std::string&>();
}

// A JSON number truncated toward zero; out-of-range values wrap as the stored width does.
int64_t integerMember(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_number()) throw std::runtime_error(std::string("no number ") + key);
    double value = std::trunc(it->get<double>());
    if (!(std::fabs(value) < 9.2e18)) return 0;
    return static_cast<int64_t>(value);
}

}  // namespace

NativeCall_trnWav::NativeCall_trnWav(NativeObjects* objects)
    : NativeCall(objects), jobEvents_(std::make_shared<TrnWavJobEvents>(objects->controller())) {
    setFunctions({
        {"alignTo4byteData", [this](const Args& args, CallResult&) { startJob<TrnWavAlignTo4byteDataThread>(args); }},
        {"convertDataFormat", [this](const Args& args, CallResult&) { startJob<TrnWavConvertDataFormatThread>(args); }},
        {"formatWithAcidChunk", [this](const Args& args, CallResult& result) {
            result.setString(formatWithAcidChunk(args.at(0)));
        }},
        {"peaks", [this](const Args& args, CallResult& result) { result.setInt(startPeaks(args)); }},
    });
    peaksDelegate_ = std::make_shared<_WaveformPeaksDelegate>(objects->controller());
}

template <class Job>
void NativeCall_trnWav::startJob(const Args& args) {
    Json job = parseJson(args.at(0));
    if (!job.is_object()) throw std::runtime_error("job arguments are not an object");
    std::string from = stringMember(job, "from");
    std::string to = stringMember(job, "to");
    auto bits = static_cast<uint16_t>(integerMember(job, "bits"));
    auto format = static_cast<uint16_t>(integerMember(job, "format"));
    auto sampleRate = static_cast<int32_t>(integerMember(job, "sampleRate"));
    auto thread = std::make_unique<Job>(jobEvents_, from, to, format, bits, sampleRate);
    if (thread->start(false) == 0) throw NativeException("could not start the conversion thread");
    objects_->addWorker(std::move(thread));
}

void TrnWavJobEvents::jobFinished(WavJobKind kind, const std::string& from, const std::string& to, bool ok,
                                  uint32_t frames) {
    Json result = Json::object();
    result["path"] = to;
    result["result"] = ok ? 1 : 0;
    if (ok && kind == WavJobKind::Import) result["samples"] = frames;
    const char* name = kind == WavJobKind::Import ? "finishedAlignTo4byteData" : "finishedConvertDataFormat";
    controller_->postEvent(makeEvent({"trnWav", name, from, jsonText(result)}));
}

std::string NativeCall_trnWav::formatWithAcidChunk(const std::string& path) {
    WavInfo info;
    Json out = Json::object();
    bool ok = readWavInfo(path, info);
    if (ok) {
        out["format"] = info.formatTag;
        out["channels"] = info.channels;
        out["bits"] = info.bitsPerSample;
        out["sampleRate"] = info.sampleRate;
        out["samples"] = info.samples;
        // A tempo that is not a finite number would not survive as JSON; it counts as absent.
        if (info.tempo >= 0.0f && std::isfinite(info.tempo)) {
            out["tempo"] = static_cast<double>(info.tempo);
            out["denominator"] = info.denominator;
            out["numerator"] = info.numerator;
            out["beatCount"] = info.beatCount;
        }
    }
    out["result"] = ok ? 1 : 0;
    return jsonText(out);
}

// peaks(path, columns): answers at once with the job number; the peaks follow as an event.
int NativeCall_trnWav::startPeaks(const Args& args) {
    const std::string& path = args.at(0);
    long columns = std::strtol(args.at(1).c_str(), nullptr, 10);
    if (path.empty() || columns < 1 || columns > MaxPeakColumns)
        throw NativeException("peaks need a file and 1 to " + std::to_string(MaxPeakColumns) + " columns");
    int job = ++lastPeaksJob_;
    std::string cache = cacheHome() + "/Corvane/" + objects_->controller()->appName() + "/peaks";
    auto thread = std::make_unique<WaveformPeaksThread>(peaksDelegate_, cache, job, path, static_cast<int>(columns));
    if (thread->start(false) == 0) throw NativeException("could not start the peaks thread");
    objects_->addWorker(std::move(thread));
    return job;
}
