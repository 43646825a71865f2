#include "app/SignalQuit.h"

#include "bridge/JavaScriptInterface.h"
#include "modules/NativeCall_app.h"

SignalQuit::SignalQuit(JavaScriptInterface& page, std::function<void()> closeNow)
    : page_(page), closeNow_(std::move(closeNow)),
      signals_([this](int) { onFirstSignal(); }, [this] { this->closeNow(); }) {}

void SignalQuit::onFirstSignal() {
    if (!page_.started()) {
        closeNow();
        return;
    }
    page_.postEvent(NativeCall_app::commandEvent("exit", ""));
}

void SignalQuit::closeNow() {
    if (closed_) return;
    closed_ = true;
    signals_.cancelGrace();
    closeNow_();
}
