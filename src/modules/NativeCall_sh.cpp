#include "modules/NativeCall_sh.h"

#include "base/Json.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "sys/Process.h"

#include <mutex>
#include <stdexcept>

// Where readers post their output; cut off when the module goes away.
struct NativeCall_sh::Sink {
    std::mutex mutex;
    JavaScriptInterface* controller;
};

NativeCall_sh::NativeCall_sh(NativeObjects* objects)
    : NativeCall(objects), sink_(std::make_shared<Sink>()) {
    sink_->controller = objects->controller();
    setFunctions({
        {"exec", [this](const Args& args, CallResult& result) {
            Json words = parseJson(args.at(0));
            if (!words.is_array()) throw std::invalid_argument("exec takes an array");
            // The words are joined as they are, each followed by a space: the page passes shell words.
            std::string command;
            for (const Json& word : words) {
                if (!word.is_string()) throw std::invalid_argument("exec takes strings");
                command += word.get<std::string>() + " ";
            }
            std::shared_ptr<Sink> sink = sink_;
            result.setUInt(Process::exec(command, [sink](uint32_t pid, const std::string& text) {
                std::lock_guard<std::mutex> lock(sink->mutex);
                if (sink->controller)
                    sink->controller->postEvent(makeEvent({"sh", "stdout", std::to_string(pid), text}));
            }));
        }},
        {"kill", [this](const Args& args, CallResult&) {
            int pid = toInt(args.at(0));
            if (pid > 0) Process::kill(static_cast<uint32_t>(pid));
        }},
    });
}

NativeCall_sh::~NativeCall_sh() {
    std::lock_guard<std::mutex> lock(sink_->mutex);
    sink_->controller = nullptr;
}

