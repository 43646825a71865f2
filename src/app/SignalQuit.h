#pragma once

#include "app/InterruptSignals.h"

#include <functional>

class JavaScriptInterface;

// SIGINT and SIGTERM end the window or the headless host the way the window's close button
// does: the page is sent the "exit" command, so it can leave the looper's edit mode and
// release its volume before it asks the host to quit. When no page takes events, when the
// page has not quit within the grace time (InterruptSignals::kGraceSeconds), or on a
// second signal, closeNow runs at once.
class SignalQuit {
public:
    SignalQuit(JavaScriptInterface& page, std::function<void()> closeNow);
    SignalQuit(const SignalQuit&) = delete;
    SignalQuit& operator=(const SignalQuit&) = delete;

private:
    void onFirstSignal();
    void closeNow();

    JavaScriptInterface& page_;
    std::function<void()> closeNow_;
    bool closed_ = false;
    InterruptSignals signals_;
};
