#include "app/EditModeExit.h"

#include "app/ScriptContext.h"
#include "app/ScriptPageView.h"
#include "assembly/AppBridge.h"
#include "midi/MIDIClient.h"
#include "midi/MIDIInputPort.h"
#include "midi/MIDIOutputPort.h"
#include "modules/NativeCall_midi.h"
#include "webview/NativeRequest.h"

#include <cstdio>
#include <jsc/jsc.h>

namespace {

template <typename Port>
Json heldEndpoints(Port& port) {
    Json list = Json::array();
    for (const auto& endpoint : port.endpointList())
        if (port.isConnected(endpoint.uid)) list.push_back(MIDIBridge::endpointObject(endpoint));
    return list;
}

}  // namespace

EditModeExit::EditModeExit(AppBridge& bridge, PageScriptList scripts) : bridge_(bridge), scripts_(std::move(scripts)) {}

EditModeExit::~EditModeExit() {
    if (limit_) g_source_remove(limit_);
    if (view_) bridge_.setView(nullptr);
}

void EditModeExit::start(std::function<void()> done) {
    if (started_) return;
    started_ = true;
    done_ = std::move(done);
    MIDIClient& client = bridge_.nativeObjects().midiClient();
    Json held = {{"inputs", heldEndpoints(*client.inputPort())}, {"outputs", heldEndpoints(*client.outputPort())}};
    if (held["inputs"].empty() || held["outputs"].empty() || scripts_.empty()) {
        finish();
        return;
    }
    limit_ = g_timeout_add_seconds(kLimitSeconds, &EditModeExit::onLimit, this);

    context_ = std::make_unique<ScriptContext>();
    context_->setErrorHandler([this](const std::string& message, const std::string& file, unsigned line) {
        std::fprintf(stderr, "%s: leaving edit mode: %s (%s:%u)\n", bridge_.appName().c_str(), message.c_str(),
                     file.c_str(), line);
        finish();
    });
    JSCValue* host = jsc_value_new_object(context_->context(), nullptr, nullptr);
    context_->setFunction(host, "call", [this](const std::vector<JSCValue*>& args) -> JSCValue* {
        std::vector<std::string> call;
        if (args.empty() || !parseNativeCall(ScriptContext::text(args[0]), call)) {
            context_->throwError("$host.call needs a JSON array of strings");
            return nullptr;
        }
        return context_->string(bridge_.invokeNative(call));
    });
    context_->setFunction(host, "done", [this](const std::vector<JSCValue*>&) -> JSCValue* {
        finish();
        return nullptr;
    });
    jsc_context_set_value(context_->context(), "$host", host);
    g_object_unref(host);
    for (const auto& script : scripts_)
        if (!context_->evaluate(script.second, script.first)) return;

    // The bridge's events (the devices' answers) now go to this context, not to the page.
    view_ = std::make_unique<ScriptPageView>(*context_);
    bridge_.setView(view_.get());
    bridge_.startEvent(true);
    context_->evaluate("Tarn.leaveEditMode($native, " + held.dump() + ", function () { $host.done(); })", "leave-edit-mode");
}

gboolean EditModeExit::onLimit(gpointer self) {
    auto* exit = static_cast<EditModeExit*>(self);
    exit->limit_ = 0;
    exit->finish();
    return G_SOURCE_REMOVE;
}

void EditModeExit::finish() {
    if (finished_) return;
    finished_ = true;
    if (limit_) g_source_remove(limit_);
    limit_ = 0;
    if (context_) context_->stop();
    if (done_) done_();
}
