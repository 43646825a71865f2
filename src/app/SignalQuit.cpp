#include "app/SignalQuit.h"

#include "bridge/JavaScriptInterface.h"
#include "modules/NativeCall_app.h"

SignalQuit::SignalQuit(JavaScriptInterface& page, std::function<void()> closeNow)
    : page_(page), closeNow_(std::move(closeNow)),
      signals_([this](int) { onFirstSignal(); }, [this] { this->closeNow(); }) {}

SignalQuit::~SignalQuit() {
    if (answerTimer_) g_source_remove(answerTimer_);
}

void SignalQuit::onFirstSignal() {
    if (!page_.started()) {
        closeNow();
        return;
    }
    exitEvent_ = page_.postEvent(NativeCall_app::commandEvent("exit", ""));
    answerTimer_ = g_timeout_add_seconds(kAnswerSeconds, &SignalQuit::onAnswerTime, this);
}

gboolean SignalQuit::onAnswerTime(gpointer self) {
    auto* quit = static_cast<SignalQuit*>(self);
    quit->answerTimer_ = 0;
    // Taken means a page is on its way out: it has the rest of the grace time.
    if (quit->page_.eventsTaken() < quit->exitEvent_) quit->closeNow();
    return G_SOURCE_REMOVE;
}

void SignalQuit::closeNow() {
    if (closed_) return;
    closed_ = true;
    if (answerTimer_) g_source_remove(answerTimer_);
    answerTimer_ = 0;
    signals_.cancelGrace();
    closeNow_();
}
