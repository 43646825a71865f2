#include "modules/NativeCall_trnIr.h"

#include "bridge/JavaScriptInterface.h"
#include "base/Json.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "base/MainThread.h"
#include "sys/Paths.h"

#include <cmath>
#include <stdexcept>
#include <uuid/uuid.h>

using wav::IRConvertWorker;

namespace {

const Json& member(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end()) throw std::runtime_error(std::string("no member ") + key);
    return *it;
}

// A JSON number truncated toward zero into an int (values beyond its range saturate).
int truncatedInt(double value) {
    if (std::isnan(value)) return 0;
    value = std::trunc(value);
    if (value >= 2147483647.0) return 2147483647;
    if (value <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(value);
}

}  // namespace

NativeCall_trnIr::NativeCall_trnIr(NativeObjects* objects, const char* name)
    : NativeCall_extention(objects, name), alive_(std::make_shared<NativeCall_trnIr*>(this)) {}

NativeCall_trnIr::~NativeCall_trnIr() {
    alive_.reset();  // notices still on their way find no module
    for (auto& job : jobs_) job.second->cancel();
    jobs_.clear();  // each worker joins its thread
}

void NativeCall_trnIr::handle(const std::string& function, const Args& args, CallResult& result) {
    if (function == "convert") {
        result.setString(convert(args.at(0)));
    } else if (function == "cancel") {
        cancel(args.at(0));
        result.setBool(true);
    }
}

std::string NativeCall_trnIr::convert(const std::string& argument) {
    Json job = parseJson(argument);
    if (!job.is_object()) throw std::runtime_error("convert: the argument is not an object");
    const Json& path = member(job, "path");
    if (!path.is_string()) throw std::runtime_error("convert: path is not a string");
    const Json& stereoProc = member(job, "stereoProc");
    if (!stereoProc.is_number()) throw std::runtime_error("convert: stereoProc is not a number");
    const Json& type = member(job, "type");
    if (!type.is_string()) throw std::runtime_error("convert: type is not a string");

    uuid_t id;
    char text[37];
    uuid_generate(id);
    uuid_unparse_lower(id, text);
    const std::string procId = text;
    if (procId.size() != 36 || jobs_.count(procId)) return "";

    std::weak_ptr<NativeCall_trnIr*> alive = alive_;
    auto notifier = [alive](const std::string& procId, IRConvertWorker::Notice notice) {
        runOnMainThread([alive, procId, notice] {
            auto module = alive.lock();
            if (!module) return;
            if (notice == IRConvertWorker::Notice::Progress) {
                (*module)->progressNotice(procId);
            } else {
                (*module)->resultNotice(procId);
            }
        });
    };
    auto worker = std::make_unique<IRConvertWorker>(truncatedInt(stereoProc.get<double>()),
                                                    path.get<std::string>(), procId,
                                                    wav::makeIrConverterStrategy(type.get<std::string>()),
                                                    temporaryFolder(), notifier);
    IRConvertWorker* started = worker.get();
    jobs_.emplace(procId, std::move(worker));
    if (!started->startConvert()) {
        jobs_.erase(procId);
        return "";
    }
    return procId;
}

void NativeCall_trnIr::cancel(const std::string& procId) {
    auto it = jobs_.find(procId);
    if (it != jobs_.end()) it->second->cancel();
}

void NativeCall_trnIr::progressNotice(const std::string& procId) {
    auto it = jobs_.find(procId);
    if (it == jobs_.end()) return;
    objects_->controller()->postEvent(
        makeEvent({"trnIr", "onProgress", procId, std::to_string(it->second->progress())}));
}

void NativeCall_trnIr::resultNotice(const std::string& procId) {
    auto it = jobs_.find(procId);
    if (it == jobs_.end()) return;
    std::unique_ptr<IRConvertWorker> job = std::move(it->second);
    jobs_.erase(it);
    job->cancel();
    objects_->controller()->postEvent(makeEvent({"trnIr", "onResult", procId, std::to_string(job->result()),
                                                 job->pathL(), job->pathR()}));
    job->join();
}
