#include "app/SignalQuit.h"

#include "bridge/JavaScriptInterface.h"
#include "modules/NativeCall_app.h"

#include <glib-unix.h>

SignalQuit::SignalQuit(JavaScriptInterface& page, std::function<void()> closeNow, unsigned graceMs)
    : page_(page), closeNow_(std::move(closeNow)), graceMs_(graceMs) {
    term_ = g_unix_signal_add(SIGTERM, &SignalQuit::onSignal, this);
    intr_ = g_unix_signal_add(SIGINT, &SignalQuit::onSignal, this);
}

SignalQuit::~SignalQuit() {
    if (term_) g_source_remove(term_);
    if (intr_) g_source_remove(intr_);
    if (grace_) g_source_remove(grace_);
}

gboolean SignalQuit::onSignal(gpointer self) {
    auto* quit = static_cast<SignalQuit*>(self);
    if (quit->asked_ || !quit->page_.started()) {
        quit->closeNow();
        return G_SOURCE_CONTINUE;
    }
    quit->asked_ = true;
    quit->page_.postEvent(NativeCall_app::commandEvent("exit", ""));
    quit->grace_ = g_timeout_add(quit->graceMs_, &SignalQuit::onGraceOver, quit);
    return G_SOURCE_CONTINUE;
}

gboolean SignalQuit::onGraceOver(gpointer self) {
    auto* quit = static_cast<SignalQuit*>(self);
    quit->grace_ = 0;
    quit->closeNow();
    return G_SOURCE_REMOVE;
}

void SignalQuit::closeNow() {
    if (closed_) return;
    closed_ = true;
    closeNow_();
}
